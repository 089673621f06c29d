// Base64 with the standard alphabet: one-line encoding, and decoding that skips
// characters outside the alphabet and stops at the first '='.
//
// Speed without changing a result: whole blocks go through 256-bit vector code
// where the processor has it (chosen at run time), runs of four valid characters
// through table lookups, and only what remains through the character-at-a-time
// rule. Every path writes bytes one by one from values, so byte order never
// matters. The decoder's result storage is sized by the characters before the
// stop, which bounds the values collected from them.
#include "omx_base64.h"

#include <stddef.h>
#include <string.h>

#include "omx_memory.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define BASE64_X86 1
#endif

#define BASE64_INVALID 0xFF
// Set in every quad-table entry of a byte outside the alphabet.
#define BASE64_QUAD_INVALID 0x01000000u

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

static constexpr PairTable szPairs = __pair_table();

// For the character at position p of a group of four, its value already shifted
// into place, so that a group decodes with three ORs.
struct QuadTables {
    uint32_t shifted[4][256];
};

static constexpr QuadTables __quad_tables() {
    QuadTables tables{};
    for (int position = 0; position < 4; position++)
        for (int c = 0; c < 256; c++) {
            unsigned char value = szReverse.value[c];
            tables.shifted[position][c] = value == BASE64_INVALID
                                              ? BASE64_QUAD_INVALID
                                              : static_cast<uint32_t>(value) << (18 - 6 * position);
        }
    return tables;
}

static constexpr QuadTables szQuads = __quad_tables();

static unsigned char __value_of(char c) {
    return szReverse.value[static_cast<unsigned char>(c)];
}

static void __put_group(unsigned char *p, uint32_t group) {
    p[0] = static_cast<unsigned char>(group >> 16);
    p[1] = static_cast<unsigned char>(group >> 8);
    p[2] = static_cast<unsigned char>(group);
}

#ifdef BASE64_X86

static bool __has_avx2() {
    return __builtin_cpu_supports("avx2");
}

// The same 16 bytes in both 128-bit lanes: byte shuffles work within a lane.
#define BASE64_LANES(...) _mm256_broadcastsi128_si256(_mm_setr_epi8(__VA_ARGS__))

// Encodes whole 24-byte blocks while 28 bytes can be read (each block reads 4
// bytes beyond itself); returns the number of bytes consumed.
__attribute__((target("avx2"))) static uint32_t __encode_blocks_avx2(const unsigned char *data,
                                                                     uint32_t count, char **out) {
    const __m256i spread = BASE64_LANES(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    const __m256i offsets =
        BASE64_LANES('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                     '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    char *p = *out;
    uint32_t i = 0;
    for (; count - i >= 28; i += 24, p += 32) {
        __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i));
        __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(data + i + 12));
        __m256i in = _mm256_shuffle_epi8(_mm256_set_m128i(high, low), spread);
        // Each 32-bit lane holds b1 b0 b2 b1; move the four 6-bit fields to four bytes.
        __m256i fields_ac = _mm256_mulhi_epu16(_mm256_and_si256(in, _mm256_set1_epi32(0x0FC0FC00)),
                                               _mm256_set1_epi32(0x04000040));
        __m256i fields_bd = _mm256_mullo_epi16(_mm256_and_si256(in, _mm256_set1_epi32(0x003F03F0)),
                                               _mm256_set1_epi32(0x01000010));
        __m256i values = _mm256_or_si256(fields_ac, fields_bd);
        // Map 0..25, 26..51, 52..61, 62, 63 to an index into the offsets.
        __m256i index = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
        __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), values);
        index = _mm256_or_si256(index, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
        __m256i text = _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, index));
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), text);
    }
    *out = p;
    return i;
}

