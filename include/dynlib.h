/*
 * Shared libraries opened by path into a small handle record.
 *
 * Results are 0 (success), DYNLIB_ERR_OPEN (the library could not be opened)
 * and DYNLIB_ERR_SYMBOL (the symbol was not found). A record belongs to the
 * caller from LoadDynLib() until it is passed to UnloadDynLib() or
 * ReleaseDynLibHandle(). Libraries are never closed: releasing a record leaves
 * the library and its symbols in place, and symbol addresses stay valid.
 *
 * A failure leaves its text pending for the calling thread until
 * GetDynLoadError() takes it. Only GetDLError() shares state between threads.
 */
#ifndef VAXOLOCAL_DYNLIB_H
#define VAXOLOCAL_DYNLIB_H

#include "omx_export.h"

#define DYNLIB_ERR_OPEN 4
#define DYNLIB_ERR_SYMBOL 8
#define DYNLIB_PATH_SIZE 256

typedef struct DynLibHandle {
    void *handle;                /* as dlopen() returned it */
    char path[DYNLIB_PATH_SIZE]; /* the path opened, cut to 255 characters */
} DynLibHandle;

OMX_BEGIN_DECLS

/* -- Loading -- */

/*
 * Opens path with RTLD_NOW | RTLD_LOCAL. On success *lib is a new record
 * owned by the caller, whose path field holds the first 255 characters of
 * path; otherwise *lib is NULL and 4 is returned. A NULL or empty path
 * (which would name the main program) is refused with 4 before anything is
 * opened; a NULL lib returns 4 with no text of its own pending.
 */
OMX_API int LoadDynLib(const char *path, DynLibHandle **lib);
/*
 * *address is the symbol's address (0) or NULL (8); unused is ignored. A NULL
 * lib, symbol or address is refused with 8.
 */
OMX_API int LoadProc(DynLibHandle *lib, const char *unused, const char *symbol, void **address);

/* -- Releasing a record -- */

/*
 * Frees the record; NULL does nothing. The library stays loaded, so addresses
 * from LoadProc() stay callable. ReleaseDynLibHandle() is the same function
 * under a second name; either may release any record.
 */
OMX_API void UnloadDynLib(DynLibHandle *lib);
OMX_API void ReleaseDynLibHandle(DynLibHandle *lib);

/* -- Error text -- */

/*
 * Takes (and clears) the calling thread's pending error, or "Unknown error.",
 * cut to size - 1 characters: the text of the last failed LoadDynLib or
 * LoadProc, be it the linker's or that of a refusal. Returns buffer; a NULL
 * buffer or a size below 1 stores nothing, but the error is taken all the same.
 */
OMX_API char *GetDynLoadError(char *buffer, int size);
/* GetDynLoadError() without the result. */
OMX_API void GetDynLoadErrorV(char *buffer, int size);
/*
 * The pending error, taken as by GetDynLoadError(), in one static buffer of at
 * most 254 characters shared by all threads: the next call from any thread
 * overwrites it. Threaded callers use GetDynLoadError().
 */
OMX_API char *GetDLError(void);

OMX_END_DECLS

#endif
