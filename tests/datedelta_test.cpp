#include <gtest/gtest.h>

#include "../fuzz/datedelta_fuzz.cpp" // the model check, here over fixed cases

TEST(DateDelta, FollowsTheModel) { // a disagreement aborts, naming the failed check
    LLVMFuzzerInitialize(nullptr, nullptr);
    for (int64_t when : std::initializer_list<int64_t>{
             1710325800, 1711881000, 1709202600, 1674988200, 1675161000, 1725100200, 3981349800,
             825589800, 1721471400, 1711794600, -1 - 365 * 86400, INT64_MAX - 10})
        for (int32_t count : {0, 1, -1, 2, 4, 13, -25, 240, INT32_MAX, INT32_MIN})
            for (uint8_t zone : {0, 1})
                for (uint8_t period = 0; period < 7; period++)
                    for (uint8_t align = 0; align < 6; align++)
                        for (uint8_t weekday = 0; weekday < 9; weekday++)
                            check_date_delta(
                                {when, count, weekday, zone, weekday, period, align, align});
}
