// Base64 encoding and decoding against OpenSSL's EVP_EncodeBlock and
// EVP_DecodeBlock, on the same inputs in the same run, and against the limit:
// allocating and copying the text. Ours allocates its result on every call, as
// callers use it; the peer writes into a buffer allocated once.
#include <benchmark/benchmark.h>

#include <openssl/evp.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "omx_base64.h"
#include "omx_memory.h"

static std::string sample_bytes(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i++)
        bytes[i] = static_cast<char>(i * 2654435761u >> 13);
    return bytes;
}

static const unsigned char *as_bytes(const std::string &text) {
    return reinterpret_cast<const unsigned char *>(text.data());
}

static std::string encoded(const std::string &bytes) {
    char *text = nullptr;
    uint32_t length = OmxBase64Encode(as_bytes(bytes), static_cast<uint32_t>(bytes.size()), &text);
    std::string result(text, length);
    OmxMemFree(text);
    return result;
}

// Sizes count the raw bytes, so both directions report the same MB/s scale.
static void sizes(benchmark::internal::Benchmark *bench) {
    bench->Arg(64)->Arg(4096)->Arg(1 << 20);
}

static void BM_Base64Encode(benchmark::State &state) {
    std::string bytes = sample_bytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        char *text = nullptr;
        benchmark::DoNotOptimize(
            OmxBase64Encode(as_bytes(bytes), static_cast<uint32_t>(bytes.size()), &text));
        OmxMemFree(text);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Encode)->Apply(sizes);

static void BM_PeerEncodeBlock(benchmark::State &state) {
    std::string bytes = sample_bytes(static_cast<size_t>(state.range(0)));
    std::vector<unsigned char> text((bytes.size() + 2) / 3 * 4 + 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            EVP_EncodeBlock(text.data(), as_bytes(bytes), static_cast<int>(bytes.size())));
        benchmark::ClobberMemory();
    }
    if (std::string(reinterpret_cast<char *>(text.data())) != encoded(bytes))
        state.SkipWithError("the peer's text differs");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PeerEncodeBlock)->Apply(sizes);

static void BM_Base64Decode(benchmark::State &state) {
    std::string bytes = sample_bytes(static_cast<size_t>(state.range(0)));
    std::string text = encoded(bytes);
    for (auto _ : state) {
        unsigned char *decoded = nullptr;
        benchmark::DoNotOptimize(
            OmxBase64Decode(text.c_str(), static_cast<uint32_t>(text.size()), &decoded));
        OmxMemFree(decoded);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Base64Decode)->Apply(sizes);

static void BM_PeerDecodeBlock(benchmark::State &state) {
    std::string bytes = sample_bytes(static_cast<size_t>(state.range(0)));
    std::string text = encoded(bytes);
    std::vector<unsigned char> decoded(text.size() / 4 * 3 + 3);
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            EVP_DecodeBlock(decoded.data(), as_bytes(text), static_cast<int>(text.size())));
        benchmark::ClobberMemory();
    }
    if (std::string(reinterpret_cast<char *>(decoded.data()), bytes.size()) != bytes)
        state.SkipWithError("the peer's bytes differ");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_PeerDecodeBlock)->Apply(sizes);

// The limit for either direction: a fresh result of the text's size, filled by
// a memory copy (the text is the larger side of both conversions).
static void BM_AllocateAndCopyText(benchmark::State &state) {
    std::string text = encoded(sample_bytes(static_cast<size_t>(state.range(0))));
    for (auto _ : state) {
        void *copy = malloc(text.size() + 1);
        benchmark::DoNotOptimize(memcpy(copy, text.c_str(), text.size() + 1));
        benchmark::ClobberMemory();
        free(copy);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_AllocateAndCopyText)->Apply(sizes);
