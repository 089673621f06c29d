// Appending 16-character pieces up to 1 MiB: the string buffer, whose growth
// rule (whole blocks of the size given at creation) is fixed, beside std::string,
// whose growth is geometric. The buffer grows in place where the heap lets it,
// so its time should stay within twice std::string's at either block size.
#include <benchmark/benchmark.h>

#include <string>

#include "strbuf.h"

static const char szPiece[] = "0123456789abcdef";
static const int PIECES = (1 << 20) / 16;

static void BM_StrbufAppend(benchmark::State &state) {
    for (auto _ : state) {
        strbuf *sb = strbuf_create(static_cast<int>(state.range(0)), nullptr);
        for (int i = 0; i < PIECES; i++)
            strbuf_append(sb, szPiece, 16);
        if (strbuf_length(sb) != PIECES * 16)
            state.SkipWithError("the buffer lost a piece");
        benchmark::DoNotOptimize(strbuf_get(sb));
        strbuf_destroy(sb);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * PIECES * 16);
}
BENCHMARK(BM_StrbufAppend)->Arg(64)->Arg(4096)->Unit(benchmark::kMillisecond);

static void BM_StdStringAppend(benchmark::State &state) {
    for (auto _ : state) {
        std::string text;
        for (int i = 0; i < PIECES; i++)
            text.append(szPiece, 16);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * PIECES * 16);
}
BENCHMARK(BM_StdStringAppend)->Unit(benchmark::kMillisecond);

// The floor for either: the same appends into storage reserved up front, so
// no growth at all, only the calls and the 1 MiB of copying.
static void BM_StdStringAppendReserved(benchmark::State &state) {
    for (auto _ : state) {
        std::string text;
        text.reserve(PIECES * 16);
        for (int i = 0; i < PIECES; i++)
            text.append(szPiece, 16);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * PIECES * 16);
}
BENCHMARK(BM_StdStringAppendReserved)->Unit(benchmark::kMillisecond);
