// The configuration store and its reader: reading rules, expansion, lookup by level.
#include <gtest/gtest.h>

#include <errno.h>
#include <grp.h>
#include <malloc.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "zoralrcs_internal.h"

void pssetenvs(void);

static std::vector<gid_t> g_groups;

extern "C" int getgroups(int size, gid_t list[]) noexcept {
    int count = static_cast<int>(g_groups.size());
    if (size != 0 && size < count)
        return errno = EINVAL, -1;
    for (int i = 0; i < count && size != 0; i++)
        list[i] = g_groups[static_cast<size_t>(i)];
    return count;
}

// The process is in staff (50); big is its 1401st group when it has many.
extern "C" struct group *getgrnam(const char *name) {
    static struct group entry;
    entry.gr_gid = strcmp(name, "staff") == 0 ? 50 : strcmp(name, "big") == 0 ? 2400 : 70;
    return strcmp(name, "nosuch") == 0 ? NULL : &entry;
}

namespace {

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

std::string read(const std::string &text, int mask = 7) {
    psinitrc();
    FILE *stream = fmemopen(const_cast<char *>(text.data()), text.size(), "r");
    psreadfile(stream, mask);
    fclose(stream);
    EXPECT_EQ(vmlost, 0u) << "nothing counts as lost";
    return listing();
}

std::string text(const char *value) {
    return value != NULL ? value : "-";
}

std::string told; // what the observer below was told
void tell(void *, const char *path, int line, int severity, const char *text) {
    told += std::string(path) + ":" + std::to_string(line) + "NWE"[severity] + " " + text + "|";
}
const vmobserver observer = {NULL, tell, NULL};

class Zoralrcs : public ::testing::Test {
  protected:
    void SetUp() override {
        g_groups = {50, 100}; // staff first, big last: no end of the list is skipped
        for (const char *name : {"UNSET", "LATER", "V", "W", "R", "EMPTY"})
            unsetenv(name);
        psinitrc();
    }
    void TearDown() override {
        psdeleterc();
    }
};

// Each row: file text | mask | the store it leaves; \n, \r, \t and \0 stand for their bytes.
TEST_F(Zoralrcs, ReadingRules) {
    std::istringstream table(
        R"(A = top\n[privileged]\nP = 1\n[ NONPRIVILEGED ]\nQ = 2\n[GENERAL]\n[PRIVILEGED:x]\nR = 3\n  [NonPrivileged] x\nB = 4\n[PRIVILEGED\nS = 5\n[\n[]\nPRIVILEGED | 7 | [1]P=1;Q=2;R=3;[4]A=top;B=4;S=5;
A = 1\n[PRIVILEGED]\nP = 1\nA = 2\n[NONPRIVILEGED]\nB = 3\n | 6 | [4]A=1;B=3;
# c\n   # c\n\n \t \nA = x # note\nB = x   \nC=#\nD = y\t# tab\nE\n= empty\nF # c = out\nG==v\n  H\t=  a b\n | 7 | [4]A=x;B=x   ;D=y;=empty;G==v;H=a b;
J = x\r\r\nK = y\r\n | 7 | [4]J=x\r;K=y;
A = 1\nB = 2\nA = 3\nC = 4\nB =\nB = 5\nC = $UNSET\n[PRIVILEGED]\nA = p\n | 7 | [1]A=p;[4]A=3;B=5;
A = 1\0junk = 2\nB = 2\n | 7 | [4]A=1;B=2;
[GROUP:staff]\nA = 1\n[NONPRIVILEGED]\nN = 1\n[GROUP:wheel]\nA = w\n[GROUP:dba,staff]\nB = 2\nA = 3\n[PRIVILEGED]\nP = 1 | 7 | [1]P=1;[2]A=3;B=2;[4]N=1;
[GROUP:staff]\nX = g\n | 5 | 
[group:nosuch,staff]\nA=1\n[GROUP:staff other]\nB=2\n[Group:wheel,, \tstaff] x\nC=3\n[GROUPS:staff]\nD=4 | 7 | [2]A=1;B=2;C=3;D=4;
[GROUP:wheel]\nA=1\n[GROUP: , ]\nB=2\n[GROUP:STAFF]\nC=3\n[GROUP:staffs]\nD=4\n[NONPRIVILEGED]\nE=5 | 7 | [4]E=5;
[PRIVILEGED]\nP = 1\n[GROUP]\nQ = 2\n[GROUP:staff\nR = 3\n | 7 | [1]P=1;Q=2;R=3;
A = $LATER\nLATER = x\nC = ${LATER}y\nC = $C-$C\n | 7 | [4]LATER=x;C=xy-xy;
[PRIVILEGED]\nR = p\n[NONPRIVILEGED]\nR = n\n[PRIVILEGED]\nE = $R\n | 7 | [1]R=p;E=n;[4]R=n;)");
    for (std::string row; std::getline(table, row);) {
        std::string text;
        for (size_t i = 0; i < row.size(); i++)
            text += row[i] != '\\' ? row[i] : "\n\r\t"[std::string("nrt0").find(row[++i])];
        size_t bar = text.find(" | "), second = text.find(" | ", bar + 3);
        EXPECT_EQ(read(text.substr(0, bar), std::stoi(text.substr(bar + 3))),
                  text.substr(second + 3))
            << row;
    }
    EXPECT_EQ(read("A=" + std::string(2045, 'a') + "B=" + std::string(951, 'b') + "\nC = c\n"),
              "[4]A=" + std::string(1023, 'a') + ";B=" + std::string(951, 'b') + ";C=c;");
    g_groups.clear();
    for (gid_t gid = 1000; gid < 2500; gid++)
        g_groups.push_back(gid);
    EXPECT_EQ(read("[GROUP:big]\nX = g\n[GROUP:staff]\nY = h\n"), "[2]X=g;");
    g_groups = {50}; // staff alone
    EXPECT_EQ(read("[GROUP:staff]\nY = h\n"), "[2]Y=h;");
    std::string many, expected = "[4]"; // names come and go through the index
    for (int i = 0; i < 4000; i++)
        many += "K" + std::to_string(i % 3000) + (i < 3000 ? " = 1\n" : " =\n");
    for (int i = 1000; i < 3000; i++)
        expected += "K" + std::to_string(i) + "=1;";
    EXPECT_EQ(read(many), expected);
    psreserverc(1 << 20); // the index moves into a table for 32,768 more names
    for (int i = 0; i < 3000; i++)
        EXPECT_EQ(fscheckrc(("K" + std::to_string(i)).c_str(), 7) != NULL, i >= 1000) << i;
}

// Each SOURCE[/SIZE]=EXPANSION, or NAME@MASK=FOUND ("-": none), against the store below and
// the environment's V=$W, W=w, R=env and EMPTY="".
TEST_F(Zoralrcs, ExpansionAndLookup) {
    const std::string variables[][2] = {
        {"V", "$W"}, {"W", "w"}, {"R", "env"}, {"EMPTY", ""}, {"LONG", std::string(5000, 'L')}};
    for (const auto &[name, value] : variables)
        setenv(name.c_str(), value.c_str(), 1);
    read("B = b\nF = bbbb\nONE = b\na0zA9Z_ = n\n[PRIVILEGED]\nX = p\nY = p\nZ = p\nR = stored\n"
         "[GROUP:staff]\nX = g\nY = g\n[NONPRIVILEGED]\nX = n\nZ = n\nZ =\n[PRIVILEGED]\nE = $Y\n");
    std::string ones; // 1023 characters are copied: 255 references and "$ON", which names nothing
    for (int i = 0; i < 3000; i++)
        ones += "$ONE";
    std::istringstream table(
        "${B}c$B=bcb ${B=${B $-=$- ${B}}=b} $$B=$b ${}=${} x$=x$ $B_x= ${B}_x=b_x "
        "$\xc3\xa9=$\xc3\xa9 ${B-}=${B-} $UNSET= {B}$={B}$ = $a0zA9Z_.=n. $V=$W "
        "${V}$W=$Ww ab$F-tail/8=abbbbb- ab$F-tail/5=abbb $F$F/7=bbbbbb $B/1= X@7=n X@3=g X@1=p "
        "Y@7=g Y@5=p Z@7=p Z@6=- E@1=g R@4=env R@1=stored EMPTY@4= EMPTY@3=- X@0=- x@7=- x$LONG=x" +
        std::string(1022, 'L') + " " + ones + "=" + std::string(255, 'b'));
    for (std::string row; table >> row;) {
        size_t equals = row.find('='), at = row.find('@'), slash = std::min(row.find('/'), equals);
        int size = slash < equals ? std::stoi(row.substr(slash + 1)) : 1024;
        std::string buffer(static_cast<size_t>(size) + 1, '#'), expected = row.substr(equals + 1);
        if (at < equals) {
            const char *found = fscheckrc(row.substr(0, at).c_str(), std::stoi(row.substr(at + 1)));
            EXPECT_EQ(found != NULL ? found : "-", expected) << row;
            continue;
        }
        int result = fsevalval(row.substr(0, slash).c_str(), buffer.data(), size);
        EXPECT_EQ(buffer.back(), '#') << "written past the buffer: " << row;
        EXPECT_EQ(buffer.c_str(), expected) << row;
        EXPECT_EQ(result, !expected.empty()) << row;
    }
    char untouched[] = "keep";
    EXPECT_EQ(fsevalval("$B", untouched, 0) + strcmp(untouched, "keep"), 0);
    EXPECT_EQ(fsevalval(NULL, untouched, sizeof untouched) + strlen(untouched) +
                  (fscheckrc(NULL, 7) != NULL),
              0u);
}

// Read with mask 6 (\n: a line feed, \a: 1023 letters a): the settings taken, what was told.
TEST_F(Zoralrcs, Findings) {
    std::string text, a(1023, 'a');
    const char *file =
        R"([PRIVILEDGED]\nSECRET=1\nnot a setting\nA=${LANG\nB=$UNDEFINED/x\nA=1\n[privileged]\nP=1\n[NONPRIVILEGED]\nB=1\nA=\n)"
        R"([GENERAL]\nX=1\n[PRIVILEGED\n[ NONPRIVILEGED ]\n[GROUP]\n[GRUP:staff]\n[GROUP:staff,nosuch]\nY=2\n[GROUP:staff\n[GROUP:wheel]\n[X]\nZ=1\njunk\n[nonprivileged]\nA=\a\aB=b\nC=x${A}\nD=${A}x\n\a\n)";
    for (const char *c = file; *c != '\0'; c++)
        text += *c != '\\' ? std::string(1, *c) : *++c == 'n' ? "\n" : a;
    vmobserve = &observer;
    FILE *stream = fmemopen(text.data(), text.size(), "r");
    told.insert(0, std::to_string(psreadnamed(stream, 6, "t")) + " ");
    fclose(stream);
    vmobserve = NULL;
    EXPECT_EQ(
        told,
        R"(12 t:1E '[PRIVILEDGED]' is an unknown section (did you mean [PRIVILEGED]?): the settings after it stay in the non-privileged section|t:3E 'not a setting' is neither a setting, a section header nor a comment: it is ignored|t:4E unclosed '${LANG': it stays as written|t:5W '$UNDEFINED' is not set here: it expands to nothing|t:6N 'A' replaces the value from t:4|t:7W a privileged section is ignored in this file: its settings are not stored|t:10N 'B' replaces the value from t:5|t:11N 'A' is empty: it deletes the value from t:6|)"
        R"(t:12E '[GENERAL]' is an unknown section: the settings after it stay in the non-privileged section|t:14E '[PRIVILEGED' is no section header (no ']'): the settings after it stay in the non-privileged section|t:15E '[ NONPRIVILEGED ]' is an unknown section (did you mean [NONPRIVILEGED]?): the settings after it stay in the non-privileged section|t:16E '[GROUP]' is an unknown section (did you mean [GROUP:...]?): the settings after it stay in the non-privileged section|t:17E '[GRUP:staff]' is an unknown section (did you mean [GROUP:...]?): the settings after it stay in the non-privileged section|t:18W no group 'nosuch' is known here|t:20E '[GROUP:staff' is no section header (no ']'): the settings after it stay in the group section|t:22E '[X]' is an unknown section: the settings after it are skipped, as before it|t:24E 'junk' is neither a setting, a section header nor a comment: it is ignored|t:26W the value is cut at 1023 characters|t:26E the line is longer than 2047 bytes: its rest, 'aB=b', is read as a line of its own|t:27W the value is cut at 1023 characters|t:28W the value is cut at 1023 characters|t:29E 'aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa...' is neither a setting, a section header nor a comment: it is ignored|)");
}

// An unknown section is told the known header a third of its letters or fewer away, counting
// each letter added, missing or changed as one, the nearest one first; none further away.
TEST_F(Zoralrcs, UnknownSectionsSuggestTheNearestHeader) {
    const std::pair<std::string, std::string> rows[] = {{"privilegedxyz", "[PRIVILEGED]"},
                                                        {"PRIVILEGEDWXYZ", ""},
                                                        {"PRIVGED", "[PRIVILEGED]"},
                                                        {"PRIGED", ""},
                                                        {"PXIVXLEXED", "[PRIVILEGED]"},
                                                        {"PXIVXLXXED", ""},
                                                        {"NONPRIVILEGE", "[NONPRIVILEGED]"},
                                                        {"GRP", ""},
                                                        {"GROUPS", "[GROUP:...]"}};
    vmobserve = &observer;
    for (const auto &[name, suggested] : rows) {
        told.clear();
        std::string text = "[" + name + "]\n";
        FILE *stream = fmemopen(text.data(), text.size(), "r");
        psreadnamed(stream, 7, "t");
        fclose(stream);
        size_t mean = told.find("did you mean ");
        EXPECT_EQ(mean == std::string::npos ? ""
                                            : told.substr(mean + 13, told.find('?') - mean - 13),
                  suggested)
            << name;
    }
    vmobserve = NULL;
}

// The environment after an export: what it held, then each name it lacked once, with the
// highest level's value; exporting again from the same environment reuses the same texts.
TEST_F(Zoralrcs, ExportAddsEachMissingNameOnce) {
    static char held[] = "HELD=env", bare[] = "BARE", *start[] = {held, bare, held, NULL};
    static std::vector<char *> saved; // setenv below may reallocate the C library's own array
    for (char **entry = environ; saved.empty() || saved.back() != nullptr; entry++)
        saved.push_back(*entry);
    char *made[2][4] = {};
    read("HELD = file\nN = n\nBARE = b\n[PRIVILEGED]\nN = p\nP = p\n");
    for (auto &texts : made) {
        environ = start;
        pssetenvs();
        std::copy(environ + 3, environ + 7, texts);
    }
    setenv("N", "new", 1), unsetenv("BARE"), setenv("LATER", "l", 1);
    std::string out =
        std::string(getenv("N")) + getenv("P") + getenv("LATER") + text(getenv("BARE"));
    environ = saved.data();
    EXPECT_EQ(out + made[0][0] + made[0][1] + made[0][2] + (made[0][3] ? "" : "|"),
              "newpl-BARE=bN=nP=p|");
    EXPECT_TRUE(std::equal(made[0], made[0] + 4, made[1]));
    // Enough settings that the table of texts grows and is filled again, each name the start
    // of other names and of a variable's: V1 is neither V10 nor V1x.
    static std::vector<std::string> variables;
    static std::vector<char *> longer;
    std::string many;
    for (int i = 0; i < 200; i++) {
        many += "V" + std::to_string(i) + " = " + std::to_string(i) + "\n";
        variables.push_back("V" + std::to_string(i) + "x=e");
    }
    for (std::string &variable : variables)
        longer.push_back(variable.data());
    longer.push_back(nullptr);
    read(many);
    std::vector<char *> rounds[2];
    for (auto &texts : rounds) {
        environ = longer.data();
        pssetenvs();
        for (char **entry = environ + 200; *entry != nullptr; entry++)
            texts.push_back(*entry);
    }
    static char only[] = "ONLY=1", *single[] = {only, NULL};
    environ = single;
    pssetenvs();
    std::string kept = text(environ[0]) + text(getenv("V0"));
    environ = saved.data();
    EXPECT_EQ(kept, "ONLY=10");
    EXPECT_EQ(rounds[0].size(), 200u);
    EXPECT_EQ(rounds[0], rounds[1]);
    EXPECT_STREQ(rounds[0][0], "V199=199");
}

// Calls that name no item or no level change nothing, a replacement reads the old value; nothing
// is found once the store is gone.
TEST_F(Zoralrcs, StoreOperationsRefuseWhatIsNoItem) {
    vmsect *non = fsgetsect(QELSCONF_NONPRIVILEGED);
    vmitem *a = fsnewitem(non, "A", "1");
    EXPECT_EQ(fsgetsect(0), fsgetsect(3));
    EXPECT_EQ(fsnewitem(non, "A", "2"), nullptr);
    EXPECT_EQ(fsrepitem(a, "B", "x") + fsrepitem(non->items, "A", "x") + fsrepitem(a, "A", "$A$A"),
              1);
    psdelitem(non->items);
    psdelitem(NULL);
    EXPECT_EQ(listing(), "[4]A=11;"); // expanded before the old value went
    psdeleterc();
    EXPECT_EQ(fsgetsect(QELSCONF_NONPRIVILEGED), nullptr);
    EXPECT_EQ(fscheckrc("A", 7), nullptr);
    psreadfile(NULL, 7);
}

// Settings a program stores and deletes again, however often, leave the heap as they found it.
TEST_F(Zoralrcs, ProgramSettingsComeAndGoWithoutGrowth) {
    vmsect *non = fsgetsect(QELSCONF_NONPRIVILEGED);
    size_t first = 0;
    for (int i = 0; i < 1000; i++) {
        psstoreitem(non, "N", "value", VM_ORIGIN_PROGRAM, 0);
        psstoreitem(non, "N", "", VM_ORIGIN_PROGRAM, 0);
        first = i == 0 ? mallinfo2().uordblks : first;
    }
    EXPECT_EQ(mallinfo2().uordblks, first);
}

} // namespace
