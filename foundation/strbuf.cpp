// The growable string buffer. Every change of text goes through __splice(),
// which works in place, grows the storage with realloc() (which keeps the old
// block when it fails), or builds the new text in fresh storage before
// releasing the old, so a failed allocation leaves the text as it was and a
// source may even point into the buffer's own text. Whatever storage it takes
// reads zero past the new text, as if the text had been copied into a fresh
// zero-filled block.
#include "strbuf.h"

#include <ctype.h>
#include <limits.h>
#include <stdarg.h>
#include <stddef.h>
#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <algorithm>
#include <functional>

#include "omx_memory.h"

#define STRBUF_FORMAT_SIZE 16384

// Zero-filled storage of size bytes, rounded up to a multiple of 4, or NULL.
static char *__strbuf_alloc_string(int size) {
    return static_cast<char *>(OmxMemAlloc(static_cast<size_t>(size)));
}

// The bytes text storage of a capacity spans: whole words, as the allocator gives them.
static size_t __storage_size(long long capacity) {
    return static_cast<size_t>((capacity + 3) & ~3LL);
}

static int __source_length(const char *s, int n) {
    if (s == NULL)
        return 0;
    if (n >= 0)
        return n;
    return static_cast<int>(std::min(strlen(s), static_cast<size_t>(INT_MAX)));
}

// The smallest multiple of the block size above need.
static long long __block_above(const strbuf *sb, long long need) {
    return (need / sb->blockSize + 1) * sb->blockSize;
}

static long long __capacity_to_set(const strbuf *sb, long long capacity, long long n) {
    return n < capacity ? capacity : __block_above(sb, n);
}

// Appending to an empty text follows the rule for replacing it.
static long long __capacity_to_append(const strbuf *sb, long long capacity, long long length,
                                      long long n) {
    if (length == 0)
        return __capacity_to_set(sb, capacity, n);
    return capacity - length <= n ? __block_above(sb, length + n + 1) : capacity;
}

// An insertion is the emptied buffer with prefix, new text and the rest
// appended in turn; its capacity follows those steps.
static long long __capacity_to_insert(const strbuf *sb, int n, int pos) {
    long long capacity = __capacity_to_append(sb, sb->capacity, pos, n);
    return __capacity_to_append(sb, capacity, static_cast<long long>(pos) + n, sb->length - pos);
}

// Whether s points into the buffer's storage (std::less orders any two pointers).
static bool __inside_text(const strbuf *sb, const char *s) {
    std::less<const char *> before;
    return !before(s, sb->text) && before(s, sb->text + sb->capacity);
}

// Makes the text its first pos characters, then n bytes of s, then (with
// keepTail) the characters from pos on, in storage of the given capacity.
// Returns 0, or -1 with nothing changed when that storage cannot be had.
static int __splice(strbuf *sb, int pos, const char *s, int n, bool keepTail, long long capacity) {
    int tail = keepTail ? sb->length - pos : 0;
    long long length = static_cast<long long>(pos) + n + tail;
    if (capacity > INT_MAX || length >= capacity)
        return -1;
    char *text = sb->text;
    const bool inside = __inside_text(sb, s);
    // Moving the tail in place would shift a source that lies in the text itself.
    const bool fresh = tail > 0 && inside;
    const bool resized = !fresh && capacity != sb->capacity;
    if (fresh) {
        text = __strbuf_alloc_string(static_cast<int>(capacity));
        if (text == NULL)
            return -1;
        if (pos > 0)
            memcpy(text, sb->text, static_cast<size_t>(pos));
    } else if (resized) {
        // realloc() keeps the whole old block, so a source in it keeps its offset.
        const ptrdiff_t offset = inside ? s - sb->text : 0;
        text = static_cast<char *>(OmxMemRealloc(sb->text, __storage_size(capacity)));
        if (text == NULL)
            return -1;
        if (inside)
            s = text + offset;
        sb->text = text;
        sb->capacity = static_cast<int>(capacity);
    }
    if (tail > 0)
        memmove(text + pos + n, sb->text + pos, static_cast<size_t>(tail));
    if (n > 0)
        memmove(text + pos, s, static_cast<size_t>(n));
    if (fresh) {
        OmxMemFree(sb->text);
        sb->text = text;
        sb->capacity = static_cast<int>(capacity);
    } else if (resized) { // the added storage, and anything left past the old text, reads zero
        memset(text + length, 0, __storage_size(capacity) - static_cast<size_t>(length));
    }
    sb->length = static_cast<int>(length);
    sb->end = text + length;
    *sb->end = '\0';
    return 0;
}

