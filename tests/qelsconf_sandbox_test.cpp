// Loading the process-wide configuration from the sandbox installation, and the
// exported API over it. Each case runs in its own process under ctest; the
// fixture still resets what it can so that the cases also run in one process.
#include <gtest/gtest.h>

#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/auxv.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "qelsconf.h"
#include "zoralrcs_internal.h"

// The real user's account, as the loader sees it: home directory g_home, or none.
static std::string g_home;
static bool g_no_account = false;
// Runs once, inside the next lookup: the loader is then half-way through a load.
static std::function<void()> g_in_lookup;

extern "C" struct passwd *getpwuid(uid_t uid) {
    static struct passwd account;
    static char name[] = "tester";
    if (g_in_lookup) {
        std::function<void()> hook = std::move(g_in_lookup);
        g_in_lookup = nullptr;
        hook();
    }
    if (g_no_account)
        return NULL;
    account.pw_name = name;
    account.pw_uid = uid;
    account.pw_dir = const_cast<char *>(g_home.c_str());
    return &account;
}

namespace {

const std::string HOME = VAXO_SANDBOX_HOME;
const std::string AREA = HOME + "/var";
const std::string DEFAULT_FILE = HOME + "/sys/conf/qels.conf";
const std::string FIRST_LINK = HOME + "/sys/lib/libqels.so";
const std::string SECOND_LINK = std::string(VAXO_SANDBOX) + "/usr/lib/libqels.so";

const char *const VARIABLES[] = {"__KERNEL_DEVELOPER",
                                 "__QELSCONF_NOENV",
                                 "QELS_HOME",
                                 "QELS_BLOCK_SIZE",
                                 "QELS_CONF_DIR",
                                 "A",
                                 "B",
                                 "P",
                                 "U",
                                 "D",
                                 "X",
                                 "Y",
                                 "PRE"};

void sh(const std::string &command) {
    ASSERT_EQ(system(command.c_str()), 0) << command;
}

void write(const std::string &path, const std::string &text) {
    sh("mkdir -p \"$(dirname '" + path + "')\"");
    std::ofstream(path) << text;
}

std::string resolved(const std::string &path) {
    char buffer[PATH_MAX];
    return realpath(path.c_str(), buffer) != NULL ? buffer : "<unresolvable " + path + ">";
}

std::string cwd() {
    char buffer[PATH_MAX];
    return getcwd(buffer, sizeof buffer) != NULL ? buffer : "";
}

std::string query(const char *name, int mask) {
    const char *value = QelsConfQuery(name, mask);
    return value != NULL ? value : "<unset>";
}

bool starts_with(const std::string &text, const std::string &prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

std::string env(const char *name) {
    const char *value = getenv(name);
    return value != NULL ? value : "<unset>";
}

// Every setting, as "level name=value", in listing order.
std::vector<std::string> listing() {
    std::vector<std::string> out;
    QelsConfStart();
    int level = 0;
    char *value = NULL;
    while (const char *name = QelsConfNext(&level, &value))
        out.push_back(std::to_string(level) + " " + name + "=" + value);
    return out;
}

class Loading : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vaxo-conf-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        tmp = tmpl;
        start = cwd();
        g_home = tmp + "/home";
        g_no_account = false;
        sh("mkdir -p '" + g_home + "'");
        clean();
        for (const char *name : VARIABLES)
            unsetenv(name);
        QelsConfSetPath(NULL);
        QelsConfRemove();
    }
    void TearDown() override {
        ASSERT_EQ(chdir(start.c_str()), 0);
        clean();
        sh("rm -rf '" + tmp + "'");
    }
    void clean() {
        sh("rm -rf '" + AREA + "' '" + HOME + "/sys/conf' '" + FIRST_LINK + "' '" + SECOND_LINK +
           "'");
    }
    // A data area whose system file holds text.
    void area_file(const std::string &text) {
        write(AREA + "/conf/sys/qels.conf", text);
    }
    std::string tmp, start;
};

using Home = Loading;

