// OmxDateDelta in UTC and in a zone with daylight saving. The first weekday
// comes from the environment, which the configuration consults first; the
// configuration itself is one empty developer file, so nothing else is read.
#include <gtest/gtest.h>

#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include "omx_datedelta.h"

namespace {

class DateDelta : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        static char developer_file[] = "/tmp/vaxo-date-XXXXXX";
        int fd = mkstemp(developer_file);
        ASSERT_GE(fd, 0);
        close(fd);
        setenv("__KERNEL_DEVELOPER", developer_file, 1);
        setenv("__QELSCONF_NOENV", "", 1);
        path = developer_file;
    }
    static void TearDownTestSuite() {
        unlink(path);
    }
    void SetUp() override {
        zone("UTC0");
        unsetenv("QELS_FIRST_WEEKDAY");
    }
    static void zone(const char *tz) {
        setenv("TZ", tz, 1);
        tzset();
    }
    // A local time; -1 for isdst lets the zone decide.
    static time_t at(int year, int month, int day, int hour = 10, int minute = 30) {
        struct tm t = {};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_isdst = -1;
        return mktime(&t);
    }
    static std::string show(time_t when) {
        struct tm t;
        char text[64];
        localtime_r(&when, &t);
        strftime(text, sizeof text, "%Y-%m-%d %H:%M %a", &t);
        return text;
    }
    static std::string moved(time_t when, int count, int period, int align) {
        time_t result = 0;
        EXPECT_EQ(OmxDateDelta(when, count, period, align, 0, &result, nullptr), 0);
        return show(result);
    }
    static const char *path;
};
const char *DateDelta::path = nullptr;

TEST_F(DateDelta, DaysAreWholeMultiplesOf86400) {
    time_t when = at(2024, 3, 13);
    for (int align : {0, 1, 3}) {
        time_t result = 0;
        EXPECT_EQ(OmxDateDelta(when, -1, 1, align, 0, &result, nullptr), 0);
        EXPECT_EQ(result, when - 86400);
    }
    EXPECT_EQ(moved(when, 30, 1, 0), "2024-04-12 10:30 Fri");
}

TEST_F(DateDelta, WeeksSnapToTheFirstWeekday) {
    time_t wednesday = at(2024, 3, 13), sunday = at(2024, 3, 17);
    EXPECT_EQ(moved(wednesday, 0, 2, 0), "2024-03-11 10:30 Mon");
    EXPECT_EQ(moved(sunday, 0, 2, 0), "2024-03-11 10:30 Mon");
    EXPECT_EQ(moved(wednesday, 0, 2, 1), "2024-03-13 10:30 Wed");
    EXPECT_EQ(moved(wednesday, 2, 2, 1), "2024-03-27 10:30 Wed");
    EXPECT_EQ(moved(wednesday, -1, 2, 3), "2024-03-04 10:30 Mon");
}

TEST_F(DateDelta, TheFirstWeekdaySettingInAllItsForms) {
    struct Case {
        const char *setting;
        const char *start;
    } cases[] = {{"sunday", "2024-03-10 10:30 Sun"},    {"SUN", "2024-03-10 10:30 Sun"},
                 {"Sunday", "2024-03-10 10:30 Sun"},    {"0", "2024-03-10 10:30 Sun"},
                 {"7", "2024-03-10 10:30 Sun"},         {"8", "2024-03-10 10:30 Sun"},
                 {"12", "2024-03-11 10:30 Mon"},        {"Xyz", "2024-03-11 10:30 Mon"},
                 {"", "2024-03-11 10:30 Mon"},          {"tue", "2024-03-12 10:30 Tue"},
                 {"WEDNESDAY", "2024-03-13 10:30 Wed"}, {"6", "2024-03-09 10:30 Sat"},
                 {"fr", "2024-03-11 10:30 Mon"},        {"thu", "2024-03-07 10:30 Thu"}};
    for (const Case &c : cases) {
        setenv("QELS_FIRST_WEEKDAY", c.setting, 1);
        EXPECT_EQ(moved(at(2024, 3, 13), 0, 2, 0), c.start) << '"' << c.setting << '"';
    }
}

TEST_F(DateDelta, MonthsKeepOrClampTheDay) {
    EXPECT_EQ(moved(at(2024, 3, 31), 1, 3, 1), "2024-04-30 10:30 Tue");
    EXPECT_EQ(moved(at(2023, 1, 29), 1, 3, 1), "2023-02-28 10:30 Tue");
    EXPECT_EQ(moved(at(2024, 1, 29), 1, 3, 1), "2024-02-29 10:30 Thu");
    EXPECT_EQ(moved(at(2023, 1, 31), 1, 3, 1), "2023-03-03 10:30 Fri"); // 31 February rolls over
    EXPECT_EQ(moved(at(2024, 1, 31), 1, 3, 1), "2024-03-02 10:30 Sat");
    EXPECT_EQ(moved(at(2024, 8, 31), 1, 3, 1), "2024-09-30 10:30 Mon");
    EXPECT_EQ(moved(at(2024, 1, 15), -1, 3, 1), "2023-12-15 10:30 Fri");
    EXPECT_EQ(moved(at(2023, 11, 15), 13, 3, 1), "2024-12-15 10:30 Sun");
    EXPECT_EQ(moved(at(2024, 1, 15), -25, 3, 1), "2021-12-15 10:30 Wed");
    EXPECT_EQ(moved(at(2024, 1, 15), -12, 3, 1), "2023-01-15 10:30 Sun");
    EXPECT_EQ(moved(at(2024, 3, 31), 1, 3, 0), "2024-04-01 10:30 Mon");
    EXPECT_EQ(moved(at(2024, 3, 31), -2, 3, 3), "2024-01-01 10:30 Mon");
}

