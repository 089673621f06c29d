#!/bin/sh
# Usage: run.sh BUILD_DIR [REPETITIONS]
# Runs the bridge benchmark from a tree built with -DVAXO_BUILD_BENCHMARKS=ON
# (target bridge_bench), once per XML API library: the benchmark's echo library,
# then the project's stand-in. Each run is a JVM of its own, since the bridge
# loads its XML API library once per process. Set BENCH_JAVA_OPTS to pass
# options to the JVMs.
set -eu
[ $# -ge 1 ] || { echo "usage: $0 BUILD_DIR [REPETITIONS]" >&2; exit 64; }
build=$(cd "$1" && pwd)
paths=$build/bench/bridge/paths.sh
[ -f "$paths" ] || { echo "$paths is missing: build the target bridge_bench first" >&2; exit 1; }
# shellcheck source=/dev/null
. "$paths"
for f in "$VAXO_LIBRARY" "$QELS_LIBRARY" "$STANDIN_API" "$ECHO_API" "$BENCH_JNI" "$VAXO_JAR" \
    "$BENCH_JAR"; do
    [ -f "$f" ] || { echo "$f is missing: build the target bridge_bench first" >&2; exit 1; }
done

# Each XML API library in a directory of its own under the name the bridge seeks
# there, and a configuration file naming that directory as QELS_EXE (developer
# mode: __KERNEL_DEVELOPER names the one file the configuration comes from).
stage=$build/bench/bridge/stage
rm -rf "$stage"
mkdir -p "$stage/echo" "$stage/standin"
ln -s "$ECHO_API" "$stage/echo/ukv.so"
ln -s "$STANDIN_API" "$stage/standin/zoralukv.so"
for api in echo standin; do
    printf 'QELS_EXE = %s\n' "$stage/$api" >"$stage/$api.conf"
done

# The libraries' run path is the default installation's; the kernel library
# comes from the build tree instead.
LD_LIBRARY_PATH="$(dirname "$QELS_LIBRARY")${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
export LD_LIBRARY_PATH
unset QELS_EXE
for api in echo standin; do
    echo "== $api"
    # shellcheck disable=SC2086
    __KERNEL_DEVELOPER=$stage/$api.conf "$JAVA" ${BENCH_JAVA_OPTS:-} \
        -Djava.library.path="$(dirname "$VAXO_LIBRARY"):$(dirname "$BENCH_JNI")" \
        -cp "$VAXO_JAR:$BENCH_JAR" BridgeBench "$api" ${2:+"$2"}
    echo
done
