#!/bin/sh
# Builds the C++ test suite (Debug, no sanitizers) into build/valgrind and runs
# every GoogleTest case under valgrind's memcheck. Any invalid access, use of
# uninitialised memory, bad free or definite/indirect leak fails the run.
#
# Each case runs as its own ctest process, as in the normal suite: the test
# executables get valgrind as their launcher (CMAKE_CROSSCOMPILING_EMULATOR,
# which gtest_discover_tests and ctest honour), so the test listing at build
# time runs under memcheck too.
#
# Programs the tests execute (shells, the qelsconf tool) are not followed
# (--trace-children=no): they are not the suite, and their own tests check
# them. Death tests keep GoogleTest's default "fast" style: the child is a fork
# and stays under memcheck, so an error in it turns its exit status into 1 and
# fails the death test; the store it leaves at exit(91) is still reachable and
# is not reported.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh" build test valgrind
jobs=$(nproc)

memcheck="valgrind;--tool=memcheck;--leak-check=full;--errors-for-leak-kinds=definite,indirect"
memcheck="$memcheck;--error-exitcode=1;--trace-children=no;--track-origins=yes"
memcheck="$memcheck;--num-callers=30"

build=$root/build/valgrind
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DVAXO_SANITIZE=OFF \
    -DVAXO_BUILD_BENCHMARKS=OFF -DVAXO_WERROR=ON \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=$memcheck" >/dev/null
cmake --build "$build" -j "$jobs"
(cd "$build" && ctest -j "$jobs" -L cpp --output-on-failure --timeout 900 </dev/null)
echo "The C++ suite is clean under valgrind memcheck."
