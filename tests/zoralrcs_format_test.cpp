// Reading configuration files: sections, lines, storing order, bad input and lookup.
#include "zoralrcs_fixture.h"

#include <string.h>

namespace {

TEST_F(ConfigFileTest, HeadersAreCaseBlindAndUnknownOnesKeepTheSection) {
    read("A = top\n"
         "[privileged]\n"
         "P = 1\n"
         "[ NONPRIVILEGED ]\n"
         "Q = 2\n"
         "[GENERAL]\n"
         "[PRIVILEGED:x]\n"
         "R = 3\n"
         "  [NonPrivileged] trailing text\n"
         "B = 4\n"
         "[PRIVILEGED\n"
         "S = 5\n"
         "[\n"
         "[]\n"
         "PRIVILEGED\n");
    EXPECT_EQ(levels(), (std::vector<int>{P, N}));
    EXPECT_EQ(settings(P), (Settings{{"P", "1"}, {"Q", "2"}, {"R", "3"}}));
    EXPECT_EQ(settings(N), (Settings{{"A", "top"}, {"B", "4"}, {"S", "5"}}));
}

TEST_F(ConfigFileTest, TheMaskDecidesWhichSectionsAreStoredOrCreated) {
    read("# only comments and\nlines without settings\n");
    EXPECT_EQ(levels(), std::vector<int>{});
    read("[PRIVILEGED]\n[NONPRIVILEGED]\n", N);
    EXPECT_EQ(levels(), std::vector<int>{N}); // an empty section in the mask is still created

    read("A = 1\n[PRIVILEGED]\nP = 1\nA = 2\n[NONPRIVILEGED]\nB = 3\n", 6);
    EXPECT_EQ(levels(), std::vector<int>{N});
    EXPECT_EQ(settings(N), (Settings{{"A", "1"}, {"B", "3"}}));

    read("BEFORE = 1\n[PRIVILEGED]\nP = 1\n", 3);
    EXPECT_EQ(settings(P), (Settings{{"P", "1"}}));
    EXPECT_EQ(settings(N).size(), 2u);
}

TEST_F(ConfigFileTest, LinesCommentsAndBlanks) {
    const std::string text = "# comment\n"
                             "   # indented comment\n"
                             "\n"
                             " \t \n"
                             "A = x # note\n"
                             "B = x   \n"
                             "C=#\n"
                             "D = y\t# tab\n"
                             "E\n"
                             "= empty name\n"
                             "F # commented = out\n"
                             "G==v\n"
                             "  H\t=  a b\n";
    read(text);
    const Settings expected = {{"A", "x"},         {"B", "x   "}, {"D", "y"},
                               {"", "empty name"}, {"G", "=v"},   {"H", "a b"}};
    EXPECT_EQ(settings(N), expected);

    std::string crlf;
    for (char c : text)
        crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    psinitrc();
    read(crlf);
    EXPECT_EQ(settings(N), expected);
    read("J = x\r\r\n"); // one carriage return ends a line
    EXPECT_EQ(settings(N).back(), (Settings::value_type{"J", "x\r"}));
}

TEST_F(ConfigFileTest, RepeatedNamesKeepTheirFirstPlaceAndEmptyValuesDelete) {
    unsetenv("UNDEFINED_X");
    read("A = 1\nB = 2\nA = 3\nC = 4\nB =\nB = 5\nC = $UNDEFINED_X\n[PRIVILEGED]\nA = p\n");
    EXPECT_EQ(settings(N), (Settings{{"A", "3"}, {"B", "5"}}));
    read("B = 6\nA = 7\nD = 8\n"); // a later file replaces in place too
    EXPECT_EQ(settings(N), (Settings{{"A", "7"}, {"B", "6"}, {"D", "8"}}));
    EXPECT_EQ(settings(P), (Settings{{"A", "p"}}));
}

TEST_F(ConfigFileTest, APhysicalLineHolds2047Bytes) {
    read("A=" + std::string(2045, 'a') + "B=" + std::string(951, 'b') + "\nC = c\n");
    EXPECT_EQ(settings(N), (Settings{{"A", std::string(CONF_VALUE_SIZE - 1, 'a')},
                                     {"B", std::string(951, 'b')},
                                     {"C", "c"}}));
}

TEST_F(ConfigFileTest, BadInputLeavesItsNeighboursAlone) {
    read(std::string("A = 1\0junk = 2\nB = 2\n", 21));
    EXPECT_EQ(settings(N), (Settings{{"A", "1"}, {"B", "2"}}));

    psinitrc();
    std::string garbage = "BEFORE = 1\n";
    unsigned int seed = 12345;
    for (int i = 0; i < 200000; i++) {
        seed = seed * 1103515245u + 12345u;
        garbage += static_cast<char>(seed >> 23);
    }
    read(garbage + "\n[NONPRIVILEGED]\nAFTER = 2\n");
    Settings stored = settings(N);
    ASSERT_GE(stored.size(), 2u);
    EXPECT_EQ(stored.front(), (Settings::value_type{"BEFORE", "1"}));
    EXPECT_EQ(stored.back(), (Settings::value_type{"AFTER", "2"}));
    for (int level : levels())
        for (const auto &setting : settings(level))
            EXPECT_TRUE(!setting.second.empty() && setting.second.size() < CONF_VALUE_SIZE);

    psinitrc();
    std::string many;
    for (int i = 0; i < 100000; i++)
        many += "K" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    read(many);
    stored = settings(N);
    ASSERT_EQ(stored.size(), 100000u);
    EXPECT_EQ(stored[0], (Settings::value_type{"K0", "0"}));
    EXPECT_EQ(stored[99999], (Settings::value_type{"K99999", "99999"}));
    EXPECT_STREQ(fscheckrc("K54321", 3 | N), "54321");
}

TEST_F(ConfigFileTest, LookupPrefersTheHighestAdmittedLevelAndTheEnvironmentUnderBit4) {
    read("[PRIVILEGED]\nP_ONLY = p\nBOTH = priv\nIN_ENV = stored\n[NONPRIVILEGED]\nBOTH = non\n");
    setenv("IN_ENV", "env", 1);
    setenv("EMPTY_ENV", "", 1);
    unsetenv("P_ONLY");
    unsetenv("BOTH");

    EXPECT_STREQ(fscheckrc("BOTH", 7), "non");
    EXPECT_STREQ(fscheckrc("BOTH", 3), "priv");
    EXPECT_EQ(fscheckrc("P_ONLY", 6), nullptr);
    EXPECT_STREQ(fscheckrc("P_ONLY", 1), "p");
    EXPECT_STREQ(fscheckrc("P_ONLY", 7), "p");
    EXPECT_STREQ(fscheckrc("IN_ENV", 4), "env");
    EXPECT_STREQ(fscheckrc("IN_ENV", 7), "env");
    EXPECT_STREQ(fscheckrc("IN_ENV", 1), "stored");
    EXPECT_STREQ(fscheckrc("EMPTY_ENV", 4), "");
    EXPECT_EQ(fscheckrc("EMPTY_ENV", 3), nullptr);
    for (const char *name : {"BOTH", "IN_ENV", "EMPTY_ENV"})
        EXPECT_EQ(fscheckrc(name, 0), nullptr);
    EXPECT_EQ(fscheckrc("both", 7), nullptr);
    EXPECT_EQ(fscheckrc(NULL, 7), nullptr);
}

TEST_F(ConfigFileTest, StoreOperationsKeepListsAndLookupsInStep) {
    EXPECT_EQ(fsgetsect(0), nullptr);
    EXPECT_EQ(fsgetsect(3), nullptr);
    vmsect *non = fsgetsect(N);
    vmsect *priv = fsgetsect(P);
    EXPECT_EQ(fsgetsect(N), non);
    EXPECT_EQ(levels(), (std::vector<int>{P, N}));

    vmitem *a = fsnewitem(non, "A", "1");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(fsnewitem(non, "A", "2"), nullptr); // a name occurs once per section
    EXPECT_EQ(fsnewitem(non, "E", ""), nullptr);
    EXPECT_EQ(fsrepitem(a, "B", "x"), 0);
    EXPECT_EQ(fsrepitem(non->items, "A", "x"), 0); // the sentinel is nobody
    EXPECT_EQ(fsrepitem(a, "A", "2"), 1);
    EXPECT_STREQ(fscheckrc("A", 3 | N), "2");

    psdelitem(non->items);
    psdelitem(NULL);
    EXPECT_EQ(settings(N), (Settings{{"A", "2"}}));
    psdelitem(a);
    EXPECT_EQ(fscheckrc("A", 3 | N), nullptr);
    ASSERT_NE(fsnewitem(non, "A", "3"), nullptr);
    psstoreitem(priv, "A", "p");
    EXPECT_STREQ(fscheckrc("A", 3 | N), "3");
    EXPECT_STREQ(fscheckrc("A", P), "p");

    psdeleterc();
    EXPECT_EQ(vmrootp, nullptr);
    EXPECT_EQ(fsgetsect(N), nullptr);
    EXPECT_EQ(fscheckrc("A", 3), nullptr);
    psreadfile(NULL, 7);
    psinitrc();
    EXPECT_EQ(levels(), std::vector<int>{});
}

} // namespace
