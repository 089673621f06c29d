/*
 * Comparison of NUL-terminated strings, exact or case-blind, whole or
 * under a length limit.
 *
 * Characters order as signed 8-bit values, so bytes 0x80-0xFF sort before
 * 0x01-0x7F. Case-blind variants fold each byte with toupper() of the
 * current locale, taking it as a signed char: 0xFF is then EOF and never
 * folds, even where the locale gives it an upper case.
 *
 * The two families differ on purpose:
 *  - orderings (-1, 0 or 1) read NULL as "" and, under a limit, compare only
 *    the prefix both strings share: "ab" and "abc" are equal under limit 5;
 *  - equality tests (1 or 0) hold NULL equal only to NULL and, under a
 *    positive limit, compare like strncmp(); a limit of 0 or less compares
 *    whole strings.
 * Under a limit of 0 or less the orderings always give 0.
 */
#ifndef VAXOLOCAL_OMX_COMPARE_H
#define VAXOLOCAL_OMX_COMPARE_H

#include "omx_export.h"

OMX_BEGIN_DECLS

OMX_API int OmxCompareNoCase(const char *s1, const char *s2);
OMX_API int OmxCompareLen(const char *s1, const char *s2, int limit);
OMX_API int OmxCompareLenNoCase(const char *s1, const char *s2, int limit);

OMX_API int OmxStrEquals(const char *s1, const char *s2);
OMX_API int OmxStrNoCaseEquals(const char *s1, const char *s2);
OMX_API int OmxStrLenEquals(const char *s1, const char *s2, int limit);
OMX_API int OmxStrLenNoCaseEquals(const char *s1, const char *s2, int limit);

OMX_END_DECLS

#endif
