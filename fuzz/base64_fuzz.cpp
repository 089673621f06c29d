// Base64 against a model decoder, on every vector width; a text is followed by two zeros,
// bytes by zeros to the end of their last group of three.
#include <string.h>

#include <string>
#include <type_traits>
#include <vector>

#include "base64_vector.h"
#include "fuzz_check.h"
#include "omx_base64.h"
#include "omx_memory.h"

static const std::string kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

static std::string model_decode(const std::string &text, size_t count) {
    std::string bytes;
    unsigned bits = 0, held = 0;
    for (size_t i = 0; i < count && i < text.size() && text[i] != '\0' && text[i] != '='; i++)
        if (kAlphabet.find(text[i]) != std::string::npos &&
            (bits = bits << 6 | kAlphabet.find(text[i]), held += 6) >= 8)
            bytes += static_cast<char>(bits >> (held -= 8));
    return bytes;
}

// Read through a reference: the call that fills result is another argument.
template <typename T>
static void check_result(T *const &result, uint32_t length, const std::string &expected) {
    FUZZ_CHECK(result != NULL && length == expected.size());
    FUZZ_CHECK(memcmp(result, expected.data(), length) == 0);
    const size_t zeros = std::is_same<T, char>::value ? 2 : 3 - length % 3;
    for (size_t i = length; i < length + zeros; i++)
        FUZZ_CHECK(reinterpret_cast<const unsigned char *>(result)[i] == 0);
    OmxMemFree(result);
}

// The first byte: whether the text ends at its count (high bit) and the slack (0 to 8).
static void check_at_width(const uint8_t *data, size_t size) {
    const bool counted = size > 0 && data[0] & 0x80;
    const uint32_t slack = size > 0 ? data[0] % 9 : 0;
    const std::string bytes(reinterpret_cast<const char *>(data) + (size > 0), size - (size > 0));
    char *text = NULL;
    uint32_t length = OmxBase64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()), &text);
    FUZZ_CHECK(text != NULL && length == (bytes.size() + 2) / 3 * 4);
    FUZZ_CHECK(strspn(text + length - (3 - bytes.size() % 3) % 3, "=") ==
               (3 - bytes.size() % 3) % 3);
    FUZZ_CHECK(model_decode(text, length) == bytes);
    unsigned char *back = NULL;
    check_result(back, OmxBase64Decode(text, length, &back), bytes);
    check_result(text, length, text);
    // Text that goes on past its count, or ends before it; valid text before it is not read.
    const uint32_t count =
        counted ? (bytes.size() > slack ? bytes.size() - slack : 0) : bytes.size() + slack;
    std::vector<char> storage(64, 'A');
    storage.insert(storage.end(), bytes.c_str(), bytes.c_str() + bytes.size() + !counted);
    check_result(back, OmxBase64Decode(&storage[64], count, &back), model_decode(bytes, count));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    for (int bits : {0, 256, BASE64_VECTOR_WIDEST})
        base64_vector_cap(bits), check_at_width(data, size);
    return 0;
}
