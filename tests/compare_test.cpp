#include <gtest/gtest.h>

#include <ctype.h>
#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "omx_compare.h"

namespace {

// --- The listed cases ---------------------------------------------------------

TEST(OmxCompareNoCase, OrdersCaseBlindWithNullAsEmpty) {
    EXPECT_EQ(OmxCompareNoCase("abc", "ABD"), -1);
    EXPECT_EQ(OmxCompareNoCase("abc", "ABC"), 0);
    EXPECT_EQ(OmxCompareNoCase("abcd", "ABC"), 1);
    EXPECT_EQ(OmxCompareNoCase("ab", "ABC"), -1);
    EXPECT_EQ(OmxCompareNoCase(nullptr, ""), 0);
    EXPECT_EQ(OmxCompareNoCase(nullptr, nullptr), 0);
    EXPECT_EQ(OmxCompareNoCase(nullptr, "x"), -1);
    EXPECT_EQ(OmxCompareNoCase("x", nullptr), 1);
    EXPECT_EQ(OmxCompareNoCase("zzzzzzzzzz", "a"), 1); // exactly 1, however far apart
}

TEST(OmxCompareLen, ComparesOnlyTheSharedPrefixUnderTheLimit) {
    EXPECT_EQ(OmxCompareLen("ab", "abc", 5), 0);
    EXPECT_EQ(OmxCompareLen("ab", "abc", 2), 0);
    EXPECT_EQ(OmxCompareLen("abc", "abd", 3), -1);
    EXPECT_EQ(OmxCompareLen("abd", "abc", 3), 1);
    EXPECT_EQ(OmxCompareLen("abc", "abd", 2), 0);
    EXPECT_EQ(OmxCompareLen("", "abc", 3), 0);
    EXPECT_EQ(OmxCompareLen(nullptr, "abc", 3), 0);
    EXPECT_EQ(OmxCompareLen("abc", "ABC", 3), 1); // exact: 'a' > 'A'
    for (int limit : {0, -1, -100})
        EXPECT_EQ(OmxCompareLen("abc", "xyz", limit), 0) << limit;
    EXPECT_EQ(OmxCompareLenNoCase("abc", "ABD", 3), -1);
    EXPECT_EQ(OmxCompareLenNoCase("abcx", "ABCy", 3), 0);
    EXPECT_EQ(OmxCompareLenNoCase(nullptr, nullptr, 3), 0);
}

TEST(OmxCompareLen, LimitBoundsTheRead) {
    // Fixed-width fields without a terminator compare safely under their width.
    const char field1[4] = {'a', 'b', 'c', 'd'};
    const char field2[4] = {'a', 'b', 'c', 'e'};
    EXPECT_EQ(OmxCompareLen(field1, field2, 3), 0);
    EXPECT_EQ(OmxCompareLen(field1, field2, 4), -1);
    EXPECT_EQ(OmxCompareLenNoCase(field2, field1, 4), 1);
}

TEST(Compare, HighBytesOrderBeforeAscii) {
    EXPECT_EQ(OmxCompareLen("\xE9", "a", 1), -1);
    EXPECT_EQ(OmxCompareLen("a", "\xE9", 1), 1);
    EXPECT_EQ(OmxCompareLen("\xFF", "\x80", 1), 1); // -1 > -128
    EXPECT_EQ(OmxCompareNoCase("\xE9", "A"), -1);
    EXPECT_EQ(OmxCompareNoCase("\x7F", "\x80"), 1);
}

TEST(OmxStrEquals, NullIsEqualOnlyToNull) {
    EXPECT_EQ(OmxStrEquals(nullptr, nullptr), 1);
    EXPECT_EQ(OmxStrEquals(nullptr, ""), 0);
    EXPECT_EQ(OmxStrEquals("", nullptr), 0);
    EXPECT_EQ(OmxStrEquals("", ""), 1);
    EXPECT_EQ(OmxStrEquals("abc", "abc"), 1);
    EXPECT_EQ(OmxStrEquals("abc", "ABC"), 0);
    EXPECT_EQ(OmxStrEquals("abc", "abcd"), 0);
    EXPECT_EQ(OmxStrNoCaseEquals("abc", "ABC"), 1);
    EXPECT_EQ(OmxStrNoCaseEquals("abc", "ABCD"), 0);
    EXPECT_EQ(OmxStrNoCaseEquals(nullptr, nullptr), 1);
    EXPECT_EQ(OmxStrNoCaseEquals(nullptr, ""), 0);
    EXPECT_EQ(OmxStrLenEquals(nullptr, nullptr, 3), 1);
    EXPECT_EQ(OmxStrLenEquals(nullptr, "", 3), 0);
}

TEST(OmxStrLenEquals, FollowsTheBoundedRule) {
    EXPECT_EQ(OmxStrLenEquals("ab", "abc", 3), 0);
    EXPECT_EQ(OmxStrLenEquals("abc", "abd", 2), 1);
    EXPECT_EQ(OmxStrLenEquals("abc", "abcd", 3), 1);
    EXPECT_EQ(OmxStrLenEquals("abc", "abcd", 0), 0);
    EXPECT_EQ(OmxStrLenEquals("abc", "abc", 0), 1);
    EXPECT_EQ(OmxStrLenEquals("abc", "abcd", -1), 0);
    EXPECT_EQ(OmxStrLenEquals("ab", "ab", 5), 1);
    EXPECT_EQ(OmxStrLenEquals("abc", "ABC", 3), 0);
}

TEST(OmxStrLenNoCaseEquals, RecognisesWeekdayAbbreviations) {
    EXPECT_EQ(OmxStrLenNoCaseEquals("sunday", "SUN", 3), 1);
    EXPECT_EQ(OmxStrLenNoCaseEquals("Mon", "MON", 3), 1);
    EXPECT_EQ(OmxStrLenNoCaseEquals("su", "SUN", 3), 0);
    EXPECT_EQ(OmxStrLenNoCaseEquals("tue", "SUN", 3), 0);
    EXPECT_EQ(OmxStrLenNoCaseEquals("", "SUN", 3), 0);
    EXPECT_EQ(OmxStrLenNoCaseEquals(nullptr, "SUN", 3), 0);
}

// --- Folding in a single-byte locale ------------------------------------------

// Locale files follow the byte order of the machine that reads them.
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define LOCALE_BYTE_ORDER "--big-endian"
#else
#define LOCALE_BYTE_ORDER "--little-endian"
#endif

// Builds a Latin-9 locale in a private directory and makes it current; false
// where the system lacks the locale sources.
class Latin9 {
  public:
    Latin9() {
        char pattern[] = "/tmp/vaxo-locale-XXXXXX";
        if (mkdtemp(pattern) == nullptr)
            return;
        dir_ = pattern;
        std::string command = "localedef " LOCALE_BYTE_ORDER " -i fr_FR -f ISO-8859-15 " + dir_ +
                              "/fr_FR.ISO-8859-15 >/dev/null 2>&1";
        if (system(command.c_str()) != 0)
            return;
        setenv("LOCPATH", dir_.c_str(), 1);
        active_ = setlocale(LC_CTYPE, "fr_FR.ISO-8859-15") != nullptr;
    }
    ~Latin9() {
        setlocale(LC_CTYPE, "C");
        if (!dir_.empty())
            std::filesystem::remove_all(dir_);
    }
    bool active() const {
        return active_;
    }

