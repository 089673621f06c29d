/*
 * The allocation layer every foundation service allocates through.
 *
 * Blocks are ordinary C-heap blocks: free() and OmxMemFree() are
 * interchangeable, and OmxMemFree() accepts blocks from malloc(), calloc()
 * and strdup() as well. The caller that receives a block owns it.
 */
#ifndef VAXOLOCAL_OMX_MEMORY_H
#define VAXOLOCAL_OMX_MEMORY_H

#include <stddef.h>

#include "omx_export.h"

OMX_BEGIN_DECLS

/* Zero-filled block of size rounded up to a multiple of 4, or NULL. */
OMX_API void *OmxMemAlloc(size_t size);
/*
 * NULL block: as OmxMemAlloc(). Otherwise realloc() to exactly size bytes
 * (added bytes are not zeroed); on failure NULL, and the old block stays
 * valid. A size of 0 shrinks to a one-byte block rather than freeing.
 */
OMX_API void *OmxMemRealloc(void *block, size_t size);
/* 1 when ptr is non-NULL, else 0; the length is not examined. */
OMX_API int OmxMemReadable(const void *ptr, size_t length);
OMX_API int OmxMemWriteable(const void *ptr, size_t length);
OMX_API void OmxMemFree(void *block);
/* Copies length bytes unless either pointer is NULL; returns dest. */
OMX_API void *OmxMemCopy(void *dest, const void *src, size_t length);
/* NULL gives NULL; "" gives a fresh one-byte empty text. */
OMX_API char *OmxStrDup(const char *text);

OMX_END_DECLS

#endif
