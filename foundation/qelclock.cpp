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
    uint64_t nanoseconds = t2 > t1 ? static_cast<uint64_t>(t2) - static_cast<uint64_t>(t1)
                                   : static_cast<uint64_t>(t1) - static_cast<uint64_t>(t2);
    uint64_t microseconds = nanoseconds / 1000;
    uint64_t milliseconds = microseconds / 1000;
    uint64_t seconds = nanoseconds / 1000000000;
    uint64_t minutes = seconds / 60;
    uint64_t hours = seconds / 3600;
    diff->total = nanoseconds;
    diff->hours = static_cast<int32_t>(hours);
    diff->minutes = static_cast<int32_t>(minutes - 60 * hours);
    diff->seconds = static_cast<int32_t>(seconds - 60 * minutes);
    diff->msecs = static_cast<int32_t>(milliseconds - 1000 * seconds);
    diff->usecs = static_cast<int32_t>(microseconds - 1000 * milliseconds);
    diff->nsecs = static_cast<int32_t>(nanoseconds - 1000 * microseconds);
}

} // extern "C"