// Decodes whole 32-character blocks of alphabet characters into 24 bytes each;
// stops at the first block holding any other byte, or when fewer than 48
// characters remain (each block stores 32 bytes, 8 of them zero, and the result
// storage has room for that only then). Returns the number of characters consumed.
__attribute__((target("avx2"))) static uint32_t
__decode_blocks_avx2(const char *text, uint32_t count, unsigned char **out) {
    const __m256i nibble_mask = _mm256_set1_epi8(0x2F);
    // A byte is in the alphabet exactly when the classes of its nibbles share no bit.
    const __m256i class_low = BASE64_LANES(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                           0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
    const __m256i class_high = BASE64_LANES(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10,
                                            0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
    // What to add to a character to get its value, by high nibble ('/' counts as 1).
    const __m256i shifts = BASE64_LANES(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i pack = BASE64_LANES(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
    unsigned char *p = *out;
    uint32_t i = 0;
    for (; count - i >= 48; i += 32, p += 24) {
        __m256i in = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(text + i));
        __m256i high_nibbles = _mm256_and_si256(_mm256_srli_epi32(in, 4), nibble_mask);
        __m256i low_nibbles = _mm256_and_si256(in, nibble_mask);
        __m256i high_class = _mm256_shuffle_epi8(class_high, high_nibbles);
        __m256i low_class = _mm256_shuffle_epi8(class_low, low_nibbles);
        if (!_mm256_testz_si256(low_class, high_class))
            break;
        __m256i is_slash = _mm256_cmpeq_epi8(in, nibble_mask);
        __m256i shift = _mm256_shuffle_epi8(shifts, _mm256_add_epi8(is_slash, high_nibbles));
        __m256i values = _mm256_add_epi8(in, shift);
        // Join four 6-bit values into 24 bits per lane, then drop every fourth byte.
        __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        __m256i groups = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(groups, pack), gather);
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(p), bytes);
    }
    *out = p;
    return i;
}

#endif // BASE64_X86

static uint32_t __encode_blocks(const unsigned char *data, uint32_t count, char **out) {
#ifdef BASE64_X86
    if (__has_avx2())
        return __encode_blocks_avx2(data, count, out);
#endif
    (void)data;
    (void)count;
    (void)out;
    return 0;
}

static uint32_t __decode_blocks(const char *text, uint32_t count, unsigned char **out) {
#ifdef BASE64_X86
    if (__has_avx2())
        return __decode_blocks_avx2(text, count, out);
#endif
    (void)text;
    (void)count;
    (void)out;
    return 0;
}

// Where the scan stops: the first NUL or '=' within count, else count.
static uint32_t __scan_end(const char *text, uint32_t count) {
    if (text == NULL)
        return 0;
    size_t end = strnlen(text, count);
    const void *pad = memchr(text, '=', end);
    return static_cast<uint32_t>(pad != NULL ? static_cast<const char *>(pad) - text : end);
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
    uint32_t i = __encode_blocks(data, count, &p);
    for (; count - i >= 3; i += 3, p += 4) {
        uint32_t group = static_cast<uint32_t>(data[i]) << 16 | data[i + 1] << 8 | data[i + 2];
        memcpy(p, szPairs.pair[group >> 12], 2);
        memcpy(p + 2, szPairs.pair[group & 0xFFF], 2);
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
    uint32_t end = __scan_end(text, count);
    unsigned char *bytes = static_cast<unsigned char *>(OmxMemAlloc((end / 4 + 1) * size_t{3}));
    if (bytes == NULL)
        return 0;

    unsigned char *p = bytes;
    uint32_t group = 0;
    int held = 0;
    uint32_t i = 0;
    while (i < end) {
        if (held == 0) {
            i += __decode_blocks(text + i, end - i, &p);
            for (; end - i >= 4; i += 4, p += 3) {
                const unsigned char *quad = reinterpret_cast<const unsigned char *>(text + i);
                uint32_t joined = szQuads.shifted[0][quad[0]] | szQuads.shifted[1][quad[1]] |
                                  szQuads.shifted[2][quad[2]] | szQuads.shifted[3][quad[3]];
                if (joined & BASE64_QUAD_INVALID)
                    break;
                __put_group(p, joined);
            }
            if (i == end)
                break;
        }
        // The character-at-a-time rule: skip what is outside the alphabet.
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
    *out = bytes;
    return static_cast<uint32_t>(p - bytes);
}

} // extern "C"
