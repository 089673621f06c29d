#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "../fuzz/strbuf_fuzz.cpp" // the model walk, here over a fixed random stream

TEST(Strbuf, RandomWalksMatchTheModel) { // a disagreement aborts, naming the failed check
    std::independent_bits_engine<std::mt19937, 8, uint8_t> rng(1);
    std::basic_string<uint8_t> bytes(1 << 16, 0);
    for (int walk = 0; walk < 48; walk++, std::generate(bytes.begin(), bytes.end(), std::ref(rng)))
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

// Once wrong: whole blocks, not doubling; an empty text extended as if replaced; an
// insertion as prefix, new text and rest appended to the emptied text; signed bytes.
TEST(Strbuf, KeepsCapacitiesSignsAndTextOnBadArguments) {
    const int rows[][4] = {{16, 20, 99, 48}, {0, 15, 99, 16}, {10, 21, 5, 32}};
    for (const auto &[length, added, pos, capacity] : rows) {
        strbuf *sb = strbuf_create(16, std::string(length, 'i').c_str());
        strbuf_insert(sb, std::string(added, 'x').c_str(), -1, pos);
        EXPECT_EQ(sb->capacity, capacity) << length << " + " << added;
        strbuf_destroy(sb);
    }
    EXPECT_EQ(strbuf_create(0, "x"), nullptr); // would divide by zero when growing
    strbuf *sb = strbuf_create(8, "\x80\xff");
    EXPECT_EQ(strbuf_getat(sb, 0) + strbuf_getat(sb, 1) + strbuf_getat(sb, 2), -129);
    strbuf_set_str(sb, "Kept", -1);
    EXPECT_EQ(strbuf_reserve(sb, 0x7fffffff), -1);            // more than an int capacity holds
    EXPECT_LT(strbuf_append_format(sb, "%ls", L"\x20AC"), 0); // no form in the C locale
    strbuf_releaseBuffer(sb, 1, 0);                           // nothing lent
    EXPECT_EQ(strbuf_compareNoCase(sb, "kEPT"), 0);
    EXPECT_TRUE(strbuf_compareNoCase(sb, NULL) > 0 && strbuf_compareNoCase(NULL, "a") < 0);
    strbuf_clear(sb);
    EXPECT_EQ(sb->length + sb->capacity, 8);
    EXPECT_EQ(strbuf_format(sb, "%16384s", "") - strbuf_length(sb), 1); // a byte short of its room
    strbuf_destroy(sb);
    EXPECT_EQ(strbuf_format(0, "x") + strbuf_append_format(0, "x") + strbuf_reserve(0, 1), -3);
    EXPECT_EQ(strbuf_length(0) + strbuf_ltrunc(0, 3) + strbuf_getat(0, 0) +
                  strbuf_endswith(0, "", 0, 0),
              0);
    strbuf_destroy(NULL);
}
