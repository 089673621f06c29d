// OmxDateDelta: calendar steps in the process's local time zone.
#include "omx_datedelta.h"

#include "omx_compare.h"
#include "qelsconf.h"

enum { SECONDS_PER_DAY = 86400, DAYS_PER_WEEK = 7, MONDAY = 1 };

static bool __is_leap(long long year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// QELS_FIRST_WEEKDAY as a weekday number, 0 Sunday to 6 Saturday; -1 when no
// configuration could be loaded to tell.
static int __first_weekday(void) {
    static const char *const names[] = {"SUN", "MON", "TUE", "WED", "THU", "FRI", "SAT"};
    const char *value = QelsConfQuery("QELS_FIRST_WEEKDAY", QELSCONF_ALL_LEVELS);
    if (value == NULL) {
        // No answer and no configuration means memory ran out loading it: not Monday, unknown.
        if (!QelsConfExists())
            return -1;
        // QelsConfExists may have loaded it now.
        value = QelsConfQuery("QELS_FIRST_WEEKDAY", QELSCONF_ALL_LEVELS);
    }
    if (value == NULL)
        return MONDAY;
    if (value[0] >= '0' && value[0] <= '9')
        return value[0] <= '6' ? value[0] - '0' : 0;
    for (int day = 0; day < DAYS_PER_WEEK; day++)
        if (OmxStrLenNoCaseEquals(value, names[day], 3))
            return day;
    return MONDAY;
}

// when + days * 86400, or false when time_t cannot hold it.
static bool __add_days(time_t when, long long days, time_t *result) {
    long long delta;
    return !__builtin_mul_overflow(days, static_cast<long long>(SECONDS_PER_DAY), &delta) &&
           !__builtin_add_overflow(when, delta, result);
}

// Weeks from when, snapped back to the weekday first unless align keeps when's own.
static bool __add_weeks(time_t when, const struct tm &local, int count, int align, int first,
                        time_t *result) {
    long long days = static_cast<long long>(count) * DAYS_PER_WEEK;
    if (align != OMX_ALIGN_SAME) {
        int offset = local.tm_wday - first;
        days -= offset < 0 ? offset + DAYS_PER_WEEK : offset;
    }
    return __add_days(when, days, result);
}

// The broken-down fields moved by months or years; false when the year overflows.
static bool __move_fields(struct tm *fields, int count, int period, int align) {
    if (period == OMX_PERIOD_MONTH) {
        long long month = static_cast<long long>(fields->tm_mon) + count;
        long long years = month >= 0 ? month / 12 : -((11 - month) / 12);
        if (__builtin_add_overflow(fields->tm_year, years, &fields->tm_year))
            return false;
        fields->tm_mon = static_cast<int>(month - years * 12);
        long long year = static_cast<long long>(fields->tm_year) + 1900;
        if (align != OMX_ALIGN_SAME)
            fields->tm_mday = 1;
        else if (fields->tm_mon == 1 && fields->tm_mday == 29 && !__is_leap(year))
            fields->tm_mday = 28; // 30 and 31 February deliberately roll over into March
        else if (fields->tm_mday == 31 && (fields->tm_mon == 3 || fields->tm_mon == 5 ||
                                           fields->tm_mon == 8 || fields->tm_mon == 10))
            fields->tm_mday = 30;
        return true;
    }
    if (__builtin_add_overflow(fields->tm_year, count, &fields->tm_year))
        return false;
    long long year = static_cast<long long>(fields->tm_year) + 1900;
    if (align == OMX_ALIGN_SAME) {
        if (fields->tm_mon == 1 && fields->tm_mday == 29 && !__is_leap(year))
            fields->tm_mday = 28;
    } else {
        fields->tm_mday = 1;
        if (align != OMX_ALIGN_MONTH)
            fields->tm_mon = 0;
    }
    return true;
}

// mktime of the moved fields, or false when time_t cannot hold the date.
static bool __make_time(struct tm *fields, time_t *result) {
    // mktime leaves tm_wday alone only when it fails, as with a 32-bit time_t
    // beyond 2038; -1 alone is a valid instant.
    fields->tm_wday = -1;
    *result = mktime(fields); // tm_isdst as it was for when, by design
    return fields->tm_wday != -1;
}

extern "C" int OmxDateDelta(time_t when, int count, int period, int align, int parts,
                            time_t *newTime, uint32_t *packedDate) {
    if (period < OMX_PERIOD_DAY || period > OMX_PERIOD_YEAR)
        return -1;
    int first = MONDAY;
    // Out of memory before the configuration could tell: no result to give.
    if (period == OMX_PERIOD_WEEK && align != OMX_ALIGN_SAME && (first = __first_weekday()) < 0)
        return -1;
    time_t result;
    struct tm local;
    bool moved;
    if (period == OMX_PERIOD_DAY)
        moved = __add_days(when, count, &result);
    else if (localtime_r(&when, &local) == NULL)
        moved = false;
    else if (period == OMX_PERIOD_WEEK)
        moved = __add_weeks(when, local, count, align, first, &result);
    else
        moved = __move_fields(&local, count, period, align) && __make_time(&local, &result);
    // A caller that does not check the result still reads a defined instant, not an unset one.
    if (!moved)
        result = static_cast<time_t>(-1);

    if (newTime != NULL)
        *newTime = result;
    if (packedDate != NULL) {
        struct tm date;
        uint32_t packed = 0;
        if (localtime_r(&result, &date) != NULL) {
            packed = static_cast<uint32_t>(date.tm_year + 1900LL) * 512u;
            if (parts & OMX_DATE_MONTH)
                packed += static_cast<uint32_t>(date.tm_mon + 1) * 32u;
            if (parts & OMX_DATE_DAY)
                packed += static_cast<uint32_t>(date.tm_mday);
        }
        *packedDate = packed;
    }
    return moved ? 0 : -1;
}
