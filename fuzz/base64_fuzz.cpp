// Base64 against a model decoder: bytes encode to text of the right length that
// it decodes back; read as text to a count short of or past the terminator, they
// decode as it says. Every result is followed by zeros to the end of its storage.
#include <malloc.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "omx_base64.h"
#include "omx_memory.h"

static std::string model_decode(const std::string &text, size_t count) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bits, bytes;
    for (size_t i = 0; i < count && i < text.size() && text[i] != '\0' && text[i] != '='; i++)
        for (int k = 5, value = static_cast<int>(alphabet.find(text[i])); value >= 0 && k >= 0; k--)
            bits += static_cast<char>('0' + (value >> k & 1));
    for (size_t at = 0; at + 8 <= bits.size(); at += 8)
        bytes += static_cast<char>(std::stoi(bits.substr(at, 8), nullptr, 2));
    return bytes;
}

static void check_result(void *result, uint32_t length, const std::string &expected) {
    FUZZ_CHECK(result != NULL && length == expected.size());
    FUZZ_CHECK(memcmp(result, expected.data(), length) == 0);
    for (size_t i = length; i < malloc_usable_size(result); i++)
        FUZZ_CHECK(static_cast<unsigned char *>(result)[i] == 0);
    OmxMemFree(result);
}

// The first byte: whether the text ends at its count (high bit) and the slack (0 to 8).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const bool counted = size > 0 && data[0] & 0x80;
    const uint32_t slack = size > 0 ? data[0] % 9 : 0;
    const std::string bytes(reinterpret_cast<const char *>(data) + (size > 0), size - (size > 0));
    char *text = NULL;
    uint32_t length = OmxBase64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()), &text);
    const std::string padding((3 - bytes.size() % 3) % 3, '=');
    FUZZ_CHECK(text != NULL && length == (bytes.size() + 2) / 3 * 4);
    FUZZ_CHECK(strcmp(text + length - padding.size(), padding.c_str()) == 0);
    FUZZ_CHECK(model_decode(text, length) == bytes);
    unsigned char *back = NULL;
    const uint32_t back_length = OmxBase64Decode(text, length, &back);
    check_result(back, back_length, bytes);
    check_result(text, length, text);
    // Exactly count bytes and no terminator, or all of them, a terminator, and slack beyond.
    uint32_t count = static_cast<uint32_t>(bytes.size());
    count = counted ? (count > slack ? count - slack : 0) : count + slack;
    const std::string stored = counted ? bytes.substr(0, count) : bytes + '\0';
    const std::vector<char> storage(stored.begin(), stored.end());
    unsigned char *decoded = NULL;
    length = OmxBase64Decode(storage.data(), count, &decoded);
    check_result(decoded, length, model_decode(bytes, count));
    return 0;
}
