// The seven comparisons, a plain model of each in the current locale, and their agreement.
#pragma once
#include <ctype.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "omx_compare.h"

// Even ones fold case; 1, 2, 5 and 6 take a limit.
using Comparison = int (*)(const char *, const char *, int);
const Comparison comparisons[] = {
    [](const char *a, const char *b, int) { return OmxCompareNoCase(a, b); },
    OmxCompareLen,
    OmxCompareLenNoCase,
    [](const char *a, const char *b, int) { return OmxStrEquals(a, b); },
    [](const char *a, const char *b, int) { return OmxStrNoCaseEquals(a, b); },
    OmxStrLenEquals,
    OmxStrLenNoCaseEquals};
const auto limited = [](int f) { return f % 4 == 1 || f % 4 == 2; };

// The bytes that count, folded as signed chars, sign bit flipped to order them as signed.
inline std::string key(const char *s, size_t width, bool fold) {
    std::string out;
    for (size_t i = 0; s != nullptr && i < width && s[i] != '\0'; i++)
        out += static_cast<char>((fold ? toupper(static_cast<signed char>(s[i])) : s[i]) ^ 0x80);
    return out;
}

// Orderings read NULL as "" and compare the shared prefix; equality is strncmp()'s, NULL == NULL.
inline int model(int f, const char *a, const char *b, int limit) {
    const bool fold = f % 2 == 0;
    size_t width = limited(f) && limit > 0 ? static_cast<size_t>(limit) : std::string::npos;
    if (f >= 3)
        return a != nullptr && b != nullptr ? key(a, width, fold) == key(b, width, fold) : a == b;
    if (limited(f))
        width = limit <= 0 ? 0 : std::min(key(a, width, false).size(), key(b, width, false).size());
    const int order = key(a, width, fold).compare(key(b, width, fold));
    return (order > 0) - (order < 0);
}

inline void check_agreement(const char *a, const char *b, int limit) {
    for (int f = 0; f < 7; f++)
        FUZZ_CHECK(comparisons[f](a, b, limit) == model(f, a, b, limit));
}