  private:
    std::string dir_;
    bool active_ = false;
};

TEST(Compare, FoldsThroughTheCurrentLocale) {
    // In the C locale only ASCII letters fold.
    EXPECT_EQ(OmxStrNoCaseEquals("\xE9t\xE9", "\xC9T\xC9"), 0);
    Latin9 locale;
    if (!locale.active())
        GTEST_SKIP() << "localedef cannot build fr_FR.ISO-8859-15 here";
    EXPECT_EQ(OmxStrNoCaseEquals("\xE9t\xE9", "\xC9T\xC9"), 1);
    EXPECT_EQ(OmxCompareNoCase("\xE9", "\xC9"), 0);
    EXPECT_EQ(OmxCompareLenNoCase("\xE9z", "\xC9Z", 2), 0);
    EXPECT_EQ(OmxStrLenNoCaseEquals("\xE9tait", "\xC9T\xC9", 3), 0);
    // 0xFF has the upper case 0xBE here, but as a signed byte it is EOF, which never folds.
    EXPECT_EQ(OmxStrNoCaseEquals("\xFF", "\xBE"), 0);
    EXPECT_EQ(OmxStrLenNoCaseEquals("a\xFF", "A\xBE", 2), 0);
    EXPECT_EQ(OmxCompareNoCase("\xFF", "\xBE"), 1);
    EXPECT_EQ(OmxCompareLenNoCase("\xBE", "\xFF", 1), -1);
}

// --- Each function against a model of its rule --------------------------------

struct Text {
    bool null;
    std::string bytes;
    const char *get() const {
        return null ? nullptr : bytes.c_str();
    }
};

std::vector<signed char> folded(const std::string &s, bool fold) {
    std::vector<signed char> out;
    for (char c : s)
        out.push_back(static_cast<signed char>(fold ? toupper(static_cast<signed char>(c)) : c));
    return out;
}

// Orderings: NULL is "", and under a limit only the shared prefix counts.
int model_order(const Text &a, const Text &b, bool fold, bool limited, int limit) {
    std::string x = a.null ? "" : a.bytes, y = b.null ? "" : b.bytes;
    if (limited) {
        if (limit <= 0)
            return 0;
        size_t keep = std::min({x.size(), y.size(), static_cast<size_t>(limit)});
        x.resize(keep);
        y.resize(keep);
    }
    std::vector<signed char> fx = folded(x, fold), fy = folded(y, fold);
    if (fx == fy)
        return 0;
    return std::lexicographical_compare(fx.begin(), fx.end(), fy.begin(), fy.end()) ? -1 : 1;
}

// Equality: NULL only equals NULL; a positive limit compares the first limit characters.
int model_equal(const Text &a, const Text &b, bool fold, int limit) {
    if (a.null || b.null)
        return a.null && b.null;
    std::string x = a.bytes, y = b.bytes;
    if (limit > 0) {
        x = x.substr(0, static_cast<size_t>(limit));
        y = y.substr(0, static_cast<size_t>(limit));
    }
    return folded(x, fold) == folded(y, fold);
}

void check_against_models() {
    // A small alphabet with both cases and high bytes makes near-ties common.
    const std::string alphabet = "aAbB\xE9\xC9\x80\xFF\xBE\x7F";
    std::mt19937 random(20240611);
    auto pick = [&]() {
        Text t{random() % 10 == 0, ""};
        for (size_t n = random() % 7; n > 0; n--)
            t.bytes += alphabet[random() % alphabet.size()];
        return t;
    };
    for (int round = 0; round < 20000; round++) {
        Text a = pick(), b = random() % 4 == 0 ? a : pick();
        if (!b.null && random() % 3 == 0) // a prefix or extension of a
            b.bytes = a.bytes.substr(0, random() % (a.bytes.size() + 1)) + b.bytes.substr(0, 1);
        int limit = static_cast<int>(random() % 10) - 2;
        const char *s1 = a.get(), *s2 = b.get();
        SCOPED_TRACE(::testing::Message() << "round " << round << " limit " << limit);
        ASSERT_EQ(OmxCompareNoCase(s1, s2), model_order(a, b, true, false, 0));
        ASSERT_EQ(OmxCompareLen(s1, s2, limit), model_order(a, b, false, true, limit));
        ASSERT_EQ(OmxCompareLenNoCase(s1, s2, limit), model_order(a, b, true, true, limit));
        ASSERT_EQ(OmxStrEquals(s1, s2), model_equal(a, b, false, 0));
        ASSERT_EQ(OmxStrNoCaseEquals(s1, s2), model_equal(a, b, true, 0));
        ASSERT_EQ(OmxStrLenEquals(s1, s2, limit), model_equal(a, b, false, limit));
        ASSERT_EQ(OmxStrLenNoCaseEquals(s1, s2, limit), model_equal(a, b, true, limit));
    }
}

TEST(Compare, RandomStringsAgreeWithTheModelsInTheCLocale) {
    check_against_models();
}

TEST(Compare, RandomStringsAgreeWithTheModelsInASingleByteLocale) {
    Latin9 locale;
    if (!locale.active())
        GTEST_SKIP() << "localedef cannot build fr_FR.ISO-8859-15 here";
    check_against_models();
}

} // namespace