TEST_F(DateDelta, YearsAndTheTwentyNinthOfFebruary) {
    time_t leap_day = at(2024, 2, 29);
    EXPECT_EQ(moved(leap_day, 1, 4, 1), "2025-02-28 10:30 Fri");
    EXPECT_EQ(moved(leap_day, 4, 4, 1), "2028-02-29 10:30 Tue");
    if (sizeof(time_t) > 4) { // a 32-bit time_t ends in January 2038
        EXPECT_EQ(moved(at(2096, 2, 29), 4, 4, 1), "2100-02-28 10:30 Sun");
    }
    EXPECT_EQ(moved(at(1996, 2, 29), 4, 4, 1), "2000-02-29 10:30 Tue");
    EXPECT_EQ(moved(at(2024, 7, 20), -3, 4, 3), "2021-07-01 10:30 Thu");
    EXPECT_EQ(moved(at(2024, 7, 20), 1, 4, 0), "2025-01-01 10:30 Wed");
}

TEST_F(DateDelta, PackedDate) {
    time_t when = at(2024, 3, 15);
    struct {
        int parts;
        uint32_t packed;
    } cases[] = {{6, 2024 * 512 + 3 * 32 + 15},
                 {2, 2024 * 512 + 3 * 32},
                 {0, 2024 * 512},
                 {4 | 8, 2024 * 512 + 15},
                 {1, 2024 * 512}};
    for (auto c : cases) {
        uint32_t packed = 0;
        EXPECT_EQ(OmxDateDelta(when, 0, 1, 0, c.parts, nullptr, &packed), 0);
        EXPECT_EQ(packed, c.packed) << c.parts;
    }
}

TEST_F(DateDelta, RejectedCallsWriteNothing) {
    for (int period : {0, 5, -1}) {
        time_t result = 12345;
        uint32_t packed = 678;
        EXPECT_EQ(OmxDateDelta(at(2024, 3, 15), 1, period, 0, 6, &result, &packed), -1);
        EXPECT_EQ(result, 12345);
        EXPECT_EQ(packed, 678u);
    }
    EXPECT_EQ(OmxDateDelta(at(2024, 3, 15), 1, 3, 0, 6, nullptr, nullptr), 0);
}

TEST_F(DateDelta, MovesBeyondTheTypesGiveMinusOneInEveryOutput) {
    time_t last =
        sizeof(time_t) == 8 ? static_cast<time_t>(LLONG_MAX) : static_cast<time_t>(INT_MAX);
    // Where time_t has 32 bits, dates from 2038 on are beyond it too.
    const bool wide = sizeof(time_t) > 4;
    uint32_t packed_minus_one = 1969 * 512 + 12 * 32 + 31; // 1969-12-31 23:59:59 UTC
    struct {
        time_t when;
        int count, period;
        bool fits;
    } cases[] = {{last - 10, 1, 1, false},           {last - 10, 1, 2, false},
                 {last - 10, 1, 3, false},           {at(2024, 3, 15), INT_MAX, 4, false},
                 {at(2024, 3, 15), 15, 4, wide},     {at(2024, 3, 15), 20 * 12, 3, wide},
                 {at(2024, 3, 15), INT_MIN, 3, wide}};
    for (const auto &c : cases) {
        SCOPED_TRACE(::testing::Message() << c.count << " of period " << c.period);
        time_t result = 12345;
        uint32_t packed = 678;
        EXPECT_EQ(OmxDateDelta(c.when, c.count, c.period, 1, 6, &result, &packed), c.fits ? 0 : -1);
        if (!c.fits) {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(packed, packed_minus_one);
        }
    }
    if (wide) {
        EXPECT_EQ(moved(at(2024, 3, 15), 20 * 12, 3, 1), "2044-03-15 10:30 Tue");
    }

    // The second before 1970 is an instant like any other, though mktime answers it with -1.
    time_t result = 0, year_before = -1 - 365 * 86400;
    EXPECT_EQ(OmxDateDelta(year_before, 1, 4, 1, 0, &result, nullptr), 0);
    EXPECT_EQ(result, -1);
}

TEST_F(DateDelta, DaylightSavingIsNotCompensated) {
    zone("EST5EDT,M3.2.0,M11.1.0"); // summer time from 10 March 2024 02:00
    EXPECT_EQ(moved(at(2024, 3, 9, 12, 0), 1, 1, 0), "2024-03-10 13:00 Sun");
    EXPECT_EQ(moved(at(2024, 3, 9, 12, 0), 1, 2, 1), "2024-03-16 13:00 Sat");
    // Months and years keep the winter flag of when, so the clock shows the shift.
    EXPECT_EQ(moved(at(2024, 2, 15, 10, 0), 1, 3, 1), "2024-03-15 11:00 Fri");
    EXPECT_EQ(moved(at(2024, 7, 15, 10, 0), 6, 3, 1), "2025-01-15 09:00 Wed");
    EXPECT_EQ(moved(at(2023, 12, 1, 10, 0), 1, 4, 3), "2024-12-01 10:00 Sun");
}

} // namespace