TEST_F(Home, FromTheFirstLinkResolvedByTheSystem) {
    sh("mkdir -p '" + tmp + "/opt/zoral/sys/lib' '" + tmp + "/other/lib' '" + HOME + "/sys/lib' '" +
       VAXO_SANDBOX + "/usr/lib'");
    ASSERT_EQ(symlink((tmp + "/opt/zoral/sys/lib/libqels.so.1").c_str(), FIRST_LINK.c_str()), 0);
    ASSERT_EQ(symlink((tmp + "/other/lib/libqels.so").c_str(), SECOND_LINK.c_str()), 0);
    EXPECT_EQ(query("QELS_HOME", 7), resolved(tmp + "/opt/zoral/sys"));
    EXPECT_EQ(env("QELS_HOME"), resolved(tmp + "/opt/zoral/sys"));
    EXPECT_EQ(cwd(), start);
}

TEST_F(Home, FromTheSecondLinkWhenTheFirstIsMissing) {
    sh("mkdir -p '" + tmp + "/second/lib' '" + VAXO_SANDBOX + "/usr/lib'");
    ASSERT_EQ(symlink((tmp + "/second/lib/x.so").c_str(), SECOND_LINK.c_str()), 0);
    EXPECT_EQ(query("QELS_HOME", 7), resolved(tmp + "/second"));
}

TEST_F(Home, FromTheRunningProgramWithoutLinks) {
    std::string program = resolved("/proc/self/exe");
    std::string dir = program.substr(0, program.rfind('/'));
    EXPECT_EQ(query("QELS_HOME", 7), resolved(dir + "/.."));
}

TEST_F(Home, RelativeLinkTargetsAreTakenFromTheWorkingDirectory) {
    sh("mkdir -p '" + tmp + "/rel/lib' '" + HOME + "/sys/lib'");
    ASSERT_EQ(symlink("rel/lib/libqels.so", FIRST_LINK.c_str()), 0);
    ASSERT_EQ(chdir(tmp.c_str()), 0);
    EXPECT_EQ(query("QELS_HOME", 7), resolved(tmp + "/rel"));
    EXPECT_EQ(cwd(), resolved(tmp));

    QelsConfRemove();
    unsetenv("QELS_HOME");
    unlink(FIRST_LINK.c_str());
    ASSERT_EQ(symlink("./lib/libqels.so", FIRST_LINK.c_str()), 0); // "./lib/" keeps "lib/"
    sh("mkdir -p '" + tmp + "/lib'");
    EXPECT_EQ(query("QELS_HOME", 7), resolved(tmp));
}

