// The monotonic nanosecond clock, the millisecond time of day, and elapsed-time breakdown.
#include "qelclock.h"

#include <sys/time.h>
#include <time.h>

extern "C" {

int64_t fphrtime(void) {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t fphrtimms(void) {
    struct timeval now;
    gettimeofday(&now, NULL);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_usec / 1000;
}

void pphrtimediff(hrtimediff *diff, int64_t t1, int64_t t2) {
    if (diff == NULL)
        return;
    // Unsigned subtraction: readings at opposite ends of the range are
    // further apart than a signed 64-bit value can hold.
    uint64_t d = t2 > t1 ? static_cast<uint64_t>(t2) - static_cast<uint64_t>(t1)
                         : static_cast<uint64_t>(t1) - static_cast<uint64_t>(t2);
    uint64_t u = d / 1000;
    uint64_t m = u / 1000;
    uint64_t s = d / 1000000000;
    uint64_t n = s / 60;
    uint64_t h = s / 3600;
    diff->total = d;
    diff->hours = static_cast<int32_t>(h);
    diff->minutes = static_cast<int32_t>(n - 60 * h);
    diff->seconds = static_cast<int32_t>(s - 60 * n);
    diff->msecs = static_cast<int32_t>(m - 1000 * s);
    diff->usecs = static_cast<int32_t>(u - 1000 * m);
    diff->nsecs = static_cast<int32_t>(d - 1000 * u);
}

} // extern "C"
