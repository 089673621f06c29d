/* Clock readings for measuring and reporting elapsed times. */
#ifndef VAXOLOCAL_QELCLOCK_H
#define VAXOLOCAL_QELCLOCK_H

#include <stdint.h>

#include "omx_export.h"

/* The distance between two readings, broken down; the parts add up to total. */
typedef struct hrtimediff {
    uint64_t total;  /* nanoseconds, never negative */
    int32_t hours;   /* whole hours, not reduced modulo 24 */
    int32_t minutes; /* 0-59 */
    int32_t seconds; /* 0-59 */
    int32_t msecs;   /* 0-999 */
    int32_t usecs;   /* 0-999 */
    int32_t nsecs;   /* 0-999 */
} hrtimediff;

OMX_BEGIN_DECLS

/* Nanoseconds of a monotonic clock since an arbitrary past point; only differences count. */
OMX_API int64_t fphrtime(void);
/* Milliseconds since 1970-01-01 00:00:00 UTC, following changes of the system time. */
OMX_API int64_t fphrtimms(void);
/* Fills diff with |t2 - t1|, whichever reading is larger; a NULL diff is ignored. */
OMX_API void pphrtimediff(hrtimediff *diff, int64_t t1, int64_t t2);

OMX_END_DECLS

#endif