TEST_F(Home, NeedsNoSearchableWorkingDirectory) {
    sh("mkdir -p '" + tmp + "/opt/lib' '" + tmp + "/locked' '" + HOME + "/sys/lib'");
    ASSERT_EQ(symlink((tmp + "/opt/lib/libqels.so").c_str(), FIRST_LINK.c_str()), 0);
    sh("chmod 755 '" + tmp + "' && chmod 0 '" + tmp + "/locked'");
    std::string expected = resolved(tmp + "/opt");
    EXPECT_EXIT(
        {
            // As another user than root, whom no permission stops.
            if (chdir((tmp + "/locked").c_str()) != 0 || (geteuid() == 0 && setuid(65534) != 0))
                exit(2);
            exit(query("QELS_HOME", 7) == expected ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Home, AnUnreachableDirectoryGivesNoHome) {
    sh("mkdir -p '" + HOME + "/sys/lib'");
    ASSERT_EQ(symlink("/nonexistent/lib/libqels.so", FIRST_LINK.c_str()), 0);
    EXPECT_EQ(query("QELS_HOME", 7), "<unset>");
    EXPECT_EQ(cwd(), start);
}

using Files = Loading;

TEST_F(Files, DataAreaFileWinsOverTheDefaultAndAGivenPath) {
    area_file("A = area\n");
    write(DEFAULT_FILE, "A = default\nD = default\n");
    EXPECT_EQ(query("A", 7), "area");
    EXPECT_EQ(query("D", 7), "<unset>");

    write(tmp + "/given.conf", "A = given\n");
    QelsConfSetPath((tmp + "/given.conf").c_str());
    EXPECT_EQ(query("A", 3 | 4), "area");
}

TEST_F(Files, DefaultThenGivenPathWithoutADataArea) {
    write(DEFAULT_FILE, "A = default\n");
    EXPECT_EQ(query("A", 7), "default");
    EXPECT_NE(query("QELS_HOME", 7), "<unset>");

    unsetenv("QELS_HOME");
    unsetenv("A");
    write(tmp + "/given.conf", "A = given\n");
    QelsConfSetPath((tmp + "/given.conf").c_str());
    EXPECT_EQ(query("A", 7), "given");
    EXPECT_EQ(query("QELS_HOME", 7), "<unset>") << "not derived while a path is given";

    QelsConfSetPath("");
    unsetenv("A");
    EXPECT_EQ(query("A", 7), "default");
    EXPECT_NE(query("QELS_HOME", 7), "<unset>");
}

TEST_F(Files, ReadingOrderAndTheUsersPrivilegedSections) {
    area_file("A = system\nU = system\n[PRIVILEGED]\nP = system\n");
    write(g_home + "/.ZORALrcs", "U = user\n[PRIVILEGED]\nP = user\nX = user\n");
    sh("mkdir -p '" + AREA + "/conf/sys/qels.d'");
    write(AREA + "/conf/sys/qels.d/a.conf", "A = dropin\n");
    EXPECT_EQ(query("A", 7), "dropin");
    EXPECT_EQ(query("U", 7), "user");
    EXPECT_EQ(query("P", 1), "system");
    EXPECT_EQ(query("X", 7), "<unset>");
}

TEST_F(Files, UserFileNeedsAnAccountAndAFittingPath) {
    write(DEFAULT_FILE, "");
    write(g_home + "/.ZORALrcs", "U = user\n");
    g_no_account = true;
    EXPECT_EQ(query("U", 7), "<unset>");

    QelsConfRemove();
    g_no_account = false;
    g_home += "/"; // a home that ends in "/" gets no second one
    EXPECT_EQ(query("U", 7), "user");

    QelsConfRemove();
    unsetenv("U");
    g_home = "/" + std::string(1100, 'h'); // would not fit: skipped, not cut
    EXPECT_EQ(query("U", 7), "<unset>");
}

TEST_F(Files, DropInsAreEntriesNamingConf) {
    area_file("");
    std::string dir = AREA + "/conf/sys/qels.d/";
    write(dir + "a.conf", "A = a\n");
    write(dir + "b.conf.orig", "B = b\n");
    write(dir + "x.config", "X = x\n");
    write(dir + "README", "Y = readme\n");
    EXPECT_EQ(query("A", 7), "a");
    EXPECT_EQ(query("B", 7), "b");
    EXPECT_EQ(query("X", 7), "x");
    EXPECT_EQ(query("Y", 7), "<unset>");
}

TEST_F(Files, ConfDirComesOnlyFromThePrivilegedSection) {
    write(tmp + "/extra/d.conf", "D = extra\n");
    write(g_home + "/.ZORALrcs", "QELS_CONF_DIR = " + tmp + "/extra\n");
    area_file("QELS_CONF_DIR = " + tmp + "/extra\n");
    EXPECT_EQ(query("D", 7), "<unset>");

    QelsConfRemove();
    area_file("[PRIVILEGED]\nQELS_CONF_DIR = " + tmp + "/extra\n");
    EXPECT_EQ(query("D", 7), "extra");

    QelsConfRemove();
    unsetenv("D");
    write(AREA + "/conf/sys/qels.d/own.conf", "A = beside\n");
    EXPECT_EQ(query("D", 7), "<unset>") << "qels.d beside the system file wins";
    EXPECT_EQ(query("A", 7), "beside");
}

TEST_F(Files, DevicesAndDirectoriesArePassedOverAndFifosReadAsEmpty) {
    std::string sys = AREA + "/conf/sys";
    sh("mkdir -p '" + sys + "/qels.d/dir.conf' && mkfifo '" + sys + "/qels.conf' '" + sys +
       "/qels.d/fifo.conf'");
    ASSERT_EQ(symlink("/dev/zero", (sys + "/qels.d/zero.conf").c_str()), 0);
    ASSERT_EQ(symlink("/dev/urandom", (g_home + "/.ZORALrcs").c_str()), 0);
    write(sys + "/qels.d/plain.conf", "A = plain\n");
    EXPECT_EQ(query("A", 7), "plain");
}

TEST_F(Files, SourcesWritableByOthersArePassedOver) {
    setenv("__QELSCONF_NOENV", "", 1);
    std::string sys = AREA + "/conf/sys";
    area_file("A = area\n");
    write(DEFAULT_FILE, "D = default\n");
    write(g_home + "/.ZORALrcs", "U = user\n");
    write(sys + "/qels.d/x.conf", "[PRIVILEGED]\nX = dropin\n");
    struct Case {
        std::string path;
        mode_t mode;
    } cases[] = {{sys + "/qels.conf", 0666},
                 {DEFAULT_FILE, 0664},
                 {g_home + "/.ZORALrcs", 0646},
                 {sys + "/qels.d", 01777}};
    for (const Case &c : cases)
        ASSERT_EQ(chmod(c.path.c_str(), c.mode), 0) << c.path;
    EXPECT_EQ(query("A", 7), "<unset>");
    EXPECT_EQ(query("D", 7), "default") << "group-writable files are read";
    EXPECT_EQ(query("U", 7), "<unset>");

    QelsConfRemove();
    ASSERT_EQ(chmod((sys + "/qels.conf").c_str(), 0644), 0);
    EXPECT_EQ(query("A", 7), "area");
    EXPECT_EQ(query("X", 1), "<unset>") << "anyone could have added the file";
    ASSERT_EQ(chmod((sys + "/qels.d").c_str(), 0755), 0);
    QelsConfRemove();
    EXPECT_EQ(query("X", 1), "dropin");
}

using Developer = Loading;

TEST_F(Developer, TheNamedFileIsTheOnlyOneRead) {
    area_file("A = area\n");
    write(g_home + "/.ZORALrcs", "U = user\n");
    write(tmp + "/extra/d.conf", "D = extra\n");
    write(tmp + "/dev.conf", "B = dev\n[PRIVILEGED]\nQELS_CONF_DIR = " + tmp + "/extra\n");
    setenv("__KERNEL_DEVELOPER", (tmp + "/dev.conf").c_str(), 1);
    EXPECT_EQ(query("B", 7), "dev");
    EXPECT_EQ(query("D", 7), "extra");
    EXPECT_EQ(query("A", 7), "<unset>");
    EXPECT_EQ(query("U", 7), "<unset>");
}

TEST_F(Developer, FallsBackToTheWorkingDirectorysFile) {
    write(tmp + "/.ZORALrcs", "B = local\n");
    ASSERT_EQ(chdir(tmp.c_str()), 0);
    for (const char *value : {"/nonexistent/dev.conf", "C:\\dev.conf", "\\dev.conf", "/dev/zero"}) {
        QelsConfRemove();
        unsetenv("B");
        setenv("__KERNEL_DEVELOPER", value, 1);
        EXPECT_EQ(QelsConfExists(), 1) << value;
        EXPECT_EQ(query("B", 7), "local") << value;
    }
    QelsConfRemove();
    unsetenv("B");
    setenv("__KERNEL_DEVELOPER", "/dev/null", 1); // the empty file, not a missing one
    EXPECT_EQ(query("B", 7), "<unset>");
    EXPECT_EQ(QelsConfExists(), 1);
}

TEST_F(Developer, ARelativeOrMissingFileFailsWith91) {
    ASSERT_EQ(chdir(tmp.c_str()), 0);
    struct Case {
        const char *value;
        bool local_file; // a ./.ZORALrcs that only an absolute value may fall back to
    } cases[] = {
        {"conf/dev.conf", true}, {"", true}, {"\\", true}, {"/nonexistent/dev.conf", false}};
    for (const Case &c : cases) {
        const char *value = c.value;
        if (c.local_file)
            write(tmp + "/.ZORALrcs", "B = local\n");
        else
            unlink((tmp + "/.ZORALrcs").c_str());
        setenv("__KERNEL_DEVELOPER", value, 1);
        QelsConfRemove();
        EXPECT_EQ(QelsConfExists(), 0) << value;
        EXPECT_EQ(QelsConfExists(), 1) << "the partly built store stays";
        QelsConfRemove();
        EXPECT_EXIT(QelsConfCreate(), ::testing::ExitedWithCode(91),
                    "^Cannot load config file! \\(#9091\\) : .+\n");
        EXPECT_EXIT(QelsConfQuery("A", 7), ::testing::ExitedWithCode(91), "#9091");
    }
}

// Run as a set-group-ID copy of this program, the environment names no file to read.
TEST_F(Developer, NotHonouredInASetIdProcess) {
    if (getenv("VAXO_SETID_COPY") != NULL) {
        ASSERT_NE(getauxval(AT_SECURE), 0u);
        area_file("A = area\n");
        setenv("__KERNEL_DEVELOPER", "conf/dev.conf", 1); // would fail the load
        EXPECT_EQ(QelsConfExists(), 1);
        EXPECT_EQ(query("A", 7), "area");
        return;
    }
    if (geteuid() != 0 || VAXO_EMULATOR[0] != '\0')
        GTEST_SKIP() << "needs root to make a set-group-ID copy, and no emulator to run it";
    std::string copy = tmp + "/setid_test";
    sh("cp '" + resolved("/proc/self/exe") + "' '" + copy + "' && chgrp 65534 '" + copy +
       "' && chmod 2755 '" + copy + "'");
    // Leak checking cannot inspect a set-ID process.
    FILE *pipe = popen(("VAXO_SETID_COPY=1 ASAN_OPTIONS=detect_leaks=0 '" + copy +
                        "' --gtest_filter=Developer.NotHonouredInASetIdProcess 2>&1")
                           .c_str(),
                       "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char chunk[4096];
    while (size_t n = fread(chunk, 1, sizeof chunk, pipe))
        out.append(chunk, n);
    EXPECT_EQ(pclose(pipe), 0) << out;
    EXPECT_NE(out.find("[  PASSED  ] 1 test."), std::string::npos) << out;
}

TEST_F(Developer, DropsAGivenPathForTheDefault) {
    write(tmp + "/given.conf", "A = given\n");
    write(tmp + "/dev.conf", "B = dev\n");
    QelsConfSetPath((tmp + "/given.conf").c_str());
    setenv("__KERNEL_DEVELOPER", (tmp + "/dev.conf").c_str(), 1);
    QelsConfRemove();
    EXPECT_EQ(query("B", 7), "dev");
    QelsConfSetPath(""); // the default path must not be released
    unsetenv("__KERNEL_DEVELOPER");
    QelsConfSetPath(NULL);
}

using Environment = Loading;

TEST_F(Environment, SettingsAreExportedWithoutOverwriting) {
    setenv("PRE", "before", 1);
    area_file("PRE = file\nA = a\n[PRIVILEGED]\nP = privileged\nA = high\n");
    EXPECT_EQ(query("PRE", 7), "before");
    EXPECT_EQ(env("PRE"), "before");
    EXPECT_EQ(env("P"), "privileged");
    EXPECT_EQ(env("A"), "a") << "the highest level wins the environment";
    EXPECT_EQ(query("A", 1), "high");
}

TEST_F(Environment, NoEnvLeavesTheEnvironmentAlone) {
    setenv("__QELSCONF_NOENV", "", 1);
    setenv("PRE", "before", 1);
    area_file("A = a\n");
    EXPECT_EQ(query("A", 7), "a");
    EXPECT_EQ(query("PRE", 4), "before");
    EXPECT_EQ(env("A"), "<unset>");
    EXPECT_EQ(env("QELS_HOME"), "<unset>");
    EXPECT_EQ(env("QELS_BLOCK_SIZE"), "<unset>");
    EXPECT_NE(query("QELS_HOME", 3 | 4), "<unset>");
}

TEST_F(Environment, BlockSizeIs2048Or4096) {
    struct Case {
        const char *configured;
        const char *expected;
    } cases[] = {{"2048", "2048"},
                 {"2049", "4096"},
                 {"3000", "4096"},
                 {"100000", "4096"},
                 {"abc", "2048"},
                 {"12abc", "2048"},
                 {"99999999999999999999999", "4096"}};
    for (const Case &c : cases) {
        QelsConfRemove();
        unsetenv("QELS_BLOCK_SIZE");
        area_file(std::string("QELS_BLOCK_SIZE = ") + c.configured + "\n");
        EXPECT_EQ(query("QELS_BLOCK_SIZE", 7), c.expected) << c.configured;
        EXPECT_EQ(env("QELS_BLOCK_SIZE"), c.expected) << c.configured;
    }

    QelsConfRemove();
    clean();
    setenv("QELS_BLOCK_SIZE", "8192", 1);
    EXPECT_EQ(query("QELS_BLOCK_SIZE", 7), "4096");
    EXPECT_EQ(env("QELS_BLOCK_SIZE"), "4096");

    QelsConfRemove();
    unsetenv("QELS_BLOCK_SIZE");
    EXPECT_EQ(query("QELS_BLOCK_SIZE", 7), "2048") << "no files at all";
}

using Api = Loading;

TEST_F(Api, UpdateSetsAndRemovesNonPrivilegedSettings) {
    area_file("[PRIVILEGED]\nX = high\n");
    EXPECT_EQ(query("X", 0), "<unset>");
    QelsConfUpdate("X", "1");
    EXPECT_EQ(query("X", 4), "1");
    EXPECT_EQ(query("X", 3), "high");
    QelsConfUpdate("Y", "1");
    EXPECT_EQ(query("Y", 3), "<unset>");

    setenv("B", "bee", 1);
    QelsConfUpdate("A", "$B-x");
    EXPECT_EQ(env("A"), "$B-x");
    EXPECT_EQ(query("A", 7), "$B-x");
    EXPECT_EQ(listing().back(), "4 A=bee-x");

    QelsConfUpdate("  Y  ", NULL);
    EXPECT_EQ(env("Y"), "");
    for (const std::string &line : listing())
        EXPECT_EQ(line.find(" Y="), std::string::npos) << line;
    QelsConfUpdate("X", "   ");
    EXPECT_EQ(env("X"), "");
    EXPECT_EQ(query("X", 3), "high") << "privileged settings are not touched";

    setenv("U", "kept", 1);
    QelsConfUpdate("U", NULL); // not stored: nothing changes
    EXPECT_EQ(env("U"), "kept");

    QelsConfUpdate("D", "old");
    QelsConfUpdate("D", "stored"); // the value now has a block of its own
    char *stored = NULL;
    QelsConfStart();
    int level = 0;
    for (char *value = NULL; const char *name = QelsConfNext(&level, &value);)
        stored = strcmp(name, "D") == 0 ? value : stored;
    QelsConfUpdate("D", stored); // a text of the store itself, replaced on the way
    EXPECT_EQ(env("D"), "stored");
}

TEST_F(Api, RacingFirstCallsShareOneLoad) {
    write(g_home + "/.ZORALrcs", "U = user\n");
    std::promise<std::string> promise;
    std::future<std::string> second = promise.get_future();
    std::thread racer;
    g_in_lookup = [&] {
        racer = std::thread([&] { promise.set_value(query("U", 7)); });
        second.wait_for(std::chrono::milliseconds(500)); // ample for a call that does not wait
    };
    EXPECT_EQ(query("U", 7), "user");
    racer.join();
    EXPECT_EQ(second.get(), "user");
}

TEST_F(Api, UpdateWithoutExportAnswersTheExpandedValue) {
    setenv("__QELSCONF_NOENV", "1", 1);
    setenv("B", "bee", 1);
    QelsConfUpdate("A", "$B-x");
    EXPECT_EQ(query("A", 7), "bee-x");
    EXPECT_EQ(env("A"), "<unset>");
}

TEST_F(Api, PrintShowsEachSectionAndItsItems) {
    testing::internal::CaptureStdout();
    QelsConfPrint();
    std::string home = query("QELS_HOME", 7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Table level : Non-privileged\n\tQELS_HOME\t" + home + "\n\tQELS_BLOCK_SIZE\t2048\n");

    QelsConfRemove();
    area_file("[PRIVILEGED]\nP = stored\n[GROUP:]\n[NONPRIVILEGED]\nA = stored\n");
    setenv("P", "env", 1);
    setenv("A", "env", 1);
    testing::internal::CaptureStdout();
    QelsConfPrint();
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(starts_with(out, "Table level : Privileged\n\tP\tstored\n"
                                 "Table level : Non-privileged\n\tQELS_HOME\t"))
        << out;
    EXPECT_NE(out.find("\n\tA\tenv\n\tQELS_BLOCK_SIZE\t2048\n"), std::string::npos) << out;
}

TEST_F(Api, ListingOrderAndItsEnd) {
    area_file("A = 1\nB = 2\n[PRIVILEGED]\nP = p\n[NONPRIVILEGED]\nA = 3\n");
    std::vector<std::string> all = listing();
    ASSERT_GE(all.size(), 5u);
    EXPECT_EQ(all[0], "1 P=p");
    EXPECT_TRUE(starts_with(all[1], "4 QELS_HOME=")) << all[1];
    EXPECT_EQ(all[2], "4 A=3");
    EXPECT_EQ(all[3], "4 B=2");
    EXPECT_EQ(all.back(), "4 QELS_BLOCK_SIZE=2048");
    int level = -1;
    char *value = NULL;
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr);
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr);
    EXPECT_EQ(level, -1);
}

TEST_F(Api, NextIsSafeInEveryState) {
    int level = 0;
    char *value = NULL;
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr) << "before any start";
    area_file("A = 1\nB = 2\nX = 3\n");
    QelsConfStart();
    QelsConfRemove();
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr) << "after the store was freed";

    QelsConfStart();
    QelsConfSetPath((tmp + "/none.conf").c_str());
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr) << "after the store was rebuilt";

    QelsConfSetPath(NULL);
    QelsConfStart();
    std::string first = QelsConfNext(&level, &value); // QELS_HOME; the cursor is on A
    QelsConfUpdate("A", NULL);
    EXPECT_EQ(QelsConfNext(&level, &value), nullptr) << "the item under the cursor is gone";

    QelsConfStart();
    QelsConfNext(&level, &value); // cursor on B
    QelsConfUpdate("X", NULL);    // another item goes: the listing goes on
    const char *next = QelsConfNext(&level, &value);
    ASSERT_NE(next, nullptr);
    EXPECT_STREQ(next, "B");
}

