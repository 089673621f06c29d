#include <gtest/gtest.h>

#include <locale.h>
#include <stdlib.h>

#include <filesystem>
#include <vector>

#include "../fuzz/compare_model.h"

namespace {

// Every pair of strings of up to two bytes, or NULL, over an alphabet with both
// cases and high bytes, under limits around their lengths.
void agree_with_models() {
    const std::string alphabet = "aAb\xE9\xC9\x80\xFF\xBE\x7F";
    std::vector<std::string> texts = {""};
    for (char c : alphabet)
        for (char d : alphabet + '\0')
            texts.push_back(std::string(1, c) + d);
    std::vector<const char *> all = {nullptr};
    for (const std::string &text : texts)
        all.push_back(text.c_str());
    for (const char *a : all)
        for (const char *b : all)
            for (int limit = -1; limit <= 3; limit++)
                for (int f = 0; f < 7; f++)
                    ASSERT_EQ(comparisons[f](a, b, limit), model(f, a, b, limit))
                        << f << ' ' << limit << ' ' << testing::PrintToString(a) << ' '
                        << testing::PrintToString(b);
}

TEST(CompareString, AgreesWithTheRulesInTheCLocale) {
    EXPECT_EQ(OmxCompareNoCase(nullptr, "x"), -1);
    EXPECT_EQ(OmxCompareNoCase("x", nullptr), 1);
    const char abcd[4] = {'a', 'b', 'c', 'd'}, abce[4] = {'a', 'b', 'c', 'e'}; // unterminated
    EXPECT_EQ(OmxCompareLen(abcd, abce, 3), 0);
    EXPECT_EQ(OmxStrLenNoCaseEquals(abce, abcd, 4), 0);
    agree_with_models();
}

TEST(CompareString, SingleByteLocaleFoldsHighBytesBut0xFF) {
    char dir[] = "/tmp/vaxo-locale-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    setenv("LOCPATH", dir, 1); // locale files follow the byte order of the machine reading them
    const bool built =
        system((std::string("localedef ") +
                (__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? "--big-endian" : "--little-endian") +
                " -i fr_FR -f ISO-8859-15 " + dir + "/fr_FR.ISO-8859-15 >/dev/null 2>&1")
                   .c_str()) == 0 &&
        setlocale(LC_CTYPE, "fr_FR.ISO-8859-15") != nullptr;
    if (built) { // 0xFF has the upper case 0xBE here, but as a signed byte it is EOF: never folded
        EXPECT_EQ(OmxStrNoCaseEquals("\xE9t\xE9", "\xC9T\xC9"), 1);
        EXPECT_EQ(OmxStrLenNoCaseEquals("a\xFF", "A\xBE", 2), 0);
        EXPECT_EQ(OmxCompareLenNoCase("\xBE", "\xFF", 1), -1);
        agree_with_models();
    }
    setlocale(LC_CTYPE, "C");
    std::filesystem::remove_all(dir);
    if (!built)
        GTEST_SKIP() << "localedef cannot build fr_FR.ISO-8859-15 here";
}

} // namespace
