#!/bin/sh
# Builds everything with the installation's default paths, stages an
# installation inside the build tree and runs the Java demo from it.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh" build
build=$root/build/main
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAXO_BUILD_TESTS=OFF \
    -DVAXO_WERROR=ON >/dev/null
cmake --build "$build" -j "$(nproc)"
"$root/tools/run-demo.sh" "$build" "$build/stage"
