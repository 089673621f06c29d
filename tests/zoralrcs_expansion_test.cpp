// Expansion of $NAME and ${NAME} in values: forms, resolution order and the
// bound of the destination buffer.
#include "zoralrcs_fixture.h"

#include <string.h>

namespace {

std::string expand(const char *source, int size = CONF_VALUE_SIZE) {
    std::string buffer(static_cast<size_t>(size) + 1, '#');
    int result = fsevalval(source, buffer.data(), size);
    EXPECT_EQ(buffer[static_cast<size_t>(size)], '#') << "written past the buffer";
    std::string text = buffer.c_str();
    EXPECT_EQ(result, text.empty() ? 0 : 1) << source;
    return text;
}

TEST_F(ConfigFileTest, ReferenceForms) {
    read("B = b\n");
    unsetenv("B_x");
    unsetenv("UNSET_NAME");
    const struct {
        const char *source, *expected;
    } cases[] = {
        {"${B}c$B", "bcb"},
        {"${B", "${B"},
        {"$-", "$-"},
        {"${B}}", "b}"},
        {"$$B", "$b"},
        {"${}", "${}"},
        {"x$", "x$"},
        {"$B_x", ""},
        {"${B}_x", "b_x"},
        {"$", "$"},
        {"$\xc3\xa9", "$\xc3\xa9"},
        {"${B-}", "${B-}"},
        {"$UNSET_NAME", ""},
        {"", ""},
        {"{B}$", "{B}$"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(expand(c.source), c.expected) << c.source;
    EXPECT_EQ(expand(NULL), "");
    EXPECT_EQ(expand("$B", 1), "");

    char untouched[] = "keep";
    EXPECT_EQ(fsevalval("$B", untouched, 0), 0);
    EXPECT_STREQ(untouched, "keep");
}

TEST_F(ConfigFileTest, NamesResolveToTheStoreAsReadSoFarThenTheEnvironment) {
    unsetenv("LATER");
    const char *path = getenv("PATH");
    ASSERT_NE(path, nullptr);
    read("A = $LATER\nLATER = x\nC = ${LATER}y\nPATH = $PATH:/x\nC = $C-$C\n");
    EXPECT_EQ(settings(N),
              (Settings{{"LATER", "x"}, {"C", "xy-xy"}, {"PATH", path + std::string(":/x")}}));

    setenv("LATER", "env", 1);
    setenv("R", "env", 1);
    read("[PRIVILEGED]\nR = priv\nD = $LATER\n[NONPRIVILEGED]\nR = non\n[PRIVILEGED]\nE = $R\n");
    EXPECT_EQ(settings(P), (Settings{{"R", "priv"}, {"D", "x"}, {"E", "non"}}));
}

TEST_F(ConfigFileTest, InsertedTextIsNeverExpandedAgain) {
    setenv("V", "$W", 1);
    setenv("W", "w", 1);
    read("A = $V\nB = ${V}$W\n");
    EXPECT_EQ(settings(N), (Settings{{"A", "$W"}, {"B", "$Ww"}}));
}

TEST_F(ConfigFileTest, ExpansionIsCutAtTheBufferEnd) {
    read("B = bbbb\n");
    EXPECT_EQ(expand("ab$B-tail", 8), "abbbbb-"); // the tail is cut to the room left
    EXPECT_EQ(expand("ab$B-tail", 5), "abbb");    // the inserted text is cut, the tail dropped
    EXPECT_EQ(expand("$B$B", 7), "bbbbbb");

    setenv("LONG", std::string(5000, 'L').c_str(), 1);
    read("A = x$LONG\n");
    EXPECT_EQ(settings(N).back(),
              (Settings::value_type{"A", "x" + std::string(CONF_VALUE_SIZE - 2, 'L')}));
}

TEST_F(ConfigFileTest, ThousandsOfReferencesStayWithinTheBuffer) {
    read("ONE = b\nF = bbbb\n");
    unsetenv("ON");
    std::string ones, fours, dollars(3000, '$');
    for (int i = 0; i < 3000; i++) {
        ones += "$ONE";
        fours += "$F";
    }
    // 1023 characters are copied: 255 references and "$ON", which resolves to nothing.
    EXPECT_EQ(expand(ones.c_str()), std::string(255, 'b'));
    // Growing references fill the buffer and push the rest out.
    EXPECT_EQ(expand(fours.c_str()), std::string(CONF_VALUE_SIZE - 1, 'b'));
    EXPECT_EQ(expand(dollars.c_str()), std::string(CONF_VALUE_SIZE - 1, '$'));

    read("X = " + fours.substr(0, 2000) + "\n");
    EXPECT_EQ(settings(N).back(),
              (Settings::value_type{"X", std::string(CONF_VALUE_SIZE - 1, 'b')}));
}

} // namespace
