// The process-wide configuration, the data area and the tool in the sandbox installation.
#include <gtest/gtest.h>

#include <errno.h>
#include <limits.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <string>
#include <thread>

#include "dataarea.h"
#include "qels.h"
#include "qelsconf.h"
#include "scratch_dir.h"

// The real user's home directory ("-": no account), and a hook run inside the next lookup.
static std::string g_home;
static std::function<void()> g_in_lookup;

extern "C" struct passwd *getpwuid(uid_t uid) {
    static struct passwd account;
    if (std::function<void()> hook = std::move(g_in_lookup)) {
        g_in_lookup = nullptr;
        hook();
    }
    account.pw_uid = uid;
    account.pw_dir = const_cast<char *>(g_home.c_str());
    return g_home == "-" ? NULL : &account;
}

namespace {

const std::string HOME = VAXO_SANDBOX_HOME;
// "area DIR" makes a full data area; $deep is a 1023-character path, as long as a path buffer
// holds; "run TOOL ARGS" leaves the tool's exit code, output and errors in $T/out.
const std::string HELPERS =
    "area() { mkdir -p $1/conf/sys $1/conf/cof $1/log $1/db $1/ctl && touch $1/ctl/CONTROL.BAF "
    "$1/ctl/CONTROL.BIF; }; deep=$PWD/deep; while [ ${#deep} -lt 824 ]; do deep=$deep/d; done; "
    "deep=$deep/$(printf \"%$((1022 - ${#deep}))s\" '' | tr ' ' x); Q=" QELSCONF_TOOL "; run() { "
    "FAKE_HOME=$T/home LD_PRELOAD=" FAKE_ACCOUNT_LIBRARY " ASAN_OPTIONS=verify_asan_link_order=0:"
    "detect_leaks=0 " VAXO_EMULATOR
    "\"$@\" >$T/o 2>&1; printf '%s ' $? >$T/out; cat $T/o >>$T/out; }; ";

std::string resolved(const std::string &path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != NULL ? buffer : "-";
}

std::string text(const char *value) {
    return value != NULL ? value : "-";
}

class Qelsconf : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(chdir(dir.path.c_str()), 0);
        reset();
    }
    void TearDown() override {
        reset();
    }
    void reset() {
        QelsConfSetPath(NULL);
        QelsConfRemove();
        for (const char *name : {"__KERNEL_DEVELOPER", "__QELSCONF_NOENV", "QELS_HOME", "A", "B",
                                 "D", "P", "U", "X", "PRE", "QELS_BLOCK_SIZE", "QELS_CONF_DIR"})
            unsetenv(name);
        g_home = dir / "home";
        layout("rm -rf var data deep sys/conf sys/lib/libqels.so ../../lib/libqels.so $T/* $T/.Z*");
    }
    // Shell commands run in the installation; "w FILE TEXT" writes TEXT (printf) to FILE.
    void layout(const std::string &commands) {
        std::string script = "cd '" + HOME + "' && T='" + dir.path + "' && A=$PWD/var/conf/sys &&" +
                             " w() { mkdir -p \"$(dirname $1)\" && printf \"$2\" >$1; } && " +
                             HELPERS + commands + " && mkdir -p $T/home";
        ASSERT_EQ(system(script.c_str()), 0) << commands;
    }
    // %T, %P, %V and %H: the scratch directory, the program's home, the data area, the
    // installation; %L a long name; \n and \t their bytes.
    std::string expand(std::string text) const {
        std::string program = resolved("/proc/self/exe");
        for (auto [key, value] : {std::pair<std::string, std::string>{"%T", resolved(dir.path)},
                                  {"%P", resolved(program.substr(0, program.rfind('/')) + "/..")},
                                  {"%L", std::string(1100, 'h')},
                                  {"%V", HOME + "/var"},
                                  {"%H", HOME},
                                  {"\\n", "\n"},
                                  {"\\t", "\t"}})
            for (size_t at; (at = text.find(key)) != std::string::npos;)
                text.replace(at, 2, value);
        return text;
    }
    ScratchDir dir;
};

