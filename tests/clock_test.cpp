#include <gtest/gtest.h>

#include <dlfcn.h>
#include <stdint.h>
#include <sys/time.h>
#include <time.h>

#include "qelclock.h"

// The time of day, fixed on demand; otherwise the platform's.
namespace {
bool fake_time = false;
struct timeval fake_now;
} // namespace

extern "C" int gettimeofday(struct timeval *tv, void *tz) noexcept {
    if (!fake_time) {
        typedef int (*Real)(struct timeval *, void *);
        return reinterpret_cast<Real>(dlsym(RTLD_NEXT, "gettimeofday"))(tv, tz);
    }
    *tv = fake_now;
    return 0;
}

namespace {

int64_t monotonic_ns() {
    struct timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

TEST(Fphrtime, IsTheMonotonicClockInNanoseconds) {
    int64_t before = monotonic_ns();
    int64_t reading = fphrtime();
    int64_t after = monotonic_ns();
    EXPECT_LE(before, reading);
    EXPECT_LE(reading, after);
    int64_t last = reading;
    for (int i = 0; i < 10000; i++) {
        int64_t next = fphrtime();
        ASSERT_GE(next, last);
        last = next;
    }
}

TEST(Fphrtimms, IsTheTimeOfDayInMillisecondsBeyond32Bits) {
    fake_time = true;
    fake_now.tv_sec = 1700000000;
    fake_now.tv_usec = 999999; // truncated, not rounded
    EXPECT_EQ(fphrtimms(), INT64_C(1700000000999));
    fake_now.tv_usec = 1000;
    EXPECT_EQ(fphrtimms(), INT64_C(1700000000001));
    fake_now.tv_sec = 5;
    fake_now.tv_usec = 999;
    EXPECT_EQ(fphrtimms(), 5000);
    fake_time = false;

    struct timeval before, after;
    gettimeofday(&before, nullptr);
    int64_t reading = fphrtimms();
    gettimeofday(&after, nullptr);
    EXPECT_GT(reading, INT64_C(0xFFFFFFFF));
    EXPECT_LE(static_cast<int64_t>(before.tv_sec) * 1000 + before.tv_usec / 1000, reading);
    EXPECT_LE(reading, static_cast<int64_t>(after.tv_sec) * 1000 + after.tv_usec / 1000);
}

void expect_breakdown(const hrtimediff &d, uint64_t total, int h, int m, int s, int ms, int us,
                      int ns) {
    EXPECT_EQ(d.total, total);
    EXPECT_EQ(d.hours, h);
    EXPECT_EQ(d.minutes, m);
    EXPECT_EQ(d.seconds, s);
    EXPECT_EQ(d.msecs, ms);
    EXPECT_EQ(d.usecs, us);
    EXPECT_EQ(d.nsecs, ns);
}

TEST(Pphrtimediff, BreaksTheDistanceDownInEitherOrder) {
    const int64_t span = ((((INT64_C(1) * 60 + 2) * 60 + 3) * 1000 + 4) * 1000 + 5) * 1000 + 6;
    ASSERT_EQ(span, INT64_C(3723004005006));
    hrtimediff d;
    pphrtimediff(&d, 0, span);
    expect_breakdown(d, 3723004005006u, 1, 2, 3, 4, 5, 6);
    pphrtimediff(&d, span, 0);
    expect_breakdown(d, 3723004005006u, 1, 2, 3, 4, 5, 6);
    pphrtimediff(&d, -1000 - span, -1000);
    expect_breakdown(d, 3723004005006u, 1, 2, 3, 4, 5, 6);

    pphrtimediff(&d, 42, 42);
    expect_breakdown(d, 0, 0, 0, 0, 0, 0, 0);
    // Hours are not reduced to days: 50 h 59 min 59.999999999 s.
    pphrtimediff(&d, 0, INT64_C(50) * 3600000000000 + 3599999999999);
    expect_breakdown(d, 183599999999999u, 50, 59, 59, 999, 999, 999);
    pphrtimediff(nullptr, 0, 1); // ignored
}

TEST(Pphrtimediff, ReadingsAtOppositeEndsOfTheRange) {
    hrtimediff d;
    pphrtimediff(&d, INT64_MIN, INT64_MAX);
    expect_breakdown(d, UINT64_MAX, 5124095, 34, 33, 709, 551, 615);
    pphrtimediff(&d, INT64_MAX, INT64_MIN);
    EXPECT_EQ(d.total, UINT64_MAX);
    pphrtimediff(&d, -5, 5);
    expect_breakdown(d, 10, 0, 0, 0, 0, 0, 10);
}

} // namespace
