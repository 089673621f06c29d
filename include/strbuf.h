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
 * NULL source is the empty text. A source may point into the buffer's own
 * text. When storage cannot be obtained an operation leaves the text as it
 * was; strbuf_reserve() reports it, so a caller that must not lose text
 * reserves first. Every function accepts a NULL buffer.
 *
 * A work buffer lent by strbuf_getBufferSetLength() is filled by the caller
 * and committed with strbuf_releaseBuffer(); at most one is outstanding.
 *
 * A buffer serves one thread at a time; distinct buffers share nothing.
 */
#ifndef VAXOLOCAL_STRBUF_H
#define VAXOLOCAL_STRBUF_H

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

/* -- Life cycle -- */

/*
 * A new buffer holding init up to its NUL (NULL: the empty text), owned by the
 * caller and freed with strbuf_destroy(). NULL when blockSize is below 1 or
 * memory is exhausted.
 */
OMX_API strbuf *strbuf_create(int blockSize, const char *init);
/* Frees the text, any work buffer and the record; NULL does nothing. */
OMX_API void strbuf_destroy(strbuf *sb);
/*
 * Hands the text to the caller (release it with OmxMemFree) and leaves the
 * buffer empty and usable, with one block of storage; any work buffer is
 * dropped. NULL, with the buffer untouched, when the fresh storage cannot be
 * obtained.
 */
OMX_API char *strbuf_detach(strbuf *sb);

/* -- Reading the text -- */

/* The length, embedded NULs included; 0 for a NULL buffer. */
OMX_API int strbuf_length(const strbuf *sb);
/*
 * The text itself, owned by the buffer and valid until the next call that
 * changes or destroys it; NULL for a NULL buffer.
 */
OMX_API char *strbuf_get(const strbuf *sb);
/*
 * The byte at index, or NUL outside the text. Signed on every platform, so
 * that bytes from 0x80 up come back negative where plain char is unsigned.
 */
OMX_API signed char strbuf_getat(const strbuf *sb, int index);
/*
 * strcasecmp() of the text against s: negative, 0 or positive. Both stop at
 * their first NUL; a NULL buffer or s counts as the empty text.
 */
OMX_API int strbuf_compareNoCase(const strbuf *sb, const char *s);
/* 1 when the text ends with the first n characters of s (case-blind if noCase), else 0. */
OMX_API int strbuf_endswith(const strbuf *sb, const char *s, int n, int noCase);

/* -- Setting and adding text -- */

/*
 * Room for extra more characters: 0, or -1 (NULL buffer, no memory, too
 * large). After 0, appending up to extra characters needs no new storage.
 */
OMX_API int strbuf_reserve(strbuf *sb, int extra);
/*
 * Replaces the text with n bytes of s. The storage stays when n is below the
 * capacity; otherwise it is replaced by the smallest multiple of blockSize
 * above n.
 */
OMX_API void strbuf_set_str(strbuf *sb, const char *s, int n);
/*
 * Sets dst's text to src's, embedded NULs included, as strbuf_set_str() does.
 * Nothing when either is NULL or both are the same buffer.
 */
OMX_API void strbuf_copy(strbuf *dst, const strbuf *src);
/*
 * Adds n bytes of s at the end, growing the storage to the smallest multiple
 * of blockSize above length + n + 1 when fewer than n + 1 bytes are free. An
 * empty text follows strbuf_set_str()'s rule instead.
 */
OMX_API void strbuf_append(strbuf *sb, const char *s, int n);
/* Puts n bytes of s before pos; pos at or beyond the length appends; a negative pos counts as 0. */
OMX_API void strbuf_insert(strbuf *sb, const char *s, int n, int pos);
/*
 * Replace the text with (or append) the formatted text, cut at 16383
 * characters. The result is vsnprintf()'s: the full length wanted, or negative
 * on a formatting error, after which strbuf_format() leaves the text empty and
 * strbuf_append_format() adds nothing; -1 for a NULL buffer or format.
 * strbuf_format() formats as if the buffer were emptied first, so its own
 * text (strbuf_get()) as an argument reads "".
 */
OMX_API int strbuf_format(strbuf *sb, const char *format, ...) STRBUF_PRINTF(2, 3);
OMX_API int strbuf_append_format(strbuf *sb, const char *format, ...) STRBUF_PRINTF(2, 3);

/* -- Removing text (in place: the storage stays) -- */

/* Empties the text. */
OMX_API void strbuf_clear(strbuf *sb);
/* Removes leading and trailing isspace() characters. */
OMX_API void strbuf_trim(strbuf *sb);
/*
 * Removes the first count characters (none when count < 1, all when count is
 * the length or more); returns the new length, 0 for a NULL buffer.
 */
OMX_API int strbuf_ltrunc(strbuf *sb, int count);

/* -- The work buffer -- */

/*
 * Lends a zero-filled work buffer of size bytes (blockSize when size < 1)
 * holding as much of the text as fits before its terminator; any earlier work
 * buffer is dropped. The strbuf owns it (the caller does not free it); the
 * text is untouched until the loan ends. NULL for a NULL buffer or when it
 * cannot be allocated.
 */
OMX_API char *strbuf_getBufferSetLength(strbuf *sb, int size);
/*
 * Ends the loan, if any, and frees the work buffer. With commit non-zero the
 * text becomes its first n bytes (n < 0: up to its NUL), never more than its
 * size; with commit 0 its contents are dropped.
 */
OMX_API void strbuf_releaseBuffer(strbuf *sb, int commit, int n);

OMX_END_DECLS

#endif