TEST_F(Api, StartOnAStoreWithoutSections) {
    QelsConfSetPath((tmp + "/none.conf").c_str());
    EXPECT_TRUE(listing().empty());
}

TEST_F(Api, ExistsLoadsOnceAndAgainAfterRemove) {
    area_file("A = 1\n");
    EXPECT_EQ(QelsConfExists(), 1);
    area_file("A = 2\n");
    EXPECT_EQ(query("A", 3 | 4), "1");
    QelsConfRemove();
    unsetenv("A");
    EXPECT_EQ(QelsConfExists(), 1);
    EXPECT_EQ(query("A", 7), "2");
}

TEST_F(Api, OverlongPathsAreSkipped) {
    QelsConfSetPath(("/" + std::string(2000, 'p')).c_str());
    EXPECT_TRUE(listing().empty());
    QelsConfSetPath(NULL);
}

// The tool runs as its own process; the account double keeps it out of real homes.
class Tool : public Loading {
  protected:
    int run(const std::string &args, std::string *out, std::string *err = nullptr,
            const std::string &feed = "true", const std::string &program = QELSCONF_TOOL) {
        std::string errfile = tmp + "/stderr";
        std::string command =
            "(" + feed + ") | FAKE_HOME='" + g_home +
            "' LD_PRELOAD='" FAKE_ACCOUNT_LIBRARY
            "' ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=0 " VAXO_EMULATOR "'" +
            program + "' " + args + " 2>'" + errfile + "'";
        FILE *pipe = popen(command.c_str(), "r");
        out->clear();
        char chunk[4096];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
            out->append(chunk, n);
        int status = pclose(pipe);
        if (err != nullptr) {
            std::ifstream in(errfile);
            err->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
};

TEST_F(Tool, HelpGetListPrint) {
    std::string out, err;
    EXPECT_EQ(run("--help", &out), 0);
    EXPECT_NE(out.find("Usage: qelsconf"), std::string::npos);

    area_file("A = from area\n[PRIVILEGED]\nP = p\n");
    write(g_home + "/.ZORALrcs", "U = user\n");
    EXPECT_EQ(run("get A", &out), 0);
    EXPECT_EQ(out, "from area\n");
    EXPECT_EQ(run("get U", &out), 0);
    EXPECT_EQ(out, "user\n");
    EXPECT_EQ(run("get P --mask 2", &out, &err), 1); // 6 would find P exported
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "qelsconf: P is not set\n");
    EXPECT_EQ(run("get P --mask 0x1", &out), 0);
    EXPECT_EQ(out, "p\n");

    EXPECT_EQ(run("list", &out), 0);
    EXPECT_TRUE(starts_with(out, "Privileged\tP\tp\nNon-privileged\tQELS_HOME\t")) << out;
    EXPECT_EQ(run("print", &out), 0);
    EXPECT_TRUE(starts_with(out, "Table level : Privileged\n\tP\tp\nTable level : Non-")) << out;
}

TEST_F(Tool, FileOption) {
    std::string out;
    write(tmp + "/given.conf", "A = given\n");
    EXPECT_EQ(run("--file '" + tmp + "/given.conf' get A", &out), 0);
    EXPECT_EQ(out, "given\n");
    // A writer late to the pipe is waited for.
    EXPECT_EQ(run("--file /dev/stdin get A", &out, nullptr, "sleep 0.2; echo A = piped"), 0);
    EXPECT_EQ(out, "piped\n");
}

TEST_F(Tool, HomeFromTheProgramAsStartedThroughALink) {
    if (VAXO_EMULATOR[0] != '\0')
        GTEST_SKIP() << "an emulator resolves the links to the program it runs";
    std::string out;
    sh("mkdir -p '" + tmp + "/inst/bin' && ln -s '" QELSCONF_TOOL "' '" + tmp + "/inst/bin/q'");
    EXPECT_EQ(run("get QELS_HOME", &out, nullptr, "true", tmp + "/inst/bin/q"), 0);
    EXPECT_EQ(out, resolved(tmp + "/inst") + "\n");
}

TEST_F(Tool, DataArea) {
    std::string out, err;
    EXPECT_EQ(run("data-area", &out, &err), 2);
    EXPECT_EQ(err, "The ZORAL data area is not configured\n");
    sh("mkdir -p '" + AREA + "/conf/sys'");
    EXPECT_EQ(run("data-area --check 0x02", &out), 0);
    EXPECT_EQ(out, AREA + "\n");
    EXPECT_EQ(run("data-area --check 0x10", &out, &err), 20);
    EXPECT_EQ(err, "The log directory in the ZORAL data area does not exist: " + AREA + "/log\n");
}

TEST_F(Tool, UsageErrors) {
    std::string out, err;
    for (const char *args : {"", "frobnicate", "get", "get A --mask 8", "get A --mask x",
                             "get A --mask -1", "--bogus print", "print extra", "get A --check 1",
                             "data-area --check 0x40", "get A --mask"}) {
        EXPECT_EQ(run(args, &out, &err), 2) << args;
        EXPECT_TRUE(starts_with(err, "qelsconf: ")) << args << ": " << err;
    }
}

} // namespace
