#!/bin/sh
# Builds the fuzz targets (fuzz/*_fuzz.cpp) with clang and libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer, then runs each one for
# SECONDS_PER_TARGET seconds (default 60) on top of its seed corpus in
# fuzz/corpus/<target>. Fails on the first crash, leak, timeout or failed check;
# the input that caused it is kept under build/fuzz/findings/<target>/.
#
# usage: tools/fuzz.sh [SECONDS_PER_TARGET]
set -eu
seconds=${1:-60}
case $seconds in
'' | *[!0-9]*) echo "usage: $0 [SECONDS_PER_TARGET]" >&2; exit 2 ;;
esac
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz

"$root/tools/ensure-deps.sh" cmake make clang-14 libclang-rt-14-dev libfuzzer-14-dev

cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j 2

status=0
for source in "$root"/fuzz/*_fuzz.cpp; do
    target=$(basename "$source" _fuzz.cpp)
    seeds=$root/fuzz/corpus/$target
    corpus=$build/corpus/$target # what the runs learn, kept between runs
    findings=$build/findings/$target
    log=$build/$target.log
    mkdir -p "$seeds" "$corpus" "$findings"
    dict=""
    [ -f "$root/fuzz/$target.dict" ] && dict="-dict=$root/fuzz/$target.dict"
    # shellcheck disable=SC2086
    if "$build/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" $dict \
        "$corpus" "$seeds" </dev/null >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$target: $runs runs, no finding"
    else
        tail -n 60 "$log" >&2
        echo "$target: FINDING (log $log, input in $findings)" >&2
        status=1
    fi
done
exit $status
