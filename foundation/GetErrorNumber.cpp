// OmxGetErrorNumber: the calling thread's errno.
#include "omx_error.h"

#include <errno.h>

extern "C" int OmxGetErrorNumber(void) {
    return errno;
}
