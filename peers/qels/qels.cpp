// Stand-in for the closed kernel library: configuration answers and the version text.
#include "qels.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { SELECTOR_ENVIRONMENT_FIRST = 4 };

// The configuration of the library that loaded this one; absent when a program
// links the kernel library on its own.
extern "C" char *QelsConfQuery(const char *name, int mask) __attribute__((weak));
extern "C" int QelsConfExists(void) __attribute__((weak));

extern "C" const char *QueryRCS(const char *key, int selector) {
    if (key == NULL)
        return NULL;
    // A configuration that cannot be loaded answers "not set": asking it
    // outright would end the whole process in developer mode.
    if (QelsConfQuery != NULL && QelsConfExists != NULL)
        return QelsConfExists() ? QelsConfQuery(key, selector) : NULL;
    return selector & SELECTOR_ENVIRONMENT_FIRST ? getenv(key) : NULL;
}

extern "C" int QelVersion(char *buffer, int *length) {
    if (buffer == NULL || length == NULL || *length < 1)
        return QELS_STATUS_FAILED;
    // The capacity counts bytes the kernel may write, the NUL included.
    snprintf(buffer, static_cast<size_t>(*length), "%s", "vaxolocal " VAXO_VERSION);
    *length = static_cast<int>(strlen(buffer));
    return QELS_STATUS_OK;
}
