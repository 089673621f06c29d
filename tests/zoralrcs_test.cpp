// The configuration store and its reader: every reading rule as a file and the
// store it leaves, expansion against store and environment, lookup by level,
// and the name index against a map.
#include <gtest/gtest.h>

#include <errno.h>
#include <grp.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "zoralrcs_internal.h"

// The process's groups; the group database knows the names below.
static std::vector<gid_t> g_groups;

extern "C" int getgroups(int size, gid_t list[]) noexcept {
    int count = static_cast<int>(g_groups.size());
    if (size != 0 && size < count)
        return errno = EINVAL, -1;
    for (int i = 0; i < count && size != 0; i++)
        list[i] = g_groups[static_cast<size_t>(i)];
    return count;
}

extern "C" struct group *getgrnam(const char *name) {
    static const std::map<std::string, gid_t> known = {
        {"users", 100}, {"staff", 50}, {"dba", 60}, {"wheel", 70}, {"big", 2400}};
    static struct group entry;
    auto found = known.find(name);
    if (found == known.end())
        return NULL;
    entry.gr_gid = found->second;
    return &entry;
}

namespace {

const int P = QELSCONF_PRIVILEGED, N = QELSCONF_NONPRIVILEGED;

// The store as "[level]name=value;..." in list order, its links checked both ways.
std::string listing() {
    std::string out;
    for (vmsect *s = vmrootp->next; s != vmrootp; s = s->next) {
        out += "[" + std::to_string(s->level) + "]";
        for (vmitem *i = s->items->next; i != s->items; i = i->next) {
            EXPECT_TRUE(i->next->prev == i && s->next->prev == s);
            out += std::string(i->name) + "=" + i->value + ";";
        }
    }
    return out;
}

// Reads text byte for byte under mask and lists the store.
std::string read(const std::string &text, int mask = 7) {
    FILE *stream = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    psreadfile(stream, mask);
    fclose(stream);
    return listing();
}

// \n, \r, \t and \0 in a table cell stand for their bytes; cells are split at " | ".
std::vector<std::string> cells(const std::string &row) {
    std::string text;
    for (size_t i = 0; i < row.size(); i++)
        text += row[i] != '\\' ? row[i] : "\n\r\t"[std::string("nrt0").find(row[++i])];
    std::vector<std::string> out;
    for (size_t start = 0, bar; start <= text.size(); start = bar + 3) {
        bar = std::min(text.find(" | ", start), text.size());
        out.push_back(text.substr(start, bar - start));
    }
    return out;
}

std::string repeat(const std::string &text, int times) {
    std::string out;
    while (times-- > 0)
        out += text;
    return out;
}

class Zoralrcs : public ::testing::Test {
  protected:
    void SetUp() override {
        g_groups = {100, 50};
        for (const char *name : {"UNSET", "LATER", "V", "W", "X", "Y", "Z", "R"})
            unsetenv(name);
        psinitrc();
    }
    void TearDown() override {
        psdeleterc();
    }
};

// Each row: file text | mask | the store it leaves.
TEST_F(Zoralrcs, ReadingRules) {
    std::istringstream table(R"(
A = top\n[privileged]\nP = 1\n[ NONPRIVILEGED ]\nQ = 2\n[GENERAL]\n[PRIVILEGED:x]\nR = 3\n  [NonPrivileged] x\nB = 4\n[PRIVILEGED\nS = 5\n[\n[]\nPRIVILEGED | 7 | [1]P=1;Q=2;R=3;[4]A=top;B=4;S=5;
# only comments and\nlines without settings\n | 7 | 
[PRIVILEGED]\n[NONPRIVILEGED]\n | 4 | [4]
A = 1\n[PRIVILEGED]\nP = 1\nA = 2\n[NONPRIVILEGED]\nB = 3\n | 6 | [4]A=1;B=3;
A = 1\n[PRIVILEGED]\nP = 1\n | 3 | [1]P=1;
# c\n   # c\n\n \t \nA = x # note\nB = x   \nC=#\nD = y\t# tab\nE\n= empty\nF # c = out\nG==v\n  H\t=  a b\n | 7 | [4]A=x;B=x   ;D=y;=empty;G==v;H=a b;
# c\r\n\r\n \t \r\nA = x # note\r\nB = x   \r\nC=#\r\nD = y\t# tab\r\nE\r\n= empty\r\nG==v\r\n | 7 | [4]A=x;B=x   ;D=y;=empty;G==v;
J = x\r\r\n | 7 | [4]J=x\r;
A = 1\nB = 2\nA = 3\nC = 4\nB =\nB = 5\nC = $UNSET\n[PRIVILEGED]\nA = p\n | 7 | [1]A=p;[4]A=3;B=5;
A = 1\0junk = 2\nB = 2\n | 7 | [4]A=1;B=2;
[GROUP:staff]\nA = 1\n[NONPRIVILEGED]\nN = 1\n[GROUP:wheel]\nA = w\n[GROUP:dba,staff]\nB = 2\nA = 3\n[PRIVILEGED]\nP = 1 | 7 | [1]P=1;[2]A=3;B=2;[4]N=1;
[GROUP:staff]\nX = g\n | 5 | 
[PRIVILEGED]\nP = 1\n[GROUP]\nQ = 2\n[GROUP:staff\nR = 3\n | 7 | [1]P=1;Q=2;R=3;
A = $LATER\nLATER = x\nC = ${LATER}y\nC = $C-$C\n | 7 | [4]LATER=x;C=xy-xy;
[PRIVILEGED]\nR = p\n[NONPRIVILEGED]\nR = n\n[PRIVILEGED]\nE = $R\n | 7 | [1]R=p;E=n;[4]R=n;)");
    for (std::string row; std::getline(table, row);) {
        if (row.empty())
            continue;
        std::vector<std::string> cell = cells(row);
        psinitrc();
        EXPECT_EQ(read(cell[0], std::stoi(cell[1])), cell[2]) << row;
    }
    psinitrc();
    EXPECT_EQ(read("A=" + std::string(2045, 'a') + "B=" + std::string(951, 'b') + "\nC = c\n"),
              "[4]A=" + std::string(1023, 'a') + ";B=" + std::string(951, 'b') + ";C=c;");
    // A later file replaces in place; names come and go through the index.
    std::string many, expected = "[4]";
    for (int i = 0; i < 3000; i++)
        many += "K" + std::to_string(i) + " = " + std::to_string(i) + "\n";
    for (int i = 0; i < 3000; i += 3)
        many += "K" + std::to_string(i) + " =\n";
    for (int i = 1; i < 3000; i += 1 + (i % 3 == 2))
        expected += "K" + std::to_string(i) + "=" + std::to_string(i) + ";";
    psinitrc();
    EXPECT_EQ(read(many), expected);
    for (int i = 0; i < 3000; i++)
        EXPECT_EQ(fscheckrc(("K" + std::to_string(i)).c_str(), N) != NULL, i % 3 != 0) << i;
}

// Group sections apply when they name a group of the process; the settings around stay.
TEST_F(Zoralrcs, GroupHeaders) {
    std::vector<gid_t> many;
    for (gid_t gid = 1000; gid < 2500; gid++)
        many.push_back(gid);
    const std::vector<gid_t> usual = {100, 50};
    const struct {
        const char *header;
        std::vector<gid_t> groups;
        bool applies;
    } rows[] = {
        {"[GROUP:staff]", usual, true},        {"[group:staff]", usual, true},
        {"[GROUP:nosuch,staff]", usual, true}, {"[GROUP:staff other]", usual, true},
        {"[GROUP: dba, staff]", usual, true},  {"[Group:wheel,,\tusers] x", usual, true},
        {"[GROUPS:staff]", usual, true},       {"[GROUP:big]", many, true}, // the 1401st
        {"[GROUP:wheel]", usual, false},       {"[GROUP:]", usual, false},
        {"[GROUP: , ]", usual, false},         {"[GROUP:STAFF]", usual, false},
        {"[GROUP:staffs]", usual, false},      {"[GROUP:staff]", many, false},
        {"[GROUP:staff]", {}, false},
    };
    for (const auto &row : rows) {
        g_groups = row.groups;
        psinitrc();
        EXPECT_EQ(read("A = 1\n" + std::string(row.header) + "\nX = g\n[NONPRIVILEGED]\nB = 2\n"),
                  row.applies ? "[2]X=g;[4]A=1;B=2;" : "[4]A=1;B=2;")
            << row.header;
    }
}

// Each SOURCE[/SIZE]=EXPANSION against B=b, F=bbbb, a0zA9Z_=n and the environment's V=$W, W=w.
TEST_F(Zoralrcs, Expansion) {
    setenv("V", "$W", 1);
    setenv("W", "w", 1);
    setenv("LONG", std::string(5000, 'L').c_str(), 1);
    read("B = b\nF = bbbb\nONE = b\na0zA9Z_ = n\n");
    std::vector<std::vector<std::string>> rows;
    std::istringstream table(
        "${B}c$B=bcb ${B=${B $-=$- ${B}}=b} $$B=$b ${}=${} x$=x$ $B_x= ${B}_x=b_x "
        "$\xc3\xa9=$\xc3\xa9 ${B-}=${B-} $UNSET= {B}$={B}$ = $a0zA9Z_.=n. $V=$W "
        "${V}$W=$Ww ab$F-tail/8=abbbbb- ab$F-tail/5=abbb $F$F/7=bbbbbb $B/1=");
    for (std::string row; table >> row;) {
        size_t equals = row.find('='), slash = std::min(row.find('/'), equals);
        rows.push_back({row.substr(0, slash), slash < equals ? row.substr(slash + 1) : "1024",
                        row.substr(equals + 1)});
    }
    rows.push_back({"x$LONG", "1024", "x" + std::string(1022, 'L')});
    // 1023 characters are copied: 255 references and "$ON", which names nothing.
    rows.push_back({repeat("$ONE", 3000), "1024", std::string(255, 'b')});
    rows.push_back({repeat("$F", 3000), "1024", std::string(1023, 'b')});
    rows.push_back({std::string(3000, '$'), "1024", std::string(1023, '$')});
    for (const auto &row : rows) {
        std::string buffer(std::stoul(row[1]) + 1, '#');
        int result = fsevalval(row[0].c_str(), buffer.data(), std::stoi(row[1]));
        EXPECT_EQ(buffer.back(), '#') << "written past the buffer: " << row[0];
        EXPECT_EQ(buffer.c_str(), row[2]) << row[0];
        EXPECT_EQ(result, !row[2].empty()) << row[0];
    }
    char untouched[] = "keep";
    EXPECT_EQ(fsevalval("$B", untouched, 0) + strcmp(untouched, "keep"), 0);
    EXPECT_EQ(fsevalval(NULL, untouched, sizeof untouched) + strlen(untouched), 0u);
}

// Each NAME@MASK=ANSWER ("-": none).
TEST_F(Zoralrcs, LookupPrefersTheEnvironmentThenTheHighestAdmittedLevel) {
    read("[PRIVILEGED]\nX = p\nY = p\nZ = p\nR = stored\n[GROUP:staff]\nX = g\nY = g\n"
         "[NONPRIVILEGED]\nX = n\n[PRIVILEGED]\nV = $Y\n");
    setenv("R", "env", 1);
    setenv("W", "", 1);
    std::istringstream table("X@7=n X@3=g X@1=p Y@7=g Y@5=p Z@7=p Z@6=- V@1=g R@4=env R@1=stored "
                             "W@4= W@3=- X@0=- x@7=-");
    for (std::string row; table >> row;) {
        size_t at = row.find('@'), equals = row.find('=');
        const char *found = fscheckrc(row.substr(0, at).c_str(), std::stoi(row.substr(at + 1)));
        EXPECT_EQ(found != NULL ? found : "-", row.substr(equals + 1)) << row;
    }
    EXPECT_EQ(fscheckrc(NULL, 7), nullptr);
}

TEST_F(Zoralrcs, StoreOperations) {
    EXPECT_EQ(fsgetsect(0), fsgetsect(3)); // neither is a level
    vmsect *non = fsgetsect(N);
    EXPECT_EQ(fsgetsect(N), non);
    vmitem *a = fsnewitem(non, "A", "1");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(fsnewitem(non, "A", "2"), nullptr); // a name occurs once per section
    EXPECT_EQ(fsnewitem(non, "E", ""), nullptr);
    EXPECT_EQ(fsrepitem(a, "B", "x") + fsrepitem(non->items, "A", "x"),
              0);                            // the sentinel is nobody
    EXPECT_EQ(fsrepitem(a, "A", "$A$A"), 1); // its own old value, read before it goes
    psdelitem(non->items);
    psdelitem(NULL);
    psstoreitem(fsgetsect(P), "A", "p");
    EXPECT_EQ(listing(), "[1]A=p;[4]A=11;");
    EXPECT_EQ(fsrepitem(a, "A", ""), 1);
    EXPECT_EQ(listing(), "[1]A=p;[4]");
    psdeleterc();
    EXPECT_EQ(fsgetsect(N), nullptr);
    EXPECT_EQ(fscheckrc("A", 7), nullptr);
    psreadfile(NULL, 7);
}

} // namespace
