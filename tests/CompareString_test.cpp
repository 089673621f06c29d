#include <gtest/gtest.h>

#include <locale.h>
#include <stdlib.h>

#include <vector>

#include "../fuzz/compare_model.h"
#include "scratch_dir.h"

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
                check_agreement(a, b, limit);
}

// In a single-byte locale high bytes fold too, but 0xFF, EOF as a signed byte,
// never does, though 0xBE is its upper case there.
TEST(CompareString, AgreesWithTheModelInTheCAndASingleByteLocale) {
    agree_with_models();
    ScratchDir dir;
    setenv("LOCPATH", dir.path.c_str(), 1); // locale files follow the machine's byte order
    if (system(("localedef --" +
                std::string(__BYTE_ORDER__ == __ORDER_BIG_ENDIAN__ ? "big" : "little") +
                "-endian -i fr_FR -f ISO-8859-15 " + dir.path +
                "/fr_FR.ISO-8859-15 >/dev/null 2>&1")
                   .c_str()) != 0 ||
        setlocale(LC_CTYPE, "fr_FR.ISO-8859-15") == nullptr)
        GTEST_SKIP() << "localedef cannot build fr_FR.ISO-8859-15 here";
    EXPECT_EQ(OmxStrNoCaseEquals("\xE9t\xE9", "\xC9T\xC9"), 1);
    EXPECT_EQ(OmxStrLenNoCaseEquals("a\xFF", "A\xBE", 2), 0);
    EXPECT_EQ(OmxCompareLenNoCase("\xBE", "\xFF", 1), -1);
    agree_with_models();
    setlocale(LC_CTYPE, "C");
}

} // namespace
