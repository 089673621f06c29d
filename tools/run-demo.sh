#!/bin/sh
# Usage: run-demo.sh BUILD_DIR STAGE_DIR
# Installs the build into STAGE_DIR as an installation of its own and drives the
# bridge from a real JVM: a successful session, then a missing XML API library.
set -eu
build=$1 stage=$2
rm -rf "$stage"
cmake --install "$build" --prefix "$stage" >/dev/null
lib=$stage/sys/lib

# The libraries' run path is the default installation's; this one lives elsewhere.
export LD_LIBRARY_PATH="$lib${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
run() { java -Djava.library.path="$lib" -cp "$lib/vaxolocal.jar" "$@"; }

echo "== A session through the installation in $stage"
QELS_EXE=$stage/sys/bin run com.brantexa.zoral.vaxo.demo.Demo
echo
echo "== The same with QELS_EXE pointing where no XML API library lies"
QELS_EXE=$stage/nowhere run com.brantexa.zoral.vaxo.demo.MissingLibraryDemo
