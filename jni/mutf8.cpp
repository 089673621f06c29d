// Standard UTF-8 (and stray bytes) turned into the modified UTF-8 the virtual machine reads.
#include "mutf8.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

enum step { STEP_COPY, STEP_PAIR, STEP_BAD };
static const size_t REPLACEMENT_SIZE = 3;

static const unsigned char REPLACEMENT[REPLACEMENT_SIZE] = {0xEF, 0xBF, 0xBD}; // U+FFFD
static const uint64_t HIGH_BITS = 0x8080808080808080ull;

// Index of the first byte of s[0..size) that is not ASCII, or size; word by
// word, since answers are mostly ASCII and can be megabytes long.
static size_t __ascii_span(const unsigned char *s, size_t size) {
    size_t at = 0;
    for (uint64_t word; at + sizeof word <= size; at += sizeof word) {
        memcpy(&word, s + at, sizeof word);
        if (word & HIGH_BITS)
            break;
    }
    while (at < size && s[at] < 0x80)
        at++;
    return at;
}

// Classifies the sequence at s (not at its NUL) and stores how many bytes it
// spans in *in: kept as it is, a 4-byte sequence, or a maximal ill-formed subpart.
static step __step(const unsigned char *s, size_t *in) {
    unsigned char lead = s[0], low = 0x80, high = 0xBF;
    size_t need;
    *in = 1;
    if (lead < 0x80)
        return STEP_COPY;
    if (lead == 0xC0 && s[1] == 0x80) { // U+0000 in modified form
        *in = 2;
        return STEP_COPY;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        need = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        need = 3; // surrogates (ED A0..BF) are modified UTF-8's own pairs
        low = lead == 0xE0 ? 0xA0 : 0x80;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        need = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return STEP_BAD;
    }
    if (s[1] < low || s[1] > high)
        return STEP_BAD;
    size_t n = 2;
    while (n < need && (s[n] & 0xC0) == 0x80) // stops at the NUL
        n++;
    *in = n;
    if (n < need)
        return STEP_BAD;
    return need == 4 ? STEP_PAIR : STEP_COPY;
}

static unsigned char *__put_unit(unsigned char *out, unsigned unit) {
    out[0] = static_cast<unsigned char>(0xE0 | unit >> 12);
    out[1] = static_cast<unsigned char>(0x80 | (unit >> 6 & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (unit & 0x3F));
    return out + 3;
}

// Writes the modified form of the sequence at s, of kind k and in bytes long.
static unsigned char *__put(unsigned char *out, const unsigned char *s, step k, size_t in) {
    if (k == STEP_COPY) {
        memcpy(out, s, in);
        return out + in;
    }
    if (k == STEP_BAD) {
        memcpy(out, REPLACEMENT, sizeof REPLACEMENT);
        return out + sizeof REPLACEMENT;
    }
    unsigned point =
        (s[0] & 0x07u) << 18 | (s[1] & 0x3Fu) << 12 | (s[2] & 0x3Fu) << 6 | (s[3] & 0x3Fu);
    point -= 0x10000;
    out = __put_unit(out, 0xD800 + (point >> 10));
    return __put_unit(out, 0xDC00 + (point & 0x3FF));
}

const char *mutf8text(const char *text, char **copy) {
    *copy = NULL;
    if (text == NULL)
        return NULL;
    const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
    size_t size = strlen(text), in = 0;
    size_t at = __ascii_span(s, size);
    while (at < size && __step(s + at, &in) == STEP_COPY)
        at += in;
    if (at == size)
        return text;

    // No sequence grows by more than three times its length.
    if (size > (SIZE_MAX - 1) / REPLACEMENT_SIZE)
        return NULL;
    unsigned char *out = static_cast<unsigned char *>(malloc(size * REPLACEMENT_SIZE + 1));
    if (out == NULL)
        return NULL;
    memcpy(out, s, at);
    unsigned char *end = out + at;
    for (size_t i = at; i < size; i += in) {
        step k = __step(s + i, &in);
        end = __put(end, s + i, k, in);
    }
    *end = '\0';
    *copy = reinterpret_cast<char *>(out);
    return *copy;
}
