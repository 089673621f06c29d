// Throughput of Base64 encoding and decoding, and of appending to a string buffer.
#include <benchmark/benchmark.h>

#include <string>

#include "omx_base64.h"
#include "omx_memory.h"
#include "strbuf.h"

static std::string sample_bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i++)
        bytes[i] = static_cast<char>(i * 2654435761u >> 13);
    return bytes;
}

static void BM_Base64Encode(benchmark::State &state) {
    std::string bytes = sample_bytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        char *text = nullptr;
        benchmark::DoNotOptimize(
            OmxBase64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                            static_cast<uint32_t>(bytes.size()), &text));
        OmxMemFree(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Arg(64)->Arg(4096)->Arg(1 << 20);

static void BM_Base64Decode(benchmark::State &state) {
    std::string bytes = sample_bytes(static_cast<size_t>(state.range(0)));
    char *text = nullptr;
    uint32_t length = OmxBase64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()), &text);
    for (auto _ : state) {
        unsigned char *decoded = nullptr;
        benchmark::DoNotOptimize(OmxBase64Decode(text, length, &decoded));
        OmxMemFree(decoded);
    }
    OmxMemFree(text);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Decode)->Arg(64)->Arg(4096)->Arg(1 << 20);

// Appending 16-character pieces up to 64 KiB; the block size sets the number of copies.
static void BM_StrbufAppend(benchmark::State &state) {
    const char piece[] = "0123456789abcdef";
    for (auto _ : state) {
        strbuf *sb = strbuf_create(static_cast<int>(state.range(0)), nullptr);
        for (int i = 0; i < 4096; i++)
            strbuf_append(sb, piece, 16);
        benchmark::DoNotOptimize(strbuf_get(sb));
        strbuf_destroy(sb);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 4096 * 16);
}
BENCHMARK(BM_StrbufAppend)->Arg(256)->Arg(4096)->Arg(65536);
