/* The calling thread's last error number and the platform's text for it. */
#ifndef VAXOLOCAL_OMX_ERROR_H
#define VAXOLOCAL_OMX_ERROR_H

#include "omx_export.h"

OMX_BEGIN_DECLS

OMX_API int OmxGetErrorNumber(void);
/*
 * Stores the text for errnum (-1: the current errno) into buffer, cut to
 * size - 1 characters, and returns the number of characters stored.
 * A NULL buffer or a size below 1 stores nothing and returns 0.
 */
OMX_API int OmxGetErrorText(int errnum, char *buffer, int size);

OMX_END_DECLS

#endif
