// The vector paths of Base64 declared in base64_vector.h. They take whole
// blocks only, leave the tail to the plain rule in Base64.cpp, and produce
// exactly what that rule would. They exist only for x86, which is always
// little-endian, so their shuffles may assume that byte order; elsewhere both
// functions consume nothing. The widest code the processor runs is chosen on
// every call, within the cap that base64_vector_cap sets.
#include "base64_vector.h"

#include <atomic>

static std::atomic<int> VectorCap{BASE64_VECTOR_WIDEST};

void base64_vector_cap(int bits) {
    VectorCap.store(bits, std::memory_order_relaxed);
}

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// The same 16 bytes in both 128-bit lanes: byte shuffles work within a lane.
#define BASE64_LANES(...) _mm256_broadcastsi128_si256(_mm_setr_epi8(__VA_ARGS__))

// Encodes whole 24-byte blocks while 28 bytes can be read (each block reads 4
// bytes beyond itself); returns the number of bytes consumed.
__attribute__((target("avx2"))) static uint32_t __encode_blocks_avx2(const unsigned char *data,
                                                                     uint32_t count, char *out) {
    const __m256i spread = BASE64_LANES(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
    const __m256i offsets =
        BASE64_LANES('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                     '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
    uint32_t i = 0;
    for (; count - i >= 28; i += 24, out += 32) {
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
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), text);
    }
    return i;
}

// Decodes whole 32-character blocks of alphabet characters into 24 bytes each;
// stops at the first block holding any other byte, or when fewer than 48
// characters remain (each block stores 32 bytes, 8 of them zero, and the result
// storage has room for that only then). Returns the number of characters consumed.
__attribute__((target("avx2"))) static uint32_t
__decode_blocks_avx2(const char *text, uint32_t count, unsigned char *out) {
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
    uint32_t i = 0;
    for (; count - i >= 48; i += 32, out += 24) {
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
        _mm256_storeu_si256(reinterpret_cast<__m256i *>(out), bytes);
    }
    return i;
}

#define BASE64_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))
// Every lane: the zero-masking forms spare g++ 12 a false uninitialized warning.
#define BASE64_ALL (~__mmask64{0})

struct VectorTables {
    char alphabet[64];         // each 6-bit value's character
    unsigned char spread[64];  // the bytes b1 b0 b2 b1 of each group of three
    unsigned char values[128]; // each ASCII character's value, 0x80 outside the alphabet
    unsigned char pack[64];    // the three bytes of each 32-bit lane, first byte first
};

static constexpr VectorTables __vector_tables() {
    const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const int within[4] = {1, 0, 2, 1};
    VectorTables tables{};
    for (unsigned char &value : tables.values)
        value = 0x80;
    for (int i = 0; i < 64; i++) {
        tables.alphabet[i] = alphabet[i];
        tables.values[static_cast<unsigned char>(alphabet[i])] = static_cast<unsigned char>(i);
        tables.spread[i] = static_cast<unsigned char>(i / 4 * 3 + within[i % 4]);
        tables.pack[i] = static_cast<unsigned char>(i < 48 ? i / 3 * 4 + 2 - i % 3 : 0);
    }
    return tables;
}

alignas(64) static constexpr VectorTables Tables = __vector_tables();

BASE64_AVX512 static inline __m512i __load512(const void *table) {
    return _mm512_load_si512(table);
}

// The lanes below count set.
static __mmask64 __lanes(uint32_t count) {
    return count >= 64 ? BASE64_ALL : (__mmask64{1} << count) - 1;
}

struct EncodeTables {
    __m512i spread, alphabet;
};

// Encodes the bytes of data in load to the characters of out in store.
BASE64_AVX512 static inline void __encode_block512(const EncodeTables &tables,
                                                   const unsigned char *data, __mmask64 load,
                                                   char *out, __mmask64 store) {
    // Where each 6-bit field starts in a 64-bit lane of two groups b1 b0 b2 b1.
    const __m512i fields = _mm512_set1_epi64(0x3036242a1016040a);
    __m512i in = _mm512_maskz_loadu_epi8(load, data);
    in = _mm512_maskz_permutexvar_epi8(BASE64_ALL, tables.spread, in);
    __m512i values = _mm512_maskz_multishift_epi64_epi8(BASE64_ALL, fields, in);
    _mm512_mask_storeu_epi8(out, store,
                            _mm512_maskz_permutexvar_epi8(BASE64_ALL, values, tables.alphabet));
}

// Encodes 48-byte blocks, then the whole groups of three that remain, with
// masked loads and stores that touch nothing past them; returns the bytes consumed.
BASE64_AVX512 static uint32_t __encode_blocks_avx512(const unsigned char *data, uint32_t count,
                                                     char *out) {
    const EncodeTables tables = {__load512(Tables.spread), __load512(Tables.alphabet)};
    uint32_t i = 0;
    for (; count - i >= 48; i += 48, out += 64)
        __encode_block512(tables, data + i, __lanes(48), out, BASE64_ALL);
    uint32_t tail = (count - i) / 3 * 3;
    if (tail > 0)
        __encode_block512(tables, data + i, __lanes(tail), out, __lanes(tail / 3 * 4));
    return i + tail;
}

struct DecodeTables {
    __m512i values_low, values_high, pack;
};

