// The allocation layer: plain C-heap blocks, zero-filled and rounded to 4 bytes.
#include "omx_memory.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

extern "C" {

void *OmxMemAlloc(size_t size) {
    if (size > SIZE_MAX - 3) // rounding up would wrap to a tiny block
        return NULL;
    return calloc(1, (size + 3) & ~static_cast<size_t>(3));
}

void *OmxMemRealloc(void *block, size_t size) {
    if (block == NULL)
        return OmxMemAlloc(size);
    // realloc(block, 0) may free the block and return NULL, which callers
    // would read as a failure that left it valid.
    return realloc(block, size == 0 ? 1 : size);
}

int OmxMemReadable(const void *ptr, size_t length) {
    (void)length;
    return ptr != NULL;
}

int OmxMemWriteable(const void *ptr, size_t length) {
    return OmxMemReadable(ptr, length);
}

void OmxMemFree(void *block) {
    if (OmxMemReadable(block, 1))
        free(block);
}

void *OmxMemCopy(void *dest, const void *src, size_t length) {
    if (OmxMemReadable(src, length) && OmxMemWriteable(dest, length))
        memcpy(dest, src, length);
    return dest;
}

char *OmxStrDup(const char *text) {
    if (text == NULL)
        return NULL;
    if (*text == '\0')
        return static_cast<char *>(calloc(1, 1));
    return strdup(text);
}

} // extern "C"
