// OmxDateDelta against a model of its rules in UTC and a zone with summer time.
#include <errno.h>
#include <limits.h>
#include <string.h>

#include "fuzz_check.h"
#include "omx_datedelta.h"

struct DeltaCase {
    int64_t when;
    int32_t count, parts;
    uint8_t zone, weekday, period, align, outputs; // each taken modulo its choices
};

static const char *const ZONES[] = {"UTC0", "EET-2EEST,M3.5.0/3,M10.5.0/4"};
// Settings of the first weekday (NULL: unset), and the day each names: 0 Sunday.
static const char *const SETTINGS[] = {NULL, "", "sunday", "7", "02", "tue", "fr", "THU", "6"};
static const int FIRST[] = {1, 1, 0, 0, 0, 2, 1, 4, 6};

// when moved by the rules; false when no year or 64-bit instant can hold it.
static bool model_move(time_t when, int count, int period, int align, int first, long long *moved) {
    struct tm local = {};
    if (*moved = when, period != OMX_PERIOD_DAY && localtime_r(&when, &local) == NULL)
        return false;
    const bool snap = period == OMX_PERIOD_WEEK && align != OMX_ALIGN_SAME;
    if (period <= OMX_PERIOD_WEEK) // by days, weeks snapped back to the first weekday
        return !__builtin_add_overflow(*moved,
                                       (count * (period == OMX_PERIOD_WEEK ? 7LL : 1LL) -
                                        (snap ? (local.tm_wday - first + 7) % 7 : 0)) *
                                           86400,
                                       moved);
    // Months counted from year 1900 - 2^40, so that plain division floors.
    const long long months = (local.tm_year + (1LL << 40)) * 12 + local.tm_mon +
                             count * (period == OMX_PERIOD_MONTH ? 1LL : 12LL);
    const long long year = months / 12 - (1LL << 40), month = months % 12, y = year + 1900;
    if (year < INT_MIN || year > INT_MAX)
        return false;
    local.tm_year = static_cast<int>(year), local.tm_mon = static_cast<int>(month);
    if (align != OMX_ALIGN_SAME)
        local.tm_mday = 1, local.tm_mon *= period == OMX_PERIOD_MONTH || align == OMX_ALIGN_MONTH;
    else if (month == 1 && local.tm_mday == 29 && y % (y % 100 != 0 ? 4 : 400) != 0)
        local.tm_mday = 28; // while 30 and 31 February roll over into March
    else if (period == OMX_PERIOD_MONTH && local.tm_mday == 31 &&
             (month == 3 || month == 5 || month == 8 || month == 10))
        local.tm_mday = 30;
    errno = 0;
    return (*moved = mktime(&local)) != -1 || errno != EOVERFLOW;
}

// An unknown period writes nothing; any other failure writes the instant -1.
static void check_date_delta(DeltaCase c) {
    setenv("TZ", ZONES[c.zone % 2], 1), tzset();
    const int weekday = c.weekday % 9, period = c.period % 7 - 1, align = c.align % 6 - 1;
    SETTINGS[weekday] ? setenv("QELS_FIRST_WEEKDAY", SETTINGS[weekday], 1)
                      : unsetenv("QELS_FIRST_WEEKDAY");
    const bool known = period >= OMX_PERIOD_DAY && period <= OMX_PERIOD_YEAR;
    long long moved;
    const bool ok = known && model_move(c.when, c.count, period, align, FIRST[weekday], &moved) &&
                    static_cast<time_t>(moved) == moved;
    const time_t expected = ok ? static_cast<time_t>(moved) : -1;
    struct tm date = {};
    const uint32_t packed_expected = static_cast<uint32_t>(
        (localtime_r(&expected, &date) != NULL) *
        ((date.tm_year + 1900LL) * 512 + (c.parts & 2 ? (date.tm_mon + 1) * 32 : 0) +
         (c.parts & 4 ? date.tm_mday : 0)));
    time_t new_time = 0x5555;
    uint32_t packed = 0xAAAA;
    FUZZ_CHECK(OmxDateDelta(c.when, c.count, period, align, c.parts,
                            c.outputs & 1 ? &new_time : NULL,
                            c.outputs & 2 ? &packed : NULL) == (ok ? 0 : -1));
    FUZZ_CHECK(new_time == (known && c.outputs & 1 ? expected : 0x5555));
    FUZZ_CHECK(packed == (known && c.outputs & 2 ? packed_expected : 0xAAAAu));
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) { // developer mode reads only /dev/null
    return clearenv() + setenv("__KERNEL_DEVELOPER", "/dev/null", 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    DeltaCase c = {};
    return memcpy(&c, data, size < sizeof c ? size : sizeof c), check_date_delta(c), 0;
}
