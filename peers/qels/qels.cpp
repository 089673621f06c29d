// Stand-in for the closed kernel library: configuration answers and the version text.
#include "qels.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { SELECTOR_ENVIRONMENT_FIRST = 4 };

extern "C" const char *QueryRCS(const char *key, int selector) {
    if (key == NULL || !(selector & SELECTOR_ENVIRONMENT_FIRST))
        return NULL;
    return getenv(key);
}

extern "C" int QelVersion(char *buffer, int *length) {
    if (buffer == NULL || length == NULL || *length < 1)
        return QELS_STATUS_FAILED;
    // The capacity counts bytes the kernel may write, the NUL included.
    snprintf(buffer, static_cast<size_t>(*length), "%s", "vaxolocal " VAXO_VERSION);
    *length = static_cast<int>(strlen(buffer));
    return QELS_STATUS_OK;
}
