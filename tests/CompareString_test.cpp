#include <gtest/gtest.h>

#include <locale.h>

#include "../fuzz/compare_model.h"
#include "scratch_dir.h"

// Every pair of NULL or strings of up to two bytes, both cases and high, under any limit.
static void agree_with_models() {
    std::vector<std::string> texts = {""};
    for (char c : std::string("aAb\xE9\xC9\x80\xFF\xBE\x7F"))
        for (char d : std::string("aAb\xE9\xC9\x80\xFF\xBE\x7F", 10))
            texts.push_back(std::string(1, c) + d);
    for (size_t a = 0; a <= texts.size(); a++)
        for (size_t b = 0; b <= texts.size(); b++)
            for (int limit = -1; limit <= 3; limit++)
                check_agreement(a ? texts[a - 1].c_str() : nullptr,
                                b ? texts[b - 1].c_str() : nullptr, limit);
}

// In a single-byte locale high bytes fold too, but 0xFF, EOF as a signed byte,
// never does, though 0xBE is its upper case there.
TEST(CompareString, AgreesWithTheModelInTheCAndASingleByteLocale) {
    agree_with_models();
    ScratchDir dir;
    setenv("LOCPATH", dir.path.c_str(), 1); // locale files follow the machine's byte order
    const std::string order = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? "big" : "little";
    const std::string make = "localedef -i fr_FR -f ISO-8859-15 --" + order + "-endian " +
                             dir.path + "/fr.latin9 >/dev/null 2>&1";
    if (system(make.c_str()) != 0 || !setlocale(LC_CTYPE, "fr.latin9"))
        GTEST_SKIP() << "localedef cannot build fr_FR.ISO-8859-15 here";
    EXPECT_EQ(OmxStrNoCaseEquals("\xE9t", "\xC9T") - OmxStrLenNoCaseEquals("\xFF", "\xBE", 1), 1);
    agree_with_models();
    setlocale(LC_CTYPE, "C");
}
