// Base64 with the standard alphabet: one-line encoding, and decoding that skips
// characters outside the alphabet and stops at the first '='.
//
// Speed without changing a result: whole blocks go through the vector code of
// base64_vector.cpp where the processor has it, runs of four valid characters
// through table lookups, and only what remains through the character-at-a-time
// rule. The paths here write bytes one by one from values, so byte order never
// matters.
//
// Results are taken from malloc unfilled: every byte up to the end of what the
// callers may read is written, the zeros after the result included. The decoder
// sizes its result from the count, an upper bound that leaves the vector code
// the room it needs, and gives back a large spare part when done. It reads the
// text once, finding the stop as it goes: a NUL in the widest vector code's
// blocks, elsewhere by searching one stretch ahead of the decoding (narrower
// vector code may read only what lies before it); a '=' as the first character
// outside the alphabet that the plain rule meets.
#include "omx_base64.h"

#include <stddef.h>
#include <stdlib.h>
#include <string.h>

#include "base64_vector.h"

#define BASE64_INVALID 0xFF
// Set in every quad-table entry of a byte outside the alphabet.
#define BASE64_QUAD_INVALID 0x01000000u
// How far ahead of the decoding the text is searched for a NUL where the
// vector code does not find it: a stretch then decoded from the nearest cache.
#define BASE64_SCAN_STRETCH 4096u
// A count up to this sizes the decoded result without a search for the NUL (a
// spare part goes back to the heap at once); above it one stretch is searched
// first, so that a short text with a huge count does not map a large block.
#define BASE64_SIZED_BY_COUNT 65536u
// A decoded result with more unused storage than this is shrunk to fit.
#define BASE64_SPARE_KEPT 64u

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
static constexpr ReverseTable CharValues = __reverse_table();

// The character pair of every 12-bit value: two characters per lookup.
struct PairTable {
    char pair[4096][2];
};

static constexpr PairTable __pair_table() {
    PairTable table{};
    for (int i = 0; i < 4096; i++) {
        table.pair[i][0] = Base64Table[i >> 6];
        table.pair[i][1] = Base64Table[i & 0x3F];
    }
    return table;
}

static constexpr PairTable CharPairs = __pair_table();

// For the character at position p of a group of four, its value already shifted
// into place, so that a group decodes with three ORs.
struct QuadTables {
    uint32_t shifted[4][256];
};

static constexpr QuadTables __quad_tables() {
    QuadTables tables{};
    for (int position = 0; position < 4; position++)
        for (int c = 0; c < 256; c++) {
            unsigned char value = CharValues.value[c];
            tables.shifted[position][c] = value == BASE64_INVALID
                                              ? BASE64_QUAD_INVALID
                                              : static_cast<uint32_t>(value) << (18 - 6 * position);
        }
    return tables;
}

static constexpr QuadTables ShiftedValues = __quad_tables();

static unsigned char __value_of(char c) {
    return CharValues.value[static_cast<unsigned char>(c)];
}

static void __put_group(unsigned char *p, uint32_t group) {
    p[0] = static_cast<unsigned char>(group >> 16);
    p[1] = static_cast<unsigned char>(group >> 8);
    p[2] = static_cast<unsigned char>(group);
}

// The decoder's result storage for count characters: room for all their
// values and the zeros after them, and for the vector code's whole blocks.
static size_t __decoded_room(uint32_t count) {
    return (count / 4 + 1) * size_t{3};
}

// Extends the NUL-free start of text, *scanned characters, by one stretch; a
// NUL found there becomes the end of the text (*count).
static void __scan_ahead(const char *text, uint32_t *scanned, uint32_t *count) {
    uint32_t stretch =
        *count - *scanned < BASE64_SCAN_STRETCH ? *count - *scanned : BASE64_SCAN_STRETCH;
    uint32_t found = static_cast<uint32_t>(strnlen(text + *scanned, stretch));
    *scanned += found;
    if (found < stretch)
        *count = *scanned;
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
    char *text = static_cast<char *>(malloc(static_cast<size_t>(length) + 2));
    if (text == NULL)
        return 0;

    uint32_t i = base64_encode_blocks(data, count, text);
    char *p = text + i / 3 * 4;
    for (; count - i >= 3; i += 3, p += 4) {
        uint32_t group = static_cast<uint32_t>(data[i]) << 16 | data[i + 1] << 8 | data[i + 2];
        memcpy(p, CharPairs.pair[group >> 12], 2);
        memcpy(p + 2, CharPairs.pair[group & 0xFFF], 2);
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
    p[0] = p[1] = '\0';
    *out = text;
    return static_cast<uint32_t>(p - text);
}

uint32_t OmxBase64Decode(const char *text, uint32_t count, unsigned char **out) {
    if (out == NULL)
        return 0;
    *out = NULL;
    if (text == NULL)
        text = ""; // the empty text
    // The characters known to lie before the NUL that may end the text.
    uint32_t scanned = 0;
    if (count > BASE64_SIZED_BY_COUNT)
        __scan_ahead(text, &scanned, &count);
    size_t room = __decoded_room(count);
    unsigned char *bytes = static_cast<unsigned char *>(malloc(room));
    if (bytes == NULL && scanned < count) { // the bound is too large: find the true end
        count = scanned += static_cast<uint32_t>(strnlen(text + scanned, count - scanned));
        room = __decoded_room(count);
        bytes = static_cast<unsigned char *>(malloc(room));
    }
    if (bytes == NULL)
        return 0;

    const bool vector_finds_nul = base64_decode_finds_nul();
    unsigned char *p = bytes;
    uint32_t group = 0;
    int held = 0;
    uint32_t i = 0;
    while (i < count) {
        if (!vector_finds_nul && scanned - i < BASE64_SCAN_STRETCH / 2 && scanned < count)
            __scan_ahead(text, &scanned, &count);
        if (held == 0) {
            uint32_t known = scanned - i;
            uint32_t consumed = base64_decode_blocks(text + i, count - i, &known, p);
            scanned = i + known;
            i += consumed;
            p += consumed / 4 * 3;
            for (; scanned - i >= 4; i += 4, p += 3) {
                const unsigned char *quad = reinterpret_cast<const unsigned char *>(text + i);
                uint32_t joined =
                    ShiftedValues.shifted[0][quad[0]] | ShiftedValues.shifted[1][quad[1]] |
                    ShiftedValues.shifted[2][quad[2]] | ShiftedValues.shifted[3][quad[3]];
                if (joined & BASE64_QUAD_INVALID)
                    break;
                __put_group(p, joined);
            }
            if (i == count)
                break;
        }
        // The character-at-a-time rule: stop at the NUL or '=', skip what is outside
        // the alphabet. text[i] exists, since every character before it is not NUL.
        if (text[i] == '\0' || text[i] == '=')
            break;
        if (scanned == i)
            scanned++;
        unsigned char value = __value_of(text[i++]);
        if (value == BASE64_INVALID)
            continue;
        group = group << 6 | value;
        if (++held == 4) {
            __put_group(p, group);
            p += 3;
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
    // Zeros to the end of the last group's three bytes: at least one, the terminator.
    uint32_t length = static_cast<uint32_t>(p - bytes);
    size_t used = length / 3 * size_t{3} + 3;
    memset(p, 0, used - length);
    if (room - used > BASE64_SPARE_KEPT) {
        void *fitted = realloc(bytes, used);
        bytes = fitted != NULL ? static_cast<unsigned char *>(fitted) : bytes;
    }
    *out = bytes;
    return length;
}

} // extern "C"
