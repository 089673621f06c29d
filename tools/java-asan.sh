#!/bin/sh
# Runs the Java tests (the bridge in a real JVM, and the main job) against the
# AddressSanitizer and UndefinedBehaviorSanitizer build in build/sanitize,
# building it first where needed (tools/test.sh leaves it built).
#
# The JVM itself is not instrumented, so the sanitizer runtime is preloaded:
# it must come first in the process. Leak detection is off because the JVM
# keeps much of its memory until the process ends; the C++ suite checks the
# library's own blocks for leaks. handle_segv=0 leaves SIGSEGV to the JVM,
# which uses it for its own purposes (null checks, safepoints, stack banging).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/tools/ensure-deps.sh" build test
jobs=$(nproc)

asan=$root/build/sanitize
cmake -S "$root" -B "$asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVAXO_SANITIZE=ON \
    -DVAXO_WERROR=ON >/dev/null
cmake --build "$asan" -j "$jobs"
runtime=$(g++ -print-file-name=libasan.so)
[ -f "$runtime" ] || { echo "no AddressSanitizer runtime at $runtime" >&2; exit 1; }
export LD_PRELOAD="$runtime"
export ASAN_OPTIONS=detect_leaks=0:handle_segv=0:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
(cd "$asan" && ctest -j "$jobs" -L java --output-on-failure </dev/null)
echo "The Java tests pass against the sanitized library."
