/*
 * A growable, NUL-terminated string that may carry embedded NUL bytes.
 *
 * Invariants after every operation: 0 <= length < capacity, text[length] is
 * NUL, end == text + length, and capacity is a multiple of blockSize. Storage
 * grows by whole blocks, never by doubling: a new capacity is the smallest
 * multiple of blockSize above the need (the new length when the text is
 * replaced, length + added + 1 when it is extended). Callers may read the
 * fields; they change them only through these functions.
 *
 * Lengths are ints; a negative length means up to the source's NUL, and a
 * NULL source is the empty text. When storage cannot be obtained an operation
 * leaves the text as it was; strbuf_reserve() reports it, so a caller that
 * must not lose text reserves first. Every function accepts a NULL buffer.
 *
 * A work buffer lent by strbuf_getBufferSetLength() is filled by the caller
 * and committed with strbuf_releaseBuffer(); at most one is outstanding.
 */
#ifndef STRBUF_H
#define STRBUF_H

#include "omx_export.h"

typedef struct strbuf {
    char *text;     /* never NULL once created */
    int capacity;   /* bytes usable, terminator included */
    int length;     /* characters before the terminator */
    char *end;      /* text + length, where the next append writes */
    int blockSize;  /* growth step, at least 1 */
    char *buffer;   /* outstanding work buffer, or NULL */
    int bufferSize; /* its size in bytes, or 0 */
} strbuf;

#if defined(__GNUC__)
#define STRBUF_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define STRBUF_PRINTF(fmt, args)
#endif

OMX_BEGIN_DECLS

/* NULL when blockSize is below 1 or memory is exhausted. */
OMX_API strbuf *strbuf_create(int blockSize, const char *init);
OMX_API void strbuf_destroy(strbuf *sb);
/* Room for extra more characters: 0, or -1 (NULL buffer, no memory, too large). */
OMX_API int strbuf_reserve(strbuf *sb, int extra);
OMX_API void strbuf_set_str(strbuf *sb, const char *s, int n);
/* Empties the text; the storage stays. */
OMX_API void strbuf_clear(strbuf *sb);
OMX_API void strbuf_copy(strbuf *dst, const strbuf *src);
OMX_API void strbuf_append(strbuf *sb, const char *s, int n);
OMX_API int strbuf_length(const strbuf *sb);
/* pos at or beyond the length appends; a negative pos counts as 0. */
OMX_API void strbuf_insert(strbuf *sb, const char *s, int n, int pos);
/*
 * Hands the text to the caller (release it with OmxMemFree) and leaves the
 * buffer empty and usable. NULL, with the buffer untouched, when the fresh
 * storage cannot be obtained.
 */
OMX_API char *strbuf_detach(strbuf *sb);
/*
 * Replace the text with (or append) the formatted text, cut at 16383
 * characters. The result is vsnprintf()'s: the full length wanted, or negative
 * on a formatting error (nothing is stored then). strbuf_format() empties the
 * buffer before formatting, so an argument pointing into its text reads "".
 */
OMX_API int strbuf_format(strbuf *sb, const char *format, ...) STRBUF_PRINTF(2, 3);
OMX_API int strbuf_append_format(strbuf *sb, const char *format, ...) STRBUF_PRINTF(2, 3);
OMX_API char *strbuf_get(const strbuf *sb);
/*
 * The byte at index, or NUL outside the text. Signed on every platform, so
 * that bytes from 0x80 up come back negative where plain char is unsigned.
 */
OMX_API signed char strbuf_getat(const strbuf *sb, int index);
/*
 * Lends a zero-filled work buffer of size bytes (blockSize when size < 1)
 * holding as much of the text as fits before its terminator; any earlier work
 * buffer is dropped. NULL when it cannot be allocated.
 */
OMX_API char *strbuf_getBufferSetLength(strbuf *sb, int size);
/*
 * Ends the loan. With commit non-zero the text becomes the work buffer's first
 * n bytes (n < 0: up to its NUL), never more than its size.
 */
OMX_API void strbuf_releaseBuffer(strbuf *sb, int commit, int n);
OMX_API int strbuf_compareNoCase(const strbuf *sb, const char *s);
/* Removes leading and trailing isspace() characters; the storage stays. */
OMX_API void strbuf_trim(strbuf *sb);
/* 1 when the text ends with the first n characters of s (case-blind if noCase), else 0. */
OMX_API int strbuf_endswith(const strbuf *sb, const char *s, int n, int noCase);
/* Removes the first count characters; returns the new length. */
OMX_API int strbuf_ltrunc(strbuf *sb, int count);

OMX_END_DECLS

#endif