// Each row: shell commands | environment (@given: the path handed in, @home: the user's home) |
// checks, NAME[@MASK]=VALUE answered by a query (*NAME by the kernel's), $VARIABLE=VALUE by the
// environment, ?=EXISTS, !=91 for a load that ends the process. ">TOOL ARGS" runs the tool.
TEST_F(Qelsconf, SourcesTheEnvironmentAndTheTool) {
    std::istringstream table(
        R"(mkdir -p $T/o/lib $T/x/lib ../../lib && ln -s $T/o/lib/l.so.1 sys/lib/libqels.so && ln -s $T/x/lib/l.so ../../lib/libqels.so | | QELS_HOME=%T/o $QELS_HOME=%T/o
mkdir -p $T/x/lib ../../lib && ln -s $T/x/lib/l.so ../../lib/libqels.so | | QELS_HOME=%T/x
mkdir -p $T/r/lib && ln -s r/lib/libqels.so sys/lib/libqels.so | | QELS_HOME=%T/r
mkdir -p $T/r/lib && ln -s ./r/lib/libqels.so sys/lib/libqels.so | | QELS_HOME=%T/r
ln -s /nonexistent/lib/libqels.so sys/lib/libqels.so | | QELS_HOME=-
mkdir -p ${deep}y/lib && ln -s ${deep}y $T/L && ln -s $T/L/lib/l.so sys/lib/libqels.so | | QELS_HOME=-
true | QELS_BLOCK_SIZE=8192 | QELS_HOME=%P QELS_BLOCK_SIZE=4096 $QELS_BLOCK_SIZE=4096
w $A/qels.conf 'A = area' && w sys/conf/qels.conf 'A = def\nD = def' && w $T/g 'A = g' | @given=%T/g | A=area D=-
w sys/conf/qels.conf 'A = def' && w $T/g 'A = g' | @given=%T/g | A=g $A=g QELS_HOME=-
w sys/conf/qels.conf 'D = def' && w $T/g '[PRIVILEGED]\nP = g' | @given=%T/g @given= | D=def P@1=-
w sys/conf/qels.conf 'D = def' | | D=def
w $T/g 'A = g' && w $T/dev.conf 'B = dev' | __KERNEL_DEVELOPER=%T/dev.conf @given=%T/g | B=dev A=-
w $A/qels.conf 'A = s\nU = s\n[PRIVILEGED]\nP = s' && w $T/home/.ZORALrcs 'U = u\n[PRIVILEGED]\nP = u\nX = u' && w $A/qels.d/a.conf 'A = in' | | A=in U=u P@1=s X=-
w $A/qels.conf '' && w $A/qels.d/a.conf 'A = a' && w $A/qels.d/b.conf.orig 'B = b' && w $A/qels.d/x.config 'X = x' && w $A/qels.d/README 'U = u' | | A=a B=b X=x U=-
w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs QELS_CONF_DIR=$T/e && w $A/qels.conf QELS_CONF_DIR=$T/e | | D=-
w $T/e/d.conf 'D = e' && w $A/qels.conf '[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | | D=e
w $T/e/d.conf 'D = e' && w $A/qels.conf '[PRIVILEGED]\nQELS_CONF_DIR = '$T/e && w $A/qels.d/own.conf 'A = own' | | D=- A=own
mkdir -p $A/qels.d/dir.conf && mkfifo $A/qels.conf $A/qels.d/fifo.conf && ln -s /dev/zero $A/qels.d/zero.conf && ln -s /dev/urandom $T/home/.ZORALrcs && w $A/qels.d/p.conf 'A = p' | | A=p
w $A/qels.conf 'A = area' && w sys/conf/qels.conf 'D = d' && w $T/home/.ZORALrcs 'U = u' && w $A/qels.d/x.conf '[PRIVILEGED]\nX = dropin' && chmod 664 sys/conf/qels.conf && chmod 646 $T/home/.ZORALrcs && chmod 1777 $A/qels.d && chmod 666 $A/qels.conf | __QELSCONF_NOENV= | A=- D=d U=- X@1=-
w $A/qels.conf 'A = area' && w sys/conf/qels.conf 'D = d' && w $T/home/.ZORALrcs 'U = u' && w $A/qels.d/x.conf '[PRIVILEGED]\nX = dropin' && chmod 664 sys/conf/qels.conf && chmod 646 $T/home/.ZORALrcs && chmod 1777 $A/qels.d && chmod 666 $A/qels.conf && chmod 644 $A/qels.conf | __QELSCONF_NOENV= | A=area X@1=-
w $A/qels.conf 'A = area' && w sys/conf/qels.conf 'D = d' && w $T/home/.ZORALrcs 'U = u' && w $A/qels.d/x.conf '[PRIVILEGED]\nX = dropin' && chmod 664 sys/conf/qels.conf && chmod 646 $T/home/.ZORALrcs && chmod 1777 $A/qels.d && chmod 666 $A/qels.conf && chmod 644 $A/qels.conf && chmod 755 $A/qels.d | | X@1=dropin U=-
w sys/conf/qels.conf 'D = d' && w $T/home/.ZORALrcs 'U = u' | @home=- | U=- D=d
w sys/conf/qels.conf '' && w $T/home/.ZORALrcs 'U = u' | @home=/%L | U=-
w $A/qels.conf 'A = a' && w $T/.ZORALrcs 'B = local' && w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs 'U = u' && w $T/dev.conf 'B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | __KERNEL_DEVELOPER=%T/dev.conf | B=dev D=e A=- U=-
w $A/qels.conf 'A = a' && w $T/.ZORALrcs 'B = local' && w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs 'U = u' && w $T/dev.conf 'B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | __KERNEL_DEVELOPER=/nonexistent/dev.conf | B=local
w $A/qels.conf 'A = a' && w $T/.ZORALrcs 'B = local' && w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs 'U = u' && w $T/dev.conf 'B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | __KERNEL_DEVELOPER=/dev/zero | B=local
w $A/qels.conf 'A = a' && w $T/.ZORALrcs 'B = local' && w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs 'U = u' && w $T/dev.conf 'B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | __KERNEL_DEVELOPER=/dev/null | B=- A=-
w $A/qels.conf 'A = a' && w $T/.ZORALrcs 'B = local' && w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs 'U = u' && w $T/dev.conf 'B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | __KERNEL_DEVELOPER=C:\dev.conf | B=local
w $A/qels.conf 'A = a' && w $T/.ZORALrcs 'B = local' && w $T/e/d.conf 'D = e' && w $T/home/.ZORALrcs 'U = u' && w $T/dev.conf 'B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = '$T/e | __KERNEL_DEVELOPER=\dev.conf | B=local
w $T/.ZORALrcs 'B = local' | __KERNEL_DEVELOPER= | ?=0 !=91
w $T/.ZORALrcs 'B = local' | __KERNEL_DEVELOPER=conf/dev.conf | ?=0 ?=1 !=91
w $T/.ZORALrcs 'B = local' | __KERNEL_DEVELOPER=\ | ?=0 !=91
true | __KERNEL_DEVELOPER=/nonexistent/dev.conf | ?=0 *QELS_EXE=- !=91
w $A/qels.conf 'PRE = f\nA = a\n[PRIVILEGED]\nP = p\nA = high' | PRE=before | PRE=before $PRE=before $P=p $A=a A@1=high
w $A/qels.conf 'A = a' | __QELSCONF_NOENV=1 PRE=before | A=a PRE@4=before $A=- $QELS_HOME=- $QELS_BLOCK_SIZE=- QELS_HOME=%P
true | >$Q data-area | 1 The ZORAL data area is not configured (error 2)\n
area var | >$Q data-area --check 0x3E | 0 %V\n
area data/var && ln -s data/var var | >$Q data-area --check 0x3E | 0 %H/data/var\n
mkdir data && touch data/f && ln -s $PWD/data/f var | >$Q data-area --check 1 | 1 The ZORAL data area is not a directory: %H/data/f (error 20)\n
mkdir -p $A var/conf/cof var/log var/db | >$Q data-area --check 0x3E | 1 The ctl directory in the ZORAL data area does not exist: %V/ctl (error 20)\n
mkdir -p var && touch var/log | >$Q data-area --check 0x10 | 1 The log directory in the ZORAL data area is not a directory: %V/log (error 20)\n
mkdir -p var/ctl/CONTROL.BAF | >$Q data-area --check 0x08 | 1 The CONTROL.BAF file was not found at %V/ctl/CONTROL.BAF (error 2)\n
area $deep && ln -s ${deep}yyyy var | >$Q data-area | 1 The ZORAL data area is not configured (error 2)\n
area $deep && ln -s ${deep#$PWD/} var | >$Q data-area --check 2 | 1 The conf/sys directory in the ZORAL data area does not exist: %H/deep/d/...
mkdir -p $T/i/bin && ln -s $Q $T/i/bin/q && L=$(printf %0250d 0) && mkdir -p $T/$L/$L/$L/$L/$L && cd $T/$L/$L/$L/$L/$L | >../../../../../i/bin/q get QELS_HOME | 0 %T/i\n
mkdir -p $T/i/bin && ln -s $Q $T/i/bin/q | >$T/i/bin/q get QELS_HOME | 0 %T/i\n
w $T/f 'A = a\nB = b\n[PRIVILEGED]\nP = p' && export A=env | >$Q --file $T/f print | 0 Table level : Privileged\n\tP\tp\nTable level : Non-privileged\n\tA\tenv\n\tB\tb\n
true | >$Q data-area --check=0x40 | 64 qelsconf: the check mask must be a number from 0 to 0x3F, not 0x40\n...
true | >$Q list --bogus | 64 qelsconf: unknown option --bogus\n...
true | >$Q get | 64 qelsconf: get needs a NAME\n...
true | >$Q --version | 0 qelsconf 1.0.0\n
true | >$Q --file /nonexistent list | 66 qelsconf: cannot read /nonexistent: missing\n
true | >$Q --file=sys print | 66 qelsconf: cannot read sys: wrong kind of file\n
true | >$Q check sys/none.conf | 66 qelsconf: cannot read sys/none.conf: missing\n0 errors, 0 warnings\n
f=$(printf 'sys/q"\001') && w "$f" 'A\001' | >$Q check "$f" | 1 "sys/q\"\001":1: error: 'A?' is neither a setting, a section header nor a comment: it is ignored\n1 error, 0 warnings\n
export __KERNEL_DEVELOPER=/nonexistent/dev.conf | >$Q list | 66 qelsconf: no developer file can be read (__KERNEL_DEVELOPER=/nonexistent/dev.conf)\n
w $T/g 'X = x\n-A = g' | >$Q --file=$T/g get -- -A | 0 g\n
w $T/g 'X = x' | >$Q get --file $T/g --mask=3 X | 1 qelsconf: X is not set\n
true | >sh -c "$Q list >/dev/full" | 74 qelsconf: cannot write the output: No space left on device\n
w $A/qels.conf 'X = 1' && chmod 666 $A/qels.conf && w sys/conf/qels.conf 'A = a\nU = sys\n[PRIVILEGED]\nP = p' && w $T/home/.ZORALrcs 'U = u\n[PRIVILEGED]\nX = x' && w sys/conf/qels.d/a.conf 'A = in\nD = $U' && mkdir -p $T/k/lib && ln -s $T/k/lib/l.so sys/lib/libqels.so && export U=env | >$Q files | 0 %V/conf/sys/qels.conf\twritable by others\n%H/sys/conf/qels.conf\tread with mask 7, 3 settings\n%T/home/.ZORALrcs\tread with mask 6 (privileged sections ignored), 1 setting\n%H/sys/conf/qels.d\tdrop-in directory: qels.d beside the system file\n%H/sys/conf/qels.d/a.conf\tread with mask 7, 2 settings\n
w $A/qels.conf 'X = 1' && chmod 666 $A/qels.conf && w sys/conf/qels.conf 'A = a\nU = sys\n[PRIVILEGED]\nP = p' && w $T/home/.ZORALrcs 'U = u\n[PRIVILEGED]\nX = x' && w sys/conf/qels.d/a.conf 'A = in\nD = $U' && mkdir -p $T/k/lib && ln -s $T/k/lib/l.so sys/lib/libqels.so && export U=env | >$Q list --show-origin | 0 %H/sys/conf/qels.conf:4\tPrivileged\tP\tp\nderived\tNon-privileged\tQELS_HOME\t%T/k\n%H/sys/conf/qels.d/a.conf:1\tNon-privileged\tA\tin\n%T/home/.ZORALrcs:1\tNon-privileged\tU\tu\nenvironment\tEnvironment\tU\tenv\n%H/sys/conf/qels.d/a.conf:2\tNon-privileged\tD\tu\nblock size\tNon-privileged\tQELS_BLOCK_SIZE\t2048\nqelsconf: 0 errors, 2 warnings in the configuration; 'qelsconf check' shows them\n
w $A/qels.conf 'X = 1' && chmod 666 $A/qels.conf && w sys/conf/qels.conf 'A = a\nU = sys\n[PRIVILEGED]\nP = p' && w $T/home/.ZORALrcs 'U = u\n[PRIVILEGED]\nX = x' && w sys/conf/qels.d/a.conf 'A = in\nD = $U' && mkdir -p $T/k/lib && ln -s $T/k/lib/l.so sys/lib/libqels.so && export U=env | >$Q check | 0 %V/conf/sys/qels.conf: warning: passed over: writable by others\n%T/home/.ZORALrcs:1: note: 'U' replaces the value from %H/sys/conf/qels.conf:2\n%T/home/.ZORALrcs:2: warning: a privileged section is ignored in this file: its settings are not stored\n%H/sys/conf/qels.d/a.conf:1: note: 'A' replaces the value from %H/sys/conf/qels.conf:1\n0 errors, 2 warnings\n)");
    for (std::string row; std::getline(table, row);) {
        SCOPED_TRACE(row);
        reset();
        size_t bar = row.find('|'), second = row.find('|', bar + 1);
        std::string middle = row.substr(bar + 1, second - bar - 1);
        if (middle[1] == '>') { // the tool: exit code, output and errors ("..." ends a prefix)
            if (middle[3] != 'Q' && VAXO_EMULATOR[0] != '\0')
                continue; // an emulator resolves a link to the program it runs
            layout(row.substr(0, bar - 1) + " && run " + middle.substr(2));
            std::ifstream out(dir / "out");
            std::string found(std::istreambuf_iterator<char>(out), {}),
                expected = expand(row.substr(second + 2));
            size_t cut =
                expected.rfind("...") == expected.size() - 3 ? expected.size() - 3 : expected.npos;
            EXPECT_EQ(found.substr(0, cut), expected.substr(0, cut));
            continue;
        }
        layout(row.substr(0, bar - 1));
        std::istringstream environment(expand(middle)), checks(expand(row.substr(second + 1)));
        for (std::string setting; environment >> setting;) {
            std::string name = setting.substr(0, setting.find('=')),
                        value = setting.substr(name.size() + 1);
            if (name[0] != '@')
                setenv(name.c_str(), value.c_str(), 1);
            else
                name == "@home" ? void(g_home = value) : QelsConfSetPath(value.c_str());
        }
        for (std::string check; checks >> check;) {
            std::string name = check.substr(0, check.find_first_of("@=")),
                        expected = check.substr(check.find('=') + 1);
            int mask = check[name.size()] == '@' ? atoi(check.c_str() + name.size() + 1) : 7;
            if (name == "!") {
                QelsConfRemove();
                EXPECT_EXIT(QelsConfCreate(), ::testing::ExitedWithCode(91),
                            "^Cannot load config file! \\(#9091\\) : .+\n");
            } else {
                EXPECT_EQ(name == "?"      ? std::to_string(QelsConfExists())
                          : name[0] == '$' ? text(getenv(name.c_str() + 1))
                          : name[0] == '*' ? text(QueryRCS(name.c_str() + 1, mask))
                                           : text(QelsConfQuery(name.c_str(), mask)),
                          expected)
                    << check;
            }
        }
        EXPECT_EQ(resolved("."), resolved(dir.path)) << "the working directory stays";
    }
}

// A file with every fault the reader reports, checked alone: a finding per fault, in order.
TEST_F(Qelsconf, CheckFindsEveryFault) {
    layout(
        R"(w sys/conf/bad.conf '[PRIVILEDGED]\nSECRET = 1\njust words\nA = ${LANG\nB = $UNDEFINED/x\nB = again\nB =\n' && printf 'C = %01100d\nD = %02100d=split\n[GROUP:nosuchgroup]\n[NONPRIVILEGED\n' 0 0 >>sys/conf/bad.conf && run $Q check sys/conf/bad.conf)");
    std::istringstream expected(
        R"(1 sys/conf/bad.conf:1: error: '[PRIVILEDGED]' is an unknown section (did you mean [PRIVILEGED]?): the settings after it stay in the non-privileged section
sys/conf/bad.conf:3: error: 'just words' is neither a setting, a section header nor a comment: it is ignored
sys/conf/bad.conf:4: error: unclosed '${LANG': it stays as written
sys/conf/bad.conf:5: warning: '$UNDEFINED' is not set here: it expands to nothing
sys/conf/bad.conf:6: note: 'B' replaces the value from sys/conf/bad.conf:5
sys/conf/bad.conf:7: note: 'B' is empty: it deletes the value from sys/conf/bad.conf:6
sys/conf/bad.conf:8: warning: the value is cut at 1023 characters
sys/conf/bad.conf:9: warning: the value is cut at 1023 characters
sys/conf/bad.conf:9: error: the line is longer than 2047 bytes: its rest, '0000000000000000000000000000000000000000...', is read as a line of its own
sys/conf/bad.conf:10: warning: no group 'nosuchgroup' is known here
sys/conf/bad.conf:11: error: '[NONPRIVILEGED' is no section header (no ']'): the settings after it are skipped, as before it
5 errors, 4 warnings
)");
    std::ifstream out(dir / "out");
    for (std::string line, found; std::getline(expected, line);)
        EXPECT_EQ(std::getline(out, found) ? found : "(no more output)", line);
    EXPECT_EQ(out.peek(), EOF) << "nothing more";
}

TEST_F(Qelsconf, TheApi) {
    layout("w $A/qels.conf 'A = 1\nX = 3\nB = 2\n[PRIVILEGED]\nX = high\n[GROUP:]\n'");
    std::string home = text(QelsConfQuery("QELS_HOME", 7)), listing;
    layout("w $A/qels.conf 'A = 2\n'");
    EXPECT_EQ(text(QelsConfQuery("X", 1)), "high") << "loaded once";
    setenv("P", "bee", 1);
    QelsConfUpdate("A", "$P-x"); // exported as given, stored expanded
    QelsConfUpdate("  X  ", NULL), QelsConfUpdate("Y", "   "), QelsConfUpdate("D", "old");
    errno = ENOMEM;             // left over from an earlier call: no failure of this one
    QelsConfUpdate("D", "new"); // the value now has a block of its own
    EXPECT_EQ(text(getenv("A")) + text(getenv("X")) + text(getenv("D")), "$P-xnew");
    int level = 0;
    char *value = NULL;
    QelsConfStart();
    while (const char *name = QelsConfNext(&level, &value))
        listing += std::to_string(level) + " " + name + "=" + value + ";";
    EXPECT_EQ(listing,
              "1 X=high;4 QELS_HOME=" + home + ";4 A=bee-x;4 B=2;4 QELS_BLOCK_SIZE=2048;4 D=new;");
    QelsConfUpdate("D", value); // a text of the store itself, replaced on the way
    EXPECT_EQ(text(getenv("D")), "new");
    QelsConfStart(), QelsConfNext(&level, &value), QelsConfNext(&level, &value); // on A
    QelsConfUpdate("B", NULL); // another item goes: the listing goes on
    EXPECT_STREQ(QelsConfNext(&level, &value), "A");
    QelsConfUpdate("QELS_BLOCK_SIZE", NULL); // the item under the cursor goes: the listing ends
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr);
    QelsConfStart(), QelsConfRemove();
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr) << "after the store was freed";
}

