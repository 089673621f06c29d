// OmxDateDelta against a model of its rules, for any instant, count, period,
// alignment and parts, in UTC and in a zone with daylight saving, with any
// first weekday. The configuration is hermetic: developer mode reads only
// /dev/null, and the first weekday comes from the environment, which a lookup
// asks first. In UTC the results are also checked for what the rules promise
// of the calendar: the time of day kept, and the start of the period reached.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <limits>
#include <string>

#include "fuzz_check.h"
#include "omx_datedelta.h"

namespace {

const char *const ZONES[] = {"UTC0", "EET-2EEST,M3.5.0/3,M10.5.0/4"};

struct Outcome {
    int result;
    bool written; // false: the outputs are left as they were
    time_t when;
    uint32_t packed;
};

bool is_leap(long long year) {
    return year % 400 == 0 || (year % 100 != 0 && year % 4 == 0);
}

// Monday unless the setting names a day by its first digit or first three letters.
int first_weekday(bool set, const std::string &value) {
    static const char names[][4] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    if (!set || value.empty())
        return 1;
    if (value[0] >= '0' && value[0] <= '9')
        return value[0] > '6' ? 0 : value[0] - '0';
    if (value.size() < 3)
        return 1;
    for (int day = 0; day < 7; day++) {
        bool same = true;
        for (int i = 0; i < 3; i++) {
            char c = value[static_cast<size_t>(i)];
            same = same && (c == names[day][i] || c == names[day][i] - 'A' + 'a');
        }
        if (same)
            return day;
    }
    return 1;
}

bool fits(__int128 seconds) {
    return seconds >= std::numeric_limits<time_t>::min() &&
           seconds <= std::numeric_limits<time_t>::max();
}

// The broken-down fields moved by the rules, or false when the year leaves int.
bool move_fields(struct tm *fields, int count, int period, int align) {
    long long month = fields->tm_mon, year = fields->tm_year;
    if (period == OMX_PERIOD_MONTH) {
        month += count;
        long long within = ((month % 12) + 12) % 12;
        year += (month - within) / 12;
        month = within;
    } else {
        year += count;
    }
    if (year < std::numeric_limits<int>::min() || year > std::numeric_limits<int>::max())
        return false;
    fields->tm_year = static_cast<int>(year);
    fields->tm_mon = static_cast<int>(month);
    const bool leap = is_leap(year + 1900);
    if (align == OMX_ALIGN_SAME) {
        if (month == 1 && fields->tm_mday == 29 && !leap)
            fields->tm_mday = 28;
        if (period == OMX_PERIOD_MONTH && fields->tm_mday == 31 &&
            (month == 3 || month == 5 || month == 8 || month == 10))
            fields->tm_mday = 30;
    } else {
        fields->tm_mday = 1;
        if (period == OMX_PERIOD_YEAR && align != OMX_ALIGN_MONTH)
            fields->tm_mon = 0;
    }
    return true;
}

// An unknown period writes nothing; any other failure writes the instant -1.
Outcome model(time_t when, int count, int period, int align, int parts, int first) {
    if (period < OMX_PERIOD_DAY || period > OMX_PERIOD_YEAR)
        return {-1, false, 0, 0};
    __int128 moved = -1;
    struct tm local;
    bool ok = true;
    if (period == OMX_PERIOD_DAY) {
        moved = static_cast<__int128>(when) + static_cast<__int128>(count) * 86400;
    } else if (localtime_r(&when, &local) == NULL) {
        ok = false;
    } else if (period == OMX_PERIOD_WEEK) {
        int offset = align == OMX_ALIGN_SAME ? 0 : (local.tm_wday - first + 7) % 7;
        moved =
            static_cast<__int128>(when) + static_cast<__int128>(count) * 604800 - offset * 86400;
    } else if (move_fields(&local, count, period, align)) {
        moved = mktime(&local);
    } else {
        ok = false;
    }
    ok = ok && fits(moved);

    Outcome outcome = {ok ? 0 : -1, true, ok ? static_cast<time_t>(moved) : -1, 0};
    struct tm date;
    if (localtime_r(&outcome.when, &date) != NULL)
        outcome.packed = static_cast<uint32_t>(static_cast<uint64_t>(date.tm_year + 1900LL) * 512 +
                                               (parts & 2 ? (date.tm_mon + 1) * 32 : 0) +
                                               (parts & 4 ? date.tm_mday : 0));
    return outcome;
}

// In UTC: the time of day stays, and aligned results open their period.
void check_calendar(time_t when, const Outcome &outcome, int period, int align, int first) {
    struct tm before, after;
    if (period == OMX_PERIOD_DAY || localtime_r(&when, &before) == NULL ||
        localtime_r(&outcome.when, &after) == NULL || outcome.when == -1)
        return;
    FUZZ_CHECK(after.tm_hour == before.tm_hour && after.tm_min == before.tm_min &&
               after.tm_sec == before.tm_sec);
    if (align == OMX_ALIGN_SAME)
        return;
    if (period == OMX_PERIOD_WEEK)
        FUZZ_CHECK(after.tm_wday == first);
    else
        FUZZ_CHECK(after.tm_mday == 1);
    if (period == OMX_PERIOD_YEAR && align != OMX_ALIGN_MONTH)
        FUZZ_CHECK(after.tm_mon == 0);
    if (period == OMX_PERIOD_YEAR && align == OMX_ALIGN_MONTH)
        FUZZ_CHECK(after.tm_mon == before.tm_mon);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    clearenv();
    setenv("__KERNEL_DEVELOPER", "/dev/null", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const bool utc = input.ConsumeBool();
    setenv("TZ", ZONES[utc ? 0 : 1], 1);
    tzset();

    const bool weekday_set = input.ConsumeBool();
    const std::string weekday = input.ConsumeRandomLengthString(8).c_str();
    if (weekday_set)
        setenv("QELS_FIRST_WEEKDAY", weekday.c_str(), 1);
    else
        unsetenv("QELS_FIRST_WEEKDAY");

    const time_t when = input.ConsumeBool()
                            ? input.ConsumeIntegral<time_t>()
                            : input.ConsumeIntegralInRange<time_t>(-(1LL << 35), 1LL << 35);
    const int count =
        input.ConsumeBool() ? input.ConsumeIntegral<int>() : input.ConsumeIntegralInRange(-60, 60);
    const int period = input.ConsumeIntegralInRange(-1, 6);
    const int align = input.ConsumeIntegralInRange(-1, 4);
    const int parts = input.ConsumeIntegral<int>();
    const uint8_t outputs = input.ConsumeIntegral<uint8_t>();

    const int first = first_weekday(weekday_set, weekday);
    const Outcome expected = model(when, count, period, align, parts, first);
    const time_t untouched_time = 0x5555;
    const uint32_t untouched_date = 0xAAAAu;
    time_t new_time = untouched_time;
    uint32_t packed = untouched_date;
    int result = OmxDateDelta(when, count, period, align, parts, outputs & 1 ? &new_time : NULL,
                              outputs & 2 ? &packed : NULL);

    FUZZ_CHECK(result == expected.result);
    const bool written = expected.written;
    FUZZ_CHECK(new_time == (written && outputs & 1 ? expected.when : untouched_time));
    FUZZ_CHECK(packed == (written && outputs & 2 ? expected.packed : untouched_date));
    if (result == 0 && utc)
        check_calendar(when, expected, period, align, first);
    return 0;
}
