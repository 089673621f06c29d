/* Bounded line input from standard input. */
#ifndef VAXOLOCAL_SAFE_GETS_H
#define VAXOLOCAL_SAFE_GETS_H

#include "omx_export.h"

OMX_BEGIN_DECLS

/*
 * Reads one line of standard input into buffer, at most size - 1 characters,
 * without its line end ("\n", "\r\n", or a "\r" that met the buffer's end
 * just before the "\n"). A line that does not fit leaves its rest unread,
 * for the next call, unless drain is set: then the rest of that line is
 * discarded. An empty line gives "". Returns buffer, or NULL at end of input
 * or on a read error before any character, or with errno EINVAL for a NULL
 * buffer or a size below 1. Characters read before an error (EAGAIN on a
 * non-blocking stream) are returned. The stream's indicators are cleared
 * first, so after a NULL ferror(stdin) tells an error of this call.
 */
OMX_API char *safe_gets(char *buffer, int size, int drain);

OMX_END_DECLS

#endif
