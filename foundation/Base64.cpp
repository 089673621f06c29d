// Base64 with the standard alphabet: one-line encoding, and decoding that skips
// characters outside the alphabet and stops at the first '='.
#include "omx_base64.h"

#include <stddef.h>

#include "omx_memory.h"

#define BASE64_INVALID 0xFF

static constexpr char Base64Table[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct ReverseTable {
    unsigned char value[256];
};

static constexpr ReverseTable __reverse_table() {
    ReverseTable table{};
    for (unsigned char &value : table.value)
        value = BASE64_INVALID;
    for (unsigned char i = 0; i < 64; i++)
        table.value[static_cast<unsigned char>(Base64Table[i])] = i;
    return table;
}

// The 6-bit value of each alphabet byte, BASE64_INVALID for every other byte.
static constexpr ReverseTable szReverse = __reverse_table();

static unsigned char __value_of(char c) {
    return szReverse.value[static_cast<unsigned char>(c)];
}

extern "C" {

uint32_t OmxBase64Encode(const unsigned char *data, uint32_t count, char **out) {
    if (out == NULL)
        return 0;
    *out = NULL;
    if (data == NULL)
        count = 0;
    uint64_t length = (static_cast<uint64_t>(count) + 2) / 3 * 4;
    if (length > UINT32_MAX || length > SIZE_MAX - 2)
        return 0;
    char *text = static_cast<char *>(OmxMemAlloc(static_cast<size_t>(length) + 2));
    if (text == NULL)
        return 0;

    char *p = text;
    uint32_t i = 0;
    for (; count - i >= 3; i += 3) {
        uint32_t group = static_cast<uint32_t>(data[i]) << 16 | data[i + 1] << 8 | data[i + 2];
        *p++ = Base64Table[group >> 18];
        *p++ = Base64Table[group >> 12 & 0x3F];
        *p++ = Base64Table[group >> 6 & 0x3F];
        *p++ = Base64Table[group & 0x3F];
    }
    if (count - i == 1) {
        *p++ = Base64Table[data[i] >> 2];
        *p++ = Base64Table[(data[i] & 0x03) << 4];
        *p++ = '=';
        *p++ = '=';
    } else if (count - i == 2) {
        *p++ = Base64Table[data[i] >> 2];
        *p++ = Base64Table[(data[i] & 0x03) << 4 | data[i + 1] >> 4];
        *p++ = Base64Table[(data[i + 1] & 0x0F) << 2];
        *p++ = '=';
    }
    *p = '\0';
    *out = text;
    return static_cast<uint32_t>(p - text);
}

uint32_t OmxBase64Decode(const char *text, uint32_t count, unsigned char **out) {
    if (out == NULL)
        return 0;
    *out = NULL;
    // The first pass finds where the scan stops and sizes the result.
    uint32_t end = 0;
    uint32_t values = 0;
    if (text != NULL)
        for (; end < count && text[end] != '\0' && text[end] != '='; end++)
            values += __value_of(text[end]) != BASE64_INVALID;
    unsigned char *bytes = static_cast<unsigned char *>(OmxMemAlloc((values / 4 + 1) * size_t{3}));
    if (bytes == NULL)
        return 0;

    unsigned char *p = bytes;
    uint32_t group = 0;
    int held = 0;
    for (uint32_t i = 0; i < end; i++) {
        unsigned char value = __value_of(text[i]);
        if (value == BASE64_INVALID)
            continue;
        group = group << 6 | value;
        if (++held == 4) {
            *p++ = static_cast<unsigned char>(group >> 16);
            *p++ = static_cast<unsigned char>(group >> 8);
            *p++ = static_cast<unsigned char>(group);
            group = 0;
            held = 0;
        }
    }
    // Two or three values leave one or two whole bytes; their spare low bits are ignored.
    if (held == 2) {
        *p++ = static_cast<unsigned char>(group >> 4);
    } else if (held == 3) {
        *p++ = static_cast<unsigned char>(group >> 10);
        *p++ = static_cast<unsigned char>(group >> 2);
    }
    *out = bytes;
    return static_cast<uint32_t>(p - bytes);
}

} // extern "C"
