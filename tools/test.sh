#!/bin/sh
# Builds and runs the whole test suite:
#   1. every test (C++, the bridge in a real JVM, exported names, format, main job);
#   2. the C++ suite under AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the Java tests against the sanitized library;
#   4. the C++ suite under valgrind memcheck;
#   5. the C++ suite built for 32-bit big-endian PowerPC (under qemu) and
#      32-bit x86 (.ci/cross);
#   6. every fuzz target for VAXO_FUZZ_SECONDS (default 60) on top of its corpus.
# Set VAXO_QUICK=1 to stop after step 2.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh" build test bench
jobs=$(nproc)
step() { printf '\n==== %s (%s)\n' "$1" "$(date +%T)"; }

step "The whole suite"
build=$root/build/test
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAXO_BUILD_BENCHMARKS=ON \
    -DVAXO_WERROR=ON >/dev/null
cmake --build "$build" -j "$jobs"
# A JUnit XML report of the whole run, for CI to show.
(cd "$build" && ctest -j "$jobs" --output-on-failure --output-junit "$build/ctest-junit.xml" </dev/null)

# At the default build type, whose optimiser raises warnings a Debug build never sees.
step "The C++ suite under AddressSanitizer and UndefinedBehaviorSanitizer"
asan=$root/build/sanitize
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAXO_SANITIZE=ON \
    -DVAXO_WERROR=ON >/dev/null
cmake --build "$asan" -j "$jobs"
(
    export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    cd "$asan" && ctest -j "$jobs" -L cpp --output-on-failure </dev/null
)
if [ "${VAXO_QUICK:-0}" = 1 ]; then
    echo "Quick run: plain and sanitized suites passed."
    exit 0
fi

step "The Java tests against the sanitized library"
"$root/tools/java-asan.sh"

step "The C++ suite under valgrind"
"$root/tools/valgrind.sh"

step "The C++ suite on 32-bit PowerPC and x86"
"$root/.ci/cross"

step "The fuzz targets"
"$root/tools/fuzz.sh" "${VAXO_FUZZ_SECONDS:-60}"

echo "All tests passed: plain, sanitized, Java sanitized, valgrind, 32-bit PowerPC and x86, fuzzing."
