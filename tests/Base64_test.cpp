#include <gtest/gtest.h>

#include <random>

#include <sys/mman.h>

#include "../fuzz/base64_fuzz.cpp" // the model check, here over fixed inputs

static void check(const std::string &bytes, char flags) {
    const std::string input = flags + bytes;
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(input.data()), input.size());
}

// Zero groups, stray bytes anywhere, skipped bytes after a block; a disagreement aborts.
TEST(Base64, FollowsTheModelAroundWholeBlocks) {
    for (size_t size : {0, 1, 2, 3, 24, 28, 29, 47, 48, 49, 97, 600})
        check(std::string(size, '\0'), 0), check(std::string(size, 'x'), '\x88');
    std::string text(200, 'A');
    std::mt19937 rng(1987);
    std::generate(text.begin(), text.end(), [&] { return kAlphabet[rng() % 64]; });
    for (size_t at = 0; at <= text.size(); at++)
        for (char stray : {' ', '\n', '=', '\0', '-', '[', char(at), char(255 - at), text[at % 9]})
            check(text.substr(0, at) + stray + text.substr(at), static_cast<char>(at * 13));
    check(text.substr(0, 32) + std::string(12, ' ') + "TWFu", 0);
    for (size_t at : {2047, 2048, 4095, 4096, 4097, 6144, 8193}) // a stop in a later stretch
        for (char stop : {'=', '\0', '\n'})
            check(std::string(at, 'x') + stop + "xyz", '\x04');
    // a size thirty-two bits cannot encode, NULL arguments
    unsigned char *bytes = nullptr, small[] = {1, 2, 3};
    char *encoded = nullptr;
    EXPECT_EQ(OmxBase64Encode(small, UINT32_MAX, &encoded) + OmxBase64Encode(small, 3, nullptr) +
                  OmxBase64Decode("TWFu", 4, nullptr) + OmxBase64Decode(nullptr, 8, &bytes),
              0u);
    EXPECT_EQ(encoded, nullptr);
    OmxMemFree(bytes);
    // a count far past the text's NUL, a bound too large for a 32-bit process
    EXPECT_EQ(OmxBase64Decode(std::string(6000, 'Q').c_str(), UINT32_MAX, &bytes), 4500u);
    OmxMemFree(bytes);
}

// A count past a NUL in the last readable page: a read past that page would crash.
TEST(Base64, ReadsNothingPastTheNulsPage) {
    const size_t page = 65536; // a whole number of pages on every processor built for
    char *pages = static_cast<char *>(
        mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_TRUE(pages != MAP_FAILED && mprotect(pages + page, page, PROT_NONE) == 0);
    memset(pages, 'Q', page);
    pages[page - 8] = '\0'; // not the page's last byte: characters follow it
    unsigned char *bytes = nullptr;
    for (uint32_t start : {8, 9, 56, 70, 130, 65474, 65536})
        check_result(bytes, OmxBase64Decode(pages + page - start, start + 1000, &bytes),
                     model_decode(pages + page - start, start + 1000));
    munmap(pages, 2 * page);
}