// Run set-group-ID, the caller's environment does not decide what a process reads.
TEST_F(Qelsconf, SetIdAndLockedDirectories) {
    if (getenv("VAXO_SETID_COPY") != NULL) {
        layout("w $A/qels.conf 'A = area'");
        setenv("__KERNEL_DEVELOPER", "conf/dev.conf", 1); // would fail the load
        EXPECT_EQ(text(QelsConfQuery("A", 7)), "area");
        return;
    }
    if (geteuid() != 0 || VAXO_EMULATOR[0] != '\0')
        GTEST_SKIP() << "needs root to change users, and no emulator to run a copy";
    // The home is derived without the working directory, which need not be searchable.
    layout("mkdir -p $T/o/lib $T/locked && ln -s $T/o/lib/l.so sys/lib/libqels.so && chmod 755 $T "
           "&& chmod 0 $T/locked");
    const std::string expected = resolved(dir / "o");
    EXPECT_EXIT(exit(chdir((dir / "locked").c_str()) != 0 || setuid(65534) != 0 ||
                     text(QelsConfQuery("QELS_HOME", 7)) != expected),
                ::testing::ExitedWithCode(0), "");
    std::string copy = dir / "setid_test";
    layout("cp " + resolved("/proc/self/exe") + " " + copy + " && chgrp 65534 " + copy +
           " && chmod 2755 " + copy + " && VAXO_SETID_COPY=1 ASAN_OPTIONS=detect_leaks=0 " + copy +
           " --gtest_filter=Qelsconf.SetIdAndLockedDirectories | grep -q 'PASSED  ] 1 test'");
}

