// OmxDateDelta against a model of its rules, in UTC and a zone with daylight saving,
// the first weekday set in each form; developer mode reads only /dev/null.
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
static const char *const SETTINGS[] = {NULL, "", "sunday", "7", "12", "tue", "fr", "THU", "6"};
static const int FIRST[] = {1, 1, 0, 0, 1, 2, 1, 4, 6};

// when moved by the rules, as a wide number; false when no year or instant can hold it.
static bool model_move(time_t when, int count, int period, int align, int first, __int128 *moved) {
    struct tm local;
    *moved = when;
    if (period == OMX_PERIOD_DAY)
        return *moved += static_cast<__int128>(count) * 86400, true;
    if (localtime_r(&when, &local) == NULL)
        return false;
    if (period == OMX_PERIOD_WEEK) {
        int back = align == OMX_ALIGN_SAME ? 0 : (local.tm_wday - first + 7) % 7;
        return *moved += (static_cast<__int128>(count) * 7 - back) * 86400, true;
    }
    long long month = local.tm_mon + (period == OMX_PERIOD_MONTH ? count : 0LL);
    long long year = local.tm_year + (period == OMX_PERIOD_YEAR ? count : 0LL);
    year += (month - (month % 12 + 12) % 12) / 12, month = (month % 12 + 12) % 12;
    if (year < INT_MIN || year > INT_MAX)
        return false;
    local.tm_year = static_cast<int>(year), local.tm_mon = static_cast<int>(month);
    const long long y = year + 1900;
    if (align != OMX_ALIGN_SAME)
        local.tm_mday = 1, local.tm_mon *= period == OMX_PERIOD_MONTH || align == OMX_ALIGN_MONTH;
    else if (month == 1 && local.tm_mday == 29 && (y % 4 != 0 || y % 100 == 0) && y % 400 != 0)
        local.tm_mday = 28; // while 30 and 31 February roll over into March
    else if (period == OMX_PERIOD_MONTH && local.tm_mday == 31 &&
             (month == 3 || month == 5 || month == 8 || month == 10))
        local.tm_mday = 30;
    errno = 0;
    *moved = mktime(&local);
    return *moved != -1 || errno != EOVERFLOW;
}

// An unknown period writes nothing; any other failure writes the instant -1.
static void check_date_delta(DeltaCase c) {
    setenv("TZ", ZONES[c.zone % 2], 1);
    tzset();
    const int weekday = c.weekday % 9, period = c.period % 7 - 1, align = c.align % 6 - 1;
    SETTINGS[weekday] ? setenv("QELS_FIRST_WEEKDAY", SETTINGS[weekday], 1)
                      : unsetenv("QELS_FIRST_WEEKDAY");
    const time_t when = c.zone & 2 ? static_cast<time_t>(c.when % (INT64_C(1) << 35)) : c.when;
    const int count = c.zone & 4 ? c.count % 61 : c.count, parts = c.parts;
    const bool known = period >= OMX_PERIOD_DAY && period <= OMX_PERIOD_YEAR;
    __int128 moved;
    const bool ok = known && model_move(when, count, period, align, FIRST[weekday], &moved) &&
                    static_cast<time_t>(moved) == moved;
    const time_t expected = ok ? static_cast<time_t>(moved) : -1;
    struct tm date = {};
    const bool dated = localtime_r(&expected, &date) != NULL;
    const uint32_t packed_expected = static_cast<uint32_t>(
        dated * ((date.tm_year + 1900LL) * 512 + (parts & 2 ? (date.tm_mon + 1) * 32 : 0) +
                 (parts & 4 ? date.tm_mday : 0)));
    time_t new_time = 0x5555;
    uint32_t packed = 0xAAAA;
    FUZZ_CHECK(OmxDateDelta(when, count, period, align, parts, c.outputs & 1 ? &new_time : NULL,
                            c.outputs & 2 ? &packed : NULL) == (ok ? 0 : -1));
    FUZZ_CHECK(new_time == (known && c.outputs & 1 ? expected : 0x5555));
    FUZZ_CHECK(packed == (known && c.outputs & 2 ? packed_expected : 0xAAAAu));
}

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    clearenv();
    return setenv("__KERNEL_DEVELOPER", "/dev/null", 1);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    DeltaCase c = {};
    memcpy(&c, data, size < sizeof c ? size : sizeof c);
    check_date_delta(c);
    return 0;
}
