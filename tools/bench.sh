#!/bin/sh
# Builds the benchmarks (Release, build/bench) and runs each beside the peer it
# is measured against, in one run on this machine:
#   base64_bench    Base64 against OpenSSL's EVP_EncodeBlock/EVP_DecodeBlock
#   zoralrcs_bench  configuration loading against inih
#   logger_bench    the logger against spdlog
#   strbuf_bench    string buffer appends beside std::string
#   bridge          ukvCall against a bare JNI method, in a real JVM
# Results go to build/bench/results/ (Google Benchmark JSON, the bridge's text,
# and summary.md with every ratio and the charts' data).
#
# usage: tools/bench.sh [BENCHMARK...]   (default: all of the above)
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/bench
results=$build/results
"$root/tools/ensure-deps.sh" build test bench python3 gnuplot-nox

benches=${*:-base64_bench zoralrcs_bench logger_bench strbuf_bench bridge}
# The configuration benchmark reads through the library rooted in the test
# sandbox, which the test build defines.
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DVAXO_BUILD_BENCHMARKS=ON \
    -DVAXO_BUILD_TESTS=ON -DVAXO_WERROR=ON >/dev/null
targets=$(echo "$benches" | sed 's/\bbridge\b/bridge_bench/')
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets
# A summary covers one run only.
rm -rf "$results"
mkdir -p "$results"

for bench in $benches; do
    printf '\n==== %s (%s)\n' "$bench" "$(date +%T)"
    if [ "$bench" = bridge ]; then
        "$root/bench/bridge/run.sh" "$build" | tee "$results/bridge.txt"
        continue
    fi
    "$build/bench/$bench" --benchmark_repetitions=5 --benchmark_min_time=0.5 \
        --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/$bench.json" --benchmark_out_format=json
done

python3 "$root/bench/summarize.py" "$results" >"$results/summary.md"
if [ -f "$results/zoralrcs_bench.json" ]; then
    gnuplot -e "data='$results/loading.dat'; out='$results/loading.svg'" "$root/bench/loading.gp"
fi
printf '\n'
cat "$results/summary.md"
