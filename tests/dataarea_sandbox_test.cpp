// The data area of the sandbox installation: its var entry is created and
// removed by each case.
#include <gtest/gtest.h>

#include <errno.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "dataarea.h"

namespace {

namespace fs = std::filesystem;

const std::string HOME = VAXO_SANDBOX_HOME;
const std::string VAR = HOME + "/var";
const char *const UNTOUCHED = "untouched";

struct Answer {
    int code;
    std::string path;
    std::string message;
};

class DataArea : public ::testing::Test {
  protected:
    void SetUp() override {
        clean();
    }
    void TearDown() override {
        clean();
    }
    static void clean() {
        for (const char *entry : {"/var", "/data", "/deep"})
            fs::remove_all(HOME + entry);
    }
    static void touch(const std::string &path) {
        std::ofstream(path).put('\n');
    }
    static void make_area(const std::string &area) {
        for (const char *dir : {"conf/sys", "conf/cof", "log", "db", "ctl"})
            fs::create_directories(area + "/" + dir);
        touch(area + "/ctl/CONTROL.BAF");
        touch(area + "/ctl/CONTROL.BIF");
    }
    static Answer ask(unsigned int mask) {
        char path[DATAAREA_PATH_SIZE], error[256] = "stale";
        snprintf(path, sizeof path, "%s", UNTOUCHED);
        int code = GetZoralDataArea(path, sizeof path, mask, error, sizeof error);
        return {code, path, error};
    }
};

TEST_F(DataArea, MissingFileOrDanglingVarIsNotConfigured) {
    auto expect_not_configured = [](const char *what) {
        for (unsigned int mask : {0x00u, 0x01u, 0x3Eu}) {
            Answer answer = ask(mask);
            EXPECT_EQ(answer.code, ENOENT) << what << " mask " << mask;
            EXPECT_EQ(answer.message, "The ZORAL data area is not configured") << what;
            EXPECT_EQ(answer.path, UNTOUCHED) << what;
        }
        EXPECT_EQ(GetZoralDataArea(NULL, 0, 0x3E, NULL, 0), ENOENT) << what;
    };
    expect_not_configured("missing");
    touch(VAR);
    expect_not_configured("regular file");
    fs::remove(VAR);
    fs::create_directory_symlink("data/nowhere", VAR);
    expect_not_configured("dangling link");
}

TEST_F(DataArea, DirectoryAndLinkTargetsGiveTheAreaPath) {
    make_area(VAR);
    EXPECT_EQ(ask(0x3E).path, VAR);
    EXPECT_EQ(ask(0).path, VAR); // mask 0 hands the path back too
    fs::remove_all(VAR);

    make_area(HOME + "/data/var");
    fs::create_directory_symlink("data/var", VAR); // relative to the installation directory
    Answer answer = ask(0x3E);
    EXPECT_EQ(answer.code, 0);
    EXPECT_EQ(answer.path, HOME + "/data/var");
    EXPECT_EQ(answer.message, "");
    fs::remove(VAR);
    fs::create_directory_symlink(HOME + "/data/./var", VAR);
    EXPECT_EQ(ask(0x3E).path, HOME + "/data/./var"); // an absolute target is taken as written

    fs::remove(VAR);
    touch(HOME + "/data/file");
    fs::create_symlink(HOME + "/data/file", VAR);
    answer = ask(DATAAREA_CHECK_AREA);
    EXPECT_EQ(answer.code, ENOTDIR);
    EXPECT_EQ(answer.message, "The ZORAL data area is not a directory: " + HOME + "/data/file");
}

TEST_F(DataArea, SubdirectoriesAreCheckedInFixedOrderWithExactMessages) {
    fs::create_directory(VAR);
    for (const char *dir : {"conf/sys", "conf/cof", "log", "db", "ctl"}) {
        Answer answer = ask(0x3E);
        EXPECT_EQ(answer.code, ENOTDIR) << dir;
        EXPECT_EQ(answer.message, std::string("The ") + dir +
                                      " directory in the ZORAL data area does not exist: " + VAR +
                                      "/" + dir);
        EXPECT_EQ(answer.path, UNTOUCHED);
        fs::create_directories(VAR + "/" + dir);
    }
    EXPECT_EQ(ask(DATAAREA_CHECK_LOG | DATAAREA_CHECK_DB).code, 0);

    fs::remove(VAR + "/log");
    touch(VAR + "/log");
    EXPECT_EQ(ask(DATAAREA_CHECK_DB).code, 0); // only the selected items count
    Answer answer = ask(DATAAREA_CHECK_LOG);
    EXPECT_EQ(answer.code, ENOTDIR);
    EXPECT_EQ(answer.message,
              "The log directory in the ZORAL data area is not a directory: " + VAR + "/log");
}

TEST_F(DataArea, ControlFilesMustBeRegularFilesBafFirst) {
    fs::create_directories(VAR + "/ctl/CONTROL.BAF"); // a directory does not count
    Answer answer = ask(DATAAREA_CHECK_CTL);
    EXPECT_EQ(answer.code, ENOENT);
    EXPECT_EQ(answer.message, "The CONTROL.BAF file was not found at " + VAR + "/ctl/CONTROL.BAF");

    fs::remove(VAR + "/ctl/CONTROL.BAF");
    touch(VAR + "/ctl/CONTROL.BAF");
    answer = ask(DATAAREA_CHECK_CTL);
    EXPECT_EQ(answer.code, ENOENT);
    EXPECT_EQ(answer.message, "The CONTROL.BIF file was not found at " + VAR + "/ctl/CONTROL.BIF");
    EXPECT_EQ(ask(DATAAREA_CHECK_LOG).code, ENOTDIR);
    EXPECT_EQ(ask(DATAAREA_CHECK_AREA).code, 0);

    touch(VAR + "/ctl/CONTROL.BIF");
    EXPECT_EQ(ask(DATAAREA_CHECK_CTL).code, 0);
}

TEST_F(DataArea, CallerBuffersAreNeverOverrun) {
    fs::create_directory(VAR);
    EXPECT_EQ(GetZoralDataArea(NULL, 0, DATAAREA_CHECK_LOG, NULL, 0), ENOTDIR);
    char error[10] = "untouched";
    EXPECT_EQ(GetZoralDataArea(NULL, 0, DATAAREA_CHECK_LOG, error, 0), ENOTDIR);
    EXPECT_STREQ(error, "untouched");
    EXPECT_EQ(GetZoralDataArea(NULL, 0, DATAAREA_CHECK_LOG, error, sizeof error), ENOTDIR);
    EXPECT_STREQ(error, "The log d"); // cut to fit

    // A path that does not fit is refused rather than handed back cut.
    std::string path(VAR.size() + 1, '#');
    EXPECT_EQ(GetZoralDataArea(path.data(), static_cast<int>(VAR.size()), 0, error, sizeof error),
              ERANGE);
    EXPECT_EQ(path, std::string(VAR.size() + 1, '#'));
    EXPECT_EQ(GetZoralDataArea(path.data(), static_cast<int>(path.size()), 0, NULL, 0), 0);
    EXPECT_STREQ(path.c_str(), VAR.c_str());
}

TEST_F(DataArea, LinkTargetsBeyondThePathBufferAreNotCut) {
    // Cut to 1023 characters, each target would name this existing directory.
    std::string prefix = HOME + "/deep/";
    while (prefix.size() < DATAAREA_PATH_SIZE - 200)
        prefix += "d/";
    std::string cut = prefix + std::string(DATAAREA_PATH_SIZE - 1 - prefix.size(), 'x');
    make_area(cut);
    fs::create_directory_symlink(cut + "yyyy", VAR);
    EXPECT_EQ(ask(0).code, ENOENT);
    EXPECT_EQ(ask(0x3E).code, ENOENT);

    fs::remove(VAR);
    fs::create_directory_symlink(cut.substr(HOME.size() + 1) + "yyyy", VAR);
    EXPECT_EQ(ask(0).code, ENOENT);

    fs::remove(VAR);
    fs::create_directory_symlink(cut.substr(HOME.size() + 1), VAR); // fits: found
    EXPECT_EQ(ask(DATAAREA_CHECK_AREA).path, cut);
    // cut + "/conf/sys" cut to 1023 characters would be the area itself.
    Answer answer = ask(DATAAREA_CHECK_CONF_SYS);
    EXPECT_EQ(answer.code, ENOTDIR);
    EXPECT_EQ(
        answer.message.rfind("The conf/sys directory in the ZORAL data area does not exist: ", 0),
        0u);
}

} // namespace