// Decodes the characters of text in load to the bytes of out in store, unless
// one of them is outside the alphabet; returns the lanes of those (0 when it
// decoded them). Always inlined, so that it takes its caller's address checks.
BASE64_AVX512 __attribute__((always_inline)) static inline __mmask64
__decode_block512(const DecodeTables &tables, const char *text, __mmask64 load, unsigned char *out,
                  __mmask64 store) {
    __m512i in = _mm512_maskz_loadu_epi8(load, text);
    __m512i values = _mm512_permutex2var_epi8(tables.values_low, in, tables.values_high);
    // Bytes from 0x80 up and those the table marks both have the top bit set.
    __mmask64 outside =
        _mm512_mask_test_epi8_mask(load, _mm512_or_si512(in, values), _mm512_set1_epi8(-128));
    if (outside != 0)
        return outside;
    __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    __m512i groups = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    _mm512_mask_storeu_epi8(out, store,
                            _mm512_maskz_permutexvar_epi8(BASE64_ALL, tables.pack, groups));
    return 0;
}

// The smallest page size of x86: a load that crosses no multiple of it stays
// within one page, whatever the page size.
#define BASE64_PAGE 4096u

// Whether the 64 bytes from p reach into the next page.
static bool __crosses_page(const char *p) {
    return (reinterpret_cast<uintptr_t>(p) & (BASE64_PAGE - 1)) > BASE64_PAGE - 64;
}

// Lowers *count to the position of the first NUL from text[i] (which must
// exist) to the end of its aligned 64-byte block, if there is one. Always
// inlined, so that it takes its caller's address checks.
BASE64_AVX512 __attribute__((always_inline)) static inline void
__stop_at_nul(const char *text, uint32_t i, uint32_t *count) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(text + i);
    const __m512i block = _mm512_load_si512(reinterpret_cast<const void *>(at & ~uintptr_t{63}));
    const uint64_t nuls = _mm512_testn_epi8_mask(block, block) >> (at & 63);
    if (nuls != 0 && i + static_cast<uint64_t>(__builtin_ctzll(nuls)) < *count)
        *count = i + static_cast<uint32_t>(__builtin_ctzll(nuls));
}

// Decodes 64-character blocks of alphabet characters, then the whole groups of
// four that remain, stopping before the first block holding any other byte;
// returns the characters consumed and raises *known to the first such byte.
// The text may end at a NUL before count, and needs no separate search for it:
// a block read past the NUL fails as any other byte outside the alphabet would,
// and a load cannot fault while it stays in the page of a byte that exists, so
// only a block that reaches into the next page first tests the rest of its own
// page for a NUL. Those loads may read past the text's storage, never past its
// page: hence no address checks here.
BASE64_AVX512 __attribute__((no_sanitize_address)) static uint32_t
__decode_blocks_avx512(const char *text, uint32_t count, uint32_t *known, unsigned char *out) {
    const DecodeTables tables = {__load512(Tables.values), __load512(Tables.values + 64),
                                 __load512(Tables.pack)};
    __mmask64 outside = 0;
    uint32_t i = 0;
    for (; i < count; i += 64, out += 48) {
        // text[i] exists: every character before it is in the alphabet.
        if (__crosses_page(text + i))
            __stop_at_nul(text, i, &count);
        if (count - i < 64)
            break;
        if ((outside = __decode_block512(tables, text + i, BASE64_ALL, out, __lanes(48))) != 0)
            break;
    }
    uint32_t tail = (count - i) / 4 * 4;
    if (outside == 0 && tail > 0 &&
        (outside =
             __decode_block512(tables, text + i, __lanes(tail), out, __lanes(tail / 4 * 3))) == 0)
        i += tail;
    const uint32_t clean = outside != 0 ? i + static_cast<uint32_t>(__builtin_ctzll(outside)) : i;
    *known = clean > *known ? clean : *known;
    return i;
}

// The widest code this processor runs, within the cap.
static int __vector_bits() {
    int cap = VectorCap.load(std::memory_order_relaxed);
    if (cap >= 512 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
        __builtin_cpu_supports("avx512vbmi"))
        return 512;
    if (cap >= 256 && __builtin_cpu_supports("avx2"))
        return 256;
    return 0;
}

uint32_t base64_encode_blocks(const unsigned char *data, uint32_t count, char *out) {
    switch (__vector_bits()) {
    case 512:
        return __encode_blocks_avx512(data, count, out);
    case 256:
        return __encode_blocks_avx2(data, count, out);
    }
    return 0;
}

uint32_t base64_decode_blocks(const char *text, uint32_t count, uint32_t *known,
                              unsigned char *out) {
    switch (__vector_bits()) {
    case 512:
        return __decode_blocks_avx512(text, count, known, out);
    case 256:
        return __decode_blocks_avx2(text, *known, out);
    }
    return 0;
}

bool base64_decode_finds_nul(void) {
    return __vector_bits() == 512;
}

#else // no vector code for this processor: the plain rule does all the work

uint32_t base64_encode_blocks(const unsigned char *, uint32_t, char *) {
    return 0;
}

uint32_t base64_decode_blocks(const char *, uint32_t, uint32_t *, unsigned char *) {
    return 0;
}

bool base64_decode_finds_nul(void) {
    return false;
}

#endif
