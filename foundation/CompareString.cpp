// String orderings and equality tests; the rules of each family are in omx_compare.h.
#include "omx_compare.h"

#include <ctype.h>
#include <stddef.h>
#include <string.h>

// toupper() is defined only for unsigned-char values and EOF, so the byte goes
// in unsigned; the folded byte is then read back as signed for ordering.
static inline signed char __fold(char c, int fold) {
    if (fold)
        return static_cast<signed char>(toupper(static_cast<unsigned char>(c)));
    return static_cast<signed char>(c);
}

// Counted strings: the first difference within the shorter length decides,
// else the shorter string orders first.
static int __OmxCompare(const char *s1, size_t len1, const char *s2, size_t len2, int fold) {
    size_t common = len1 < len2 ? len1 : len2;
    for (size_t i = 0; i < common; i++) {
        signed char c1 = __fold(s1[i], fold);
        signed char c2 = __fold(s2[i], fold);
        if (c1 != c2)
            return c1 < c2 ? -1 : 1;
    }
    if (len1 == len2)
        return 0;
    return len1 < len2 ? -1 : 1;
}

// NUL-terminated strings: strncmp() rules under a positive limit, strcmp()
// rules otherwise; NULL orders before every string, "" included.
static int __OmxCompareEx(const char *s1, const char *s2, int limit, int fold) {
    if (s1 == NULL || s2 == NULL)
        return (s1 != NULL) - (s2 != NULL);
    for (size_t i = 0; limit <= 0 || i < static_cast<size_t>(limit); i++) {
        if (s1[i] == '\0' || s2[i] == '\0')
            return (s1[i] != '\0') - (s2[i] != '\0');
        signed char c1 = __fold(s1[i], fold);
        signed char c2 = __fold(s2[i], fold);
        if (c1 != c2)
            return c1 < c2 ? -1 : 1;
    }
    return 0;
}

// Only the prefix both strings share, up to the limit, is compared. strnlen()
// gives the same count as measuring whole strings, without reading past it.
static int __compare_prefix(const char *s1, const char *s2, int limit, int fold) {
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
    return __OmxCompare(s1, len1, s2, len2, 1);
}

int OmxCompareLen(const char *s1, const char *s2, int limit) {
    return __compare_prefix(s1, s2, limit, 0);
}

int OmxCompareLenNoCase(const char *s1, const char *s2, int limit) {
    return __compare_prefix(s1, s2, limit, 1);
}

int OmxStrEquals(const char *s1, const char *s2) {
    return __OmxCompareEx(s1, s2, 0, 0) == 0;
}

int OmxStrNoCaseEquals(const char *s1, const char *s2) {
    return __OmxCompareEx(s1, s2, 0, 1) == 0;
}

int OmxStrLenEquals(const char *s1, const char *s2, int limit) {
    return __OmxCompareEx(s1, s2, limit, 0) == 0;
}

int OmxStrLenNoCaseEquals(const char *s1, const char *s2, int limit) {
    return __OmxCompareEx(s1, s2, limit, 1) == 0;
}

} // extern "C"
