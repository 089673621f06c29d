// Shared libraries opened by path into DynLibHandle records; nothing is ever closed.
#include "dynlib.h"

#include <dlfcn.h>
#include <string.h>

#include "omx_memory.h"

static char szDLError[DYNLIB_PATH_SIZE];

extern "C" {

int LoadDynLib(const char *path, DynLibHandle **lib) {
    if (lib == NULL)
        return DYNLIB_ERR_OPEN;
    *lib = NULL;
    // NULL would open the main program; a longer path would not fit the record.
    if (path == NULL || strlen(path) >= DYNLIB_PATH_SIZE)
        return DYNLIB_ERR_OPEN;

    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL)
        return DYNLIB_ERR_OPEN;

    DynLibHandle *record = static_cast<DynLibHandle *>(OmxMemAlloc(sizeof *record));
    if (record == NULL)
        return DYNLIB_ERR_OPEN;
    record->handle = handle;
    memcpy(record->path, path, strlen(path) + 1);
    *lib = record;
    return 0;
}

int LoadProc(DynLibHandle *lib, const char *unused, const char *symbol, void **address) {
    (void)unused;
    if (address == NULL)
        return DYNLIB_ERR_SYMBOL;
    *address = NULL;
    if (lib == NULL || symbol == NULL)
        return DYNLIB_ERR_SYMBOL;
    *address = dlsym(lib->handle, symbol);
    return *address == NULL ? DYNLIB_ERR_SYMBOL : 0;
}

void UnloadDynLib(DynLibHandle *lib) {
    OmxMemFree(lib);
}

void ReleaseDynLibHandle(DynLibHandle *lib) {
    if (lib != NULL)
        OmxMemFree(lib);
}

char *GetDynLoadError(char *buffer, int size) {
    const char *text = dlerror();
    if (text == NULL)
        text = "Unknown error.";
    if (buffer == NULL || size < 1)
        return buffer;
    size_t length = strlen(text);
    if (length > static_cast<size_t>(size) - 1)
        length = static_cast<size_t>(size) - 1;
    memcpy(buffer, text, length);
    buffer[length] = '\0';
    return buffer;
}

void GetDynLoadErrorV(char *buffer, int size) {
    GetDynLoadError(buffer, size);
}

char *GetDLError(void) {
    szDLError[0] = '\0';
    return GetDynLoadError(szDLError, sizeof szDLError - 1);
}

} // extern "C"