static int __set(strbuf *sb, const char *s, int n) {
    n = __source_length(s, n);
    return __splice(sb, 0, s, n, false, __capacity_to_set(sb, sb->capacity, n));
}

static int __append(strbuf *sb, const char *s, int n) {
    n = __source_length(s, n);
    return __splice(sb, sb->length, s, n, false,
                    __capacity_to_append(sb, sb->capacity, sb->length, n));
}

static void __drop_work_buffer(strbuf *sb) {
    OmxMemFree(sb->buffer);
    sb->buffer = NULL;
    sb->bufferSize = 0;
}

// Formats into the text (replace) or after it. While formatting, a replaced
// text reads empty, as after strbuf_clear(); it is taken back whole when the
// new text finds no storage.
static int __put_formatted(strbuf *sb, bool replace, const char *format, va_list args) {
    char area[STRBUF_FORMAT_SIZE];
    char first = sb->text[0];
    if (replace)
        sb->text[0] = '\0';
    int wanted = vsnprintf(area, sizeof area, format, args);
    sb->text[0] = first;
    int n = wanted < 0 ? 0 : wanted < STRBUF_FORMAT_SIZE ? wanted : STRBUF_FORMAT_SIZE - 1;
    if (replace)
        __set(sb, area, n); // a formatting error leaves the text empty
    else if (wanted >= 0)
        __append(sb, area, n);
    return wanted;
}

