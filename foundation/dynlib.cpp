// Shared libraries opened by path into DynLibHandle records; nothing is ever closed.
#include "dynlib.h"

#include <dlfcn.h>
#include <string.h>

#include "omx_memory.h"

static char szDLError[DYNLIB_PATH_SIZE];

static const char MSG_NO_PATH[] = "LoadDynLib: no path given";
static const char MSG_NO_MEMORY[] = "LoadDynLib: out of memory";
static const char MSG_NO_SYMBOL[] = "LoadProc: no library or symbol given";

// A refusal of our own, pending per thread like the linker's text; the latest
// call's failure is what GetDynLoadError reports.
static thread_local const char *tRefusal = NULL;

// Records a refusal in place of any older pending text.
static void __refuse(const char *text) {
    dlerror();
    tRefusal = text;
}

extern "C" {

int LoadDynLib(const char *path, DynLibHandle **lib) {
    tRefusal = NULL;
    if (lib == NULL)
        return DYNLIB_ERR_OPEN;
    *lib = NULL;
    // NULL or "" would open the main program.
    if (path == NULL || path[0] == '\0') {
        __refuse(MSG_NO_PATH);
        return DYNLIB_ERR_OPEN;
    }

    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL)
        return DYNLIB_ERR_OPEN;

    DynLibHandle *record = static_cast<DynLibHandle *>(OmxMemAlloc(sizeof *record));
    if (record == NULL) {
        __refuse(MSG_NO_MEMORY);
        return DYNLIB_ERR_OPEN;
    }
    record->handle = handle;
    // The record keeps a cut copy; the library itself was opened by its full path.
    size_t length = strnlen(path, sizeof record->path - 1);
    memcpy(record->path, path, length);
    record->path[length] = '\0';
    *lib = record;
    return 0;
}

int LoadProc(DynLibHandle *lib, const char *unused, const char *symbol, void **address) {
    (void)unused;
    tRefusal = NULL;
    if (address == NULL || lib == NULL || symbol == NULL) {
        if (address != NULL)
            *address = NULL;
        __refuse(MSG_NO_SYMBOL);
        return DYNLIB_ERR_SYMBOL;
    }
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
    const char *text = tRefusal != NULL ? tRefusal : dlerror();
    tRefusal = NULL;
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
    return GetDynLoadError(szDLError, sizeof szDLError - 1);
}

} // extern "C"
