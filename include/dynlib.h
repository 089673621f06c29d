/*
 * Shared libraries opened by path into a small handle record.
 *
 * Results are 0 (success), DYNLIB_ERR_OPEN (the library could not be opened)
 * and DYNLIB_ERR_SYMBOL (the symbol was not found). Libraries are never
 * closed: releasing a record leaves the library and its symbols in place.
 */
#ifndef DYNLIB_H
#define DYNLIB_H

#include "omx_export.h"

#define DYNLIB_ERR_OPEN 4
#define DYNLIB_ERR_SYMBOL 8
#define DYNLIB_PATH_SIZE 256

typedef struct DynLibHandle {
    void *handle;
    char path[DYNLIB_PATH_SIZE];
} DynLibHandle;

OMX_BEGIN_DECLS

/*
 * Opens path with RTLD_NOW | RTLD_LOCAL. On success *lib is a new record
 * owned by the caller, whose path field holds the first 255 characters of
 * path; otherwise *lib is NULL and 4 is returned. A NULL or empty path (which
 * would name the main program) is refused with 4 before anything is opened.
 */
OMX_API int LoadDynLib(const char *path, DynLibHandle **lib);
/* *address is the symbol's address (0) or NULL (8); unused is ignored. A NULL
 * lib or symbol is refused with 8. */
OMX_API int LoadProc(DynLibHandle *lib, const char *unused, const char *symbol, void **address);
OMX_API void UnloadDynLib(DynLibHandle *lib);
OMX_API void ReleaseDynLibHandle(DynLibHandle *lib);
/*
 * Takes (and clears) the calling thread's pending error, or "Unknown error.",
 * cut to size - 1 characters: the text of the last failed LoadDynLib or
 * LoadProc, be it the linker's or that of a refusal. Returns buffer; a NULL
 * buffer or a size below 1 stores nothing.
 */
OMX_API char *GetDynLoadError(char *buffer, int size);
OMX_API void GetDynLoadErrorV(char *buffer, int size);
/* The pending error in one static buffer shared by all threads, at most 254 characters. */
OMX_API char *GetDLError(void);

OMX_END_DECLS

#endif