TEST_F(Qelsconf, RacingFirstCallsShareOneLoad) {
    layout("w $T/home/.ZORALrcs 'U = user\n'");
    std::promise<std::string> promise;
    std::future<std::string> second = promise.get_future();
    std::thread racer;
    g_in_lookup = [&] {
        racer = std::thread([&] { promise.set_value(text(QelsConfQuery("U", 7))); });
        second.wait_for(std::chrono::milliseconds(500)); // ample for a call that does not wait
    };
    EXPECT_EQ(text(QelsConfQuery("U", 7)), "user");
    racer.join();
    EXPECT_EQ(second.get(), "user");
}

// An error that does not fit the caller's buffer is cut; a path that does not fit is refused.
TEST_F(Qelsconf, DataAreaNeverOverrunsCallerBuffers) {
    layout("mkdir var");
    EXPECT_EQ(GetZoralDataArea(NULL, 0, DATAAREA_CHECK_LOG, NULL, 0), ENOTDIR);
    char path[DATAAREA_PATH_SIZE] = "untouched", error[] = "stale";
    EXPECT_EQ(GetZoralDataArea(path, static_cast<int>(HOME.size()) + 4, 0, error, 4), ERANGE);
    EXPECT_EQ(path + std::string("|") + error, "untouched|The");
    EXPECT_EQ(GetZoralDataArea(path, sizeof path, DATAAREA_CHECK_LOG, error, 1), ENOTDIR);
    EXPECT_EQ(path + std::string("|") + error, "untouched|");
    EXPECT_EQ(GetZoralDataArea(path, 0, 0, error, 1), 0); // no room for the path: not asked
}

} // namespace
