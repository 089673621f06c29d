/*
 * Base64 with the standard alphabet (A-Z, a-z, 0-9, '+', '/') and '=' padding.
 *
 * Both functions store newly allocated, NUL-terminated storage in *out, which
 * the caller releases with OmxMemFree(). When that storage cannot be obtained
 * (or the result would not fit a 32-bit count), *out is NULL and the result 0.
 */
#ifndef VAXOLOCAL_OMX_BASE64_H
#define VAXOLOCAL_OMX_BASE64_H

#include <stdint.h>

#include "omx_export.h"

OMX_BEGIN_DECLS

/* Encodes count bytes as one line of 4 * ceil(count / 3) characters; returns that number. */
OMX_API uint32_t OmxBase64Encode(const unsigned char *data, uint32_t count, char **out);
/*
 * Decodes at most count characters of text, stopping early at a NUL or the
 * first '='. Characters outside the alphabet are skipped; a last lone
 * character is dropped. Returns the number of bytes decoded; they are followed
 * by a NUL byte.
 */
OMX_API uint32_t OmxBase64Decode(const char *text, uint32_t count, unsigned char **out);

OMX_END_DECLS

#endif
