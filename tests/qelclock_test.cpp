#include <gtest/gtest.h>

#include "qelclock.h"

static int64_t nanoseconds(clockid_t clock) {
    struct timespec at;
    clock_gettime(clock, &at);
    return at.tv_sec * INT64_C(1000000000) + at.tv_nsec;
}

TEST(QelClock, ReadsNanosecondsSinceBootAndMillisecondsOfTheDay) {
    const int64_t boot = nanoseconds(CLOCK_MONOTONIC), day = nanoseconds(CLOCK_REALTIME) / 1000000;
    const int64_t boot_read = fphrtime(), day_read = fphrtimms();
    EXPECT_TRUE(boot <= boot_read && boot_read <= nanoseconds(CLOCK_MONOTONIC));
    EXPECT_TRUE(day <= day_read && day_read <= nanoseconds(CLOCK_REALTIME) / 1000000);
    // a distance in either order, across the whole range; hours are not reduced to days
    const std::tuple<int64_t, int64_t, hrtimediff> rows[] = {
        {0, INT64_C(3723004005006), {3723004005006u, 1, 2, 3, 4, 5, 6}},
        {5, 2, {3u, 0, 0, 0, 0, 0, 3}},
        {INT64_MAX, INT64_MIN, {UINT64_MAX, 5124095, 34, 33, 709, 551, 615}}};
    for (const auto &[t1, t2, expected] : rows) {
        hrtimediff diff;
        pphrtimediff(&diff, t1, t2);
        EXPECT_EQ(memcmp(&diff, &expected, sizeof diff), 0) << t1 << " to " << t2;
    }
    pphrtimediff(nullptr, 0, 1); // ignored
}
