#include <gtest/gtest.h>

#include <string.h>
#include <sys/time.h>

#include "qelclock.h"

TEST(QelClock, ReadsNanosecondsSinceBootAndMillisecondsOfTheDay) {
    int64_t boot[3], day[3]; // before, reading, after
    for (int i = 0; i < 3; i++) {
        struct timespec at;
        struct timeval now;
        clock_gettime(CLOCK_MONOTONIC, &at), gettimeofday(&now, nullptr);
        boot[i] = i == 1 ? fphrtime() : at.tv_sec * INT64_C(1000000000) + at.tv_nsec;
        day[i] = i == 1 ? fphrtimms() : now.tv_sec * INT64_C(1000) + now.tv_usec / 1000;
    }
    EXPECT_TRUE(boot[0] <= boot[1] && boot[1] <= boot[2] && day[0] <= day[1] && day[1] <= day[2]);
}

TEST(QelClock, BreaksADistanceDownInEitherOrder) { // hours are not reduced to days
    const int64_t span = INT64_C(3723004005006), hours50 = INT64_C(183599999999999);
    const std::tuple<int64_t, int64_t, hrtimediff> rows[] = {
        {0, span, {3723004005006u, 1, 2, 3, 4, 5, 6}},
        {-1000, -1000 - span, {3723004005006u, 1, 2, 3, 4, 5, 6}},
        {42, 42, {0, 0, 0, 0, 0, 0, 0}},
        {-5, 5, {10, 0, 0, 0, 0, 0, 10}},
        {0, hours50, {183599999999999u, 50, 59, 59, 999, 999, 999}},
        {INT64_MAX, INT64_MIN, {UINT64_MAX, 5124095, 34, 33, 709, 551, 615}}};
    for (const auto &[t1, t2, expected] : rows) {
        hrtimediff diff;
        pphrtimediff(&diff, t1, t2);
        EXPECT_EQ(memcmp(&diff, &expected, sizeof diff), 0) << t1 << " to " << t2;
    }
    pphrtimediff(nullptr, 0, 1); // ignored
}