extern "C" {

strbuf *strbuf_create(int blockSize, const char *init) {
    if (blockSize < 1) // a block size of 0 would divide by zero at the first allocation
        return NULL;
    strbuf *sb = static_cast<strbuf *>(OmxMemAlloc(sizeof *sb));
    if (sb == NULL)
        return NULL;
    sb->blockSize = blockSize;
    if (__set(sb, init, -1) != 0) {
        OmxMemFree(sb);
        return NULL;
    }
    return sb;
}

void strbuf_destroy(strbuf *sb) {
    if (sb == NULL)
        return;
    __drop_work_buffer(sb);
    OmxMemFree(sb->text);
    OmxMemFree(sb);
}

int strbuf_reserve(strbuf *sb, int extra) {
    if (sb == NULL)
        return -1;
    if (sb->capacity - sb->length > extra)
        return 0;
    return __splice(sb, sb->length, NULL, 0, false,
                    __block_above(sb, static_cast<long long>(sb->length) + extra + 1));
}

void strbuf_set_str(strbuf *sb, const char *s, int n) {
    if (sb != NULL)
        __set(sb, s, n);
}

void strbuf_clear(strbuf *sb) {
    strbuf_set_str(sb, "", 0);
}

void strbuf_copy(strbuf *dst, const strbuf *src) {
    if (dst != NULL && src != NULL && dst != src)
        __set(dst, src->text, src->length);
}

void strbuf_append(strbuf *sb, const char *s, int n) {
    if (sb != NULL)
        __append(sb, s, n);
}

int strbuf_length(const strbuf *sb) {
    return sb != NULL ? sb->length : 0;
}

void strbuf_insert(strbuf *sb, const char *s, int n, int pos) {
    if (sb == NULL)
        return;
    n = __source_length(s, n);
    if (pos < 0)
        pos = 0;
    if (pos >= sb->length)
        __append(sb, s, n);
    else
        __splice(sb, pos, s, n, true, __capacity_to_insert(sb, n, pos));
}

char *strbuf_detach(strbuf *sb) {
    if (sb == NULL)
        return NULL;
    // Obtained first, so that without memory the caller keeps the text in the buffer.
    char *fresh = __strbuf_alloc_string(sb->blockSize);
    if (fresh == NULL)
        return NULL;
    char *text = sb->text;
    __drop_work_buffer(sb);
    sb->text = fresh;
    sb->capacity = sb->blockSize;
    sb->length = 0;
    sb->end = fresh;
    return text;
}

int strbuf_format(strbuf *sb, const char *format, ...) {
    if (sb == NULL || format == NULL)
        return -1;
    va_list args;
    va_start(args, format);
    int wanted = __put_formatted(sb, true, format, args);
    va_end(args);
    return wanted;
}

int strbuf_append_format(strbuf *sb, const char *format, ...) {
    if (sb == NULL || format == NULL)
        return -1;
    va_list args;
    va_start(args, format);
    int wanted = __put_formatted(sb, false, format, args);
    va_end(args);
    return wanted;
}

char *strbuf_get(const strbuf *sb) {
    return sb != NULL ? sb->text : NULL;
}

signed char strbuf_getat(const strbuf *sb, int index) {
    if (sb == NULL || sb->text == NULL || index < 0 || index >= sb->length)
        return '\0';
    return static_cast<signed char>(sb->text[index]);
}

char *strbuf_getBufferSetLength(strbuf *sb, int size) {
    if (sb == NULL)
        return NULL;
    __drop_work_buffer(sb);
    if (size < 1)
        size = sb->blockSize;
    char *buffer = __strbuf_alloc_string(size);
    if (buffer == NULL)
        return NULL;
    int copied = std::min(sb->length, size - 1);
    memcpy(buffer, sb->text, static_cast<size_t>(copied));
    sb->buffer = buffer;
    sb->bufferSize = size;
    return buffer;
}

void strbuf_releaseBuffer(strbuf *sb, int commit, int n) {
    if (sb == NULL || sb->buffer == NULL)
        return;
    if (commit) {
        // The caller may fill the whole buffer, so neither count may run past it.
        size_t limit = static_cast<size_t>(sb->bufferSize);
        if (n < 0)
            n = static_cast<int>(strnlen(sb->buffer, limit));
        else if (n > sb->bufferSize)
            n = sb->bufferSize;
        __set(sb, sb->buffer, n);
    }
    __drop_work_buffer(sb);
}

int strbuf_compareNoCase(const strbuf *sb, const char *s) {
    return strcasecmp(sb != NULL ? sb->text : "", s != NULL ? s : "");
}

void strbuf_trim(strbuf *sb) {
    if (sb == NULL)
        return;
    char *text = sb->text;
    int lead = 0;
    while (lead < sb->length && isspace(static_cast<unsigned char>(text[lead])))
        lead++;
    int length = sb->length - lead;
    if (lead > 0)
        memmove(text, text + lead, static_cast<size_t>(length));
    while (length > 0 && isspace(static_cast<unsigned char>(text[length - 1])))
        length--;
    sb->length = length;
    sb->end = text + length;
    *sb->end = '\0';
}

int strbuf_endswith(const strbuf *sb, const char *s, int n, int noCase) {
    if (sb == NULL)
        return 0;
    n = __source_length(s, n);
    if (sb->length < n)
        return 0;
    if (n == 0)
        return 1;
    const char *tail = sb->end - n;
    if (!noCase)
        return memcmp(tail, s, static_cast<size_t>(n)) == 0;
    for (int i = 0; i < n; i++)
        if (tolower(static_cast<unsigned char>(tail[i])) !=
            tolower(static_cast<unsigned char>(s[i])))
            return 0;
    return 1;
}

int strbuf_ltrunc(strbuf *sb, int count) {
    if (sb == NULL)
        return 0;
    if (count > 0)
        __splice(sb, 0, sb->text + count, count < sb->length ? sb->length - count : 0, false,
                 sb->capacity);
    return sb->length;
}

} // extern "C"
