// Cost of the orderings and equality tests on strings that differ only at the end.
#include <benchmark/benchmark.h>

#include <string>

#include "omx_compare.h"

namespace {

struct Pair {
    std::string a, b;
    explicit Pair(size_t length) : a(length, 'k'), b(length, 'K') {
        a.back() = 'x';
        b.back() = 'Y';
    }
};

void BM_OmxCompareNoCase(benchmark::State &state) {
    Pair p(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(OmxCompareNoCase(p.a.c_str(), p.b.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OmxCompareNoCase)->Arg(8)->Arg(64)->Arg(1024);

// Bytes that already agree are not folded.
void BM_OmxCompareNoCaseSameCase(benchmark::State &state) {
    Pair p(static_cast<size_t>(state.range(0)));
    p.b = p.a;
    for (auto _ : state)
        benchmark::DoNotOptimize(OmxCompareNoCase(p.a.c_str(), p.b.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OmxCompareNoCaseSameCase)->Arg(64)->Arg(1024);

void BM_OmxCompareLen(benchmark::State &state) {
    Pair p(static_cast<size_t>(state.range(0)));
    p.b = p.a;
    p.b.back() = 'y';
    for (auto _ : state)
        benchmark::DoNotOptimize(
            OmxCompareLen(p.a.c_str(), p.b.c_str(), static_cast<int>(state.range(0))));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OmxCompareLen)->Arg(8)->Arg(64)->Arg(1024);

void BM_OmxStrNoCaseEquals(benchmark::State &state) {
    Pair p(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(OmxStrNoCaseEquals(p.a.c_str(), p.b.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OmxStrNoCaseEquals)->Arg(8)->Arg(64)->Arg(1024);

void BM_OmxStrEquals(benchmark::State &state) {
    Pair p(static_cast<size_t>(state.range(0)));
    p.b = p.a;
    for (auto _ : state)
        benchmark::DoNotOptimize(OmxStrEquals(p.a.c_str(), p.b.c_str()));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OmxStrEquals)->Arg(8)->Arg(64)->Arg(1024);

// The weekday-name test: a short prefix of a longer text.
void BM_OmxStrLenNoCaseEqualsWeekday(benchmark::State &state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(OmxStrLenNoCaseEquals("wednesday", "WED", 3));
}
BENCHMARK(BM_OmxStrLenNoCaseEqualsWeekday);

} // namespace
