#include <gtest/gtest.h>

#include <random>

#include "../fuzz/base64_fuzz.cpp" // the model check, here over fixed inputs

static void check(const std::string &bytes, char flags) {
    const std::string input = flags + bytes;
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
}

// Zero groups, stray bytes anywhere, skipped bytes after a block; a disagreement aborts.
TEST(Base64, FollowsTheModelAroundWholeBlocks) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t size : {0, 1, 2, 3, 24, 28, 29, 47, 48, 49, 97, 600})
        check(std::string(size, '\0'), 0), check(std::string(size, 'x'), '\x88');
    std::string text(200, 'A');
    std::mt19937 rng(1987);
    std::generate(text.begin(), text.end(), [&] { return alphabet[rng() % 64]; });
    for (size_t at = 0; at <= text.size(); at++)
        for (char stray : {' ', '\n', '=', '\0', '-', '[', char(at), char(255 - at), text[at % 9]})
            check(text.substr(0, at) + stray + text.substr(at), static_cast<char>(at * 13));
    check(text.substr(0, 32) + std::string(12, ' ') + "TWFu", 0);
}

// Nothing read outside the count or before the text; a size 32 bits cannot encode.
TEST(Base64, StopsAtTheCountAndRefusesWhatCannotBe) {
    unsigned char *bytes = nullptr, small[] = {1, 2, 3};
    char *text = nullptr;
    EXPECT_EQ(OmxBase64Decode("TWFuTWFu", 7, &bytes) + OmxBase64Encode(small, UINT32_MAX, &text),
              5u);
    EXPECT_TRUE(memcmp(bytes, "ManMa", 6) == 0 && text == nullptr);
    OmxMemFree(bytes);
    EXPECT_EQ(OmxBase64Encode(small, 3, nullptr) + OmxBase64Decode("TWFu", 4, nullptr), 0u);
    EXPECT_EQ(OmxBase64Decode(nullptr, 8, &bytes), 0u);
    OmxMemFree(bytes);
    std::string texts(32, 'A'), men;
    for (int i = 0; i < 24; i++)
        texts += "TWFu", men += "Man";
    EXPECT_EQ(OmxBase64Decode(texts.c_str() + 32, 96, &bytes), 72u);
    EXPECT_EQ(memcmp(bytes, men.data(), 72), 0);
    OmxMemFree(bytes);
}
