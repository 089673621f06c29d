// Base64 both ways. Arbitrary bytes encode to the model's text and decode back
// to themselves. Arbitrary text, read up to any count from storage that ends
// where the count or a terminator does, decodes as the model says: characters
// outside the alphabet are skipped, a NUL or the first '=' ends the text, and
// a last lone character is dropped. Every result is NUL-terminated, and its
// storage past the result is untouched.
#include <fuzzer/FuzzedDataProvider.h>

#include <malloc.h>
#include <stdint.h>
#include <string.h>

#include <memory>
#include <string>

#include "fuzz_check.h"
#include "omx_base64.h"
#include "omx_memory.h"

namespace {

const std::string ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// Six bits at a time from a stream of bits, padded with zero bits and '='.
std::string encode(const std::string &bytes) {
    std::string text;
    unsigned bits = 0, held = 0;
    for (unsigned char byte : bytes) {
        bits = (bits << 8 | byte) & 0xFFFF;
        for (held += 8; held >= 6; held -= 6)
            text += ALPHABET[(bits >> (held - 6)) & 0x3F];
    }
    if (held > 0)
        text += ALPHABET[(bits << (6 - held)) & 0x3F];
    while (text.size() % 4 != 0)
        text += '=';
    return text;
}

std::string decode(const std::string &text, size_t count) {
    std::string bytes;
    unsigned bits = 0, held = 0;
    for (size_t i = 0; i < count && i < text.size() && text[i] != '\0' && text[i] != '='; i++) {
        size_t value = ALPHABET.find(text[i]);
        if (value == std::string::npos)
            continue;
        bits = (bits << 6 | static_cast<unsigned>(value)) & 0xFFFF;
        held += 6;
        if (held >= 8) {
            held -= 8;
            bytes += static_cast<char>(bits >> held);
        }
    }
    return bytes;
}

// The result equals expected and is followed by zero bytes to the end of its storage.
void check_result(const void *result, uint32_t length, const std::string &expected) {
    FUZZ_CHECK(result != NULL && length == expected.size());
    FUZZ_CHECK(memcmp(result, expected.data(), length) == 0);
    const unsigned char *bytes = static_cast<const unsigned char *>(result);
    size_t storage = malloc_usable_size(const_cast<void *>(result));
    FUZZ_CHECK(storage > length);
    for (size_t i = length; i < storage; i++)
        FUZZ_CHECK(bytes[i] == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool counted = input.ConsumeBool();
    const uint32_t slack = input.ConsumeIntegralInRange<uint32_t>(0, 8);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    char *text = NULL;
    uint32_t length = OmxBase64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()), &text);
    check_result(text, length, encode(bytes));
    unsigned char *back = NULL;
    length = OmxBase64Decode(text, length, &back);
    check_result(back, length, bytes);
    OmxMemFree(text);
    OmxMemFree(back);

    // The input as text: either exactly count bytes with no terminator, or
    // all of it and a terminator, with a count that may reach beyond.
    uint32_t count = static_cast<uint32_t>(bytes.size());
    if (counted)
        count = count > slack ? count - slack : 0;
    else
        count += slack;
    size_t stored = counted ? count : bytes.size() + 1;
    std::unique_ptr<char[]> storage(new char[stored]);
    memcpy(storage.get(), bytes.c_str(), stored);
    unsigned char *decoded = NULL;
    length = OmxBase64Decode(storage.get(), count, &decoded);
    check_result(decoded, length, decode(bytes, count));
    OmxMemFree(decoded);
    return 0;
}
