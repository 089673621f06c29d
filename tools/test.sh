#!/bin/sh
# Builds and runs the whole test suite, then the C++ suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh"
jobs=$(nproc)

build=$root/build/test
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAXO_BUILD_BENCHMARKS=ON >/dev/null
cmake --build "$build" -j "$jobs"
(cd "$build" && ctest -j "$jobs" --output-on-failure </dev/null)

asan=$root/build/sanitize
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=Debug -DVAXO_SANITIZE=ON >/dev/null
cmake --build "$asan" -j "$jobs"
export ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$asan" && ctest -j "$jobs" -L cpp --output-on-failure </dev/null)
echo "All tests passed, plain and sanitized."
