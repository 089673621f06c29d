// String orderings and equality tests; the rules of each family are in omx_compare.h.
#include "omx_compare.h"

#include <ctype.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>

// Folding takes each byte as a signed char, so 0xFF is EOF and stays as it is
// in every locale. toupper() is defined only for unsigned-char values and EOF,
// so every other byte goes in unsigned; the result is read back as signed.
static inline signed char __fold(char c, bool fold) {
    signed char byte = static_cast<signed char>(c);
    if (fold && byte != EOF)
        return static_cast<signed char>(toupper(static_cast<unsigned char>(c)));
    return byte;
}

// -1, 0 or 1 for one pair of bytes; equal bytes need no folding.
static inline int __order(char a, char b, bool fold) {
    if (a == b)
        return 0;
    signed char c1 = __fold(a, fold);
    signed char c2 = __fold(b, fold);
    return (c1 > c2) - (c1 < c2);
}

// Counted strings: the first difference within the shorter length decides,
// else the shorter string orders first.
static int __OmxCompare(const char *s1, size_t len1, const char *s2, size_t len2, bool fold) {
    size_t common = len1 < len2 ? len1 : len2;
    for (size_t i = 0; i < common; i++) {
        int order = __order(s1[i], s2[i], fold);
        if (order != 0)
            return order;
    }
    if (len1 == len2)
        return 0;
    return len1 < len2 ? -1 : 1;
}

// NUL-terminated strings: strncmp() rules under a positive limit, strcmp()
// rules otherwise; NULL orders before every string, "" included.
static int __OmxCompareEx(const char *s1, const char *s2, int limit, bool fold) {
    if (s1 == NULL || s2 == NULL)
        return (s1 != NULL) - (s2 != NULL);
    for (size_t i = 0; limit <= 0 || i < static_cast<size_t>(limit); i++) {
        char a = s1[i], b = s2[i];
        if (a == b) {
            if (a == '\0')
                return 0;
            continue;
        }
        if (a == '\0' || b == '\0')
            return (a != '\0') - (b != '\0');
        int order = __order(a, b, fold);
        if (order != 0)
            return order;
    }
    return 0;
}

// Only the prefix both strings share, up to the limit, is compared. strnlen()
// gives the same count as measuring whole strings, without reading past it.
static int __compare_prefix(const char *s1, const char *s2, int limit, bool fold) {
    if (limit <= 0)
        return 0;
    size_t len1 = s1 == NULL ? 0 : strnlen(s1, static_cast<size_t>(limit));
    size_t len2 = s2 == NULL ? 0 : strnlen(s2, static_cast<size_t>(limit));
    size_t common = len1 < len2 ? len1 : len2;
    return __OmxCompare(s1, common, s2, common, fold);
}

extern "C" {

int OmxCompareNoCase(const char *s1, const char *s2) {
    size_t len1 = s1 == NULL ? 0 : strlen(s1);
    size_t len2 = s2 == NULL ? 0 : strlen(s2);
    return __OmxCompare(s1, len1, s2, len2, true);
}

int OmxCompareLen(const char *s1, const char *s2, int limit) {
    return __compare_prefix(s1, s2, limit, false);
}

int OmxCompareLenNoCase(const char *s1, const char *s2, int limit) {
    return __compare_prefix(s1, s2, limit, true);
}

int OmxStrEquals(const char *s1, const char *s2) {
    return __OmxCompareEx(s1, s2, 0, false) == 0;
}

int OmxStrNoCaseEquals(const char *s1, const char *s2) {
    return __OmxCompareEx(s1, s2, 0, true) == 0;
}

int OmxStrLenEquals(const char *s1, const char *s2, int limit) {
    return __OmxCompareEx(s1, s2, limit, false) == 0;
}

int OmxStrLenNoCaseEquals(const char *s1, const char *s2, int limit) {
    return __OmxCompareEx(s1, s2, limit, true) == 0;
}

} // extern "C"
