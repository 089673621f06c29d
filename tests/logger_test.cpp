#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logger.h"
#include "omx_memory.h"

namespace fs = std::filesystem;

// Reads of TZ, through getenv() or tzset(), and write() calls on one descriptor,
// counted by standing in for the C library's functions in this program.
static std::atomic<int> zoneReads{0}, watchedFd{-1}, watchedWrites{0};

extern "C" char *getenv(const char *name) noexcept {
    if (strcmp(name, "TZ") == 0)
        zoneReads++;
    size_t length = strlen(name);
    for (char **entry = environ; *entry != nullptr; entry++)
        if (strncmp(*entry, name, length) == 0 && (*entry)[length] == '=')
            return *entry + length + 1;
    return nullptr;
}

extern "C" void tzset(void) noexcept {
    zoneReads++;
    static auto real = reinterpret_cast<void (*)(void)>(dlsym(RTLD_NEXT, "tzset"));
    real();
}

extern "C" ssize_t write(int fd, const void *data, size_t size) {
    if (fd == watchedFd)
        watchedWrites++;
    return static_cast<ssize_t>(syscall(SYS_write, fd, data, size));
}

namespace {

// A directory of the test's own in the working directory, the build tree under ctest.
class LogDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = fs::absolute("logger_XXXXXX").string();
        ASSERT_NE(mkdtemp(&pattern[0]), nullptr);
        dir = pattern + "/";
    }
    void TearDown() override {
        fs::remove_all(dir);
    }
    std::string dir;
};

std::string read_file(const std::string &path) {
    std::stringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    return content.str();
}

std::vector<std::string> lines_of(const std::string &text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A timestamped line: "[", ctime()'s text without the year of a second in
// [from, to], then rest.
void expect_stamped(const std::string &line, time_t from, time_t to, const std::string &rest) {
    bool seen = false;
    for (time_t t = from; t <= to; t++)
        seen = seen || line.substr(0, 20) == "[" + std::string(ctime(&t), 19);
    EXPECT_TRUE(seen) << line;
    EXPECT_EQ(line.substr(std::min<size_t>(20, line.size())), rest);
}

// Runs body in a child process, so that it may change descriptors 1 and 2.
int exit_status_of(const std::function<int()> &body) {
    fflush(NULL);
    pid_t child = fork();
    if (child == 0)
        _exit(body());
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A logger that hands its lines, without the time piece, to a vector.
struct Collector {
    std::vector<std::string> lines;
    Logger *logger;
    explicit Collector(unsigned int level = LOGGER_DEBUG) : logger(Logger_New(level, nullptr, 0)) {
        Logger_SetCallback(logger, take, this);
        logger->bTimestamp = 0;
    }
    ~Collector() {
        Logger_Delete(logger);
    }
    static void take(void *data, const char *line) {
        static_cast<Collector *>(data)->lines.push_back(line);
    }
};

TEST_F(LogDir, LinesHaveTheTimeLabelSourceAndNumberOfTheirLevel) {
    for (unsigned int level : {0u, 6u})
        EXPECT_EQ(Logger_New(level, (dir + "a.log").c_str(), 0), nullptr);
    EXPECT_FALSE(fs::exists(dir + "a.log"));

    Logger *logger = Logger_New(LOGGER_DEBUG, (dir + "a.log").c_str(), 0);
    ASSERT_NE(logger, nullptr);
    time_t before = time(nullptr);
    Logger_LogFatalError(logger, "db", 2, "fatal %d", 1);
    Logger_LogError(logger, "loader", 2, "cannot open %s", "file");
    Logger_LogWarning(logger, "db", 17, "warned");
    Logger_LogInfo(logger, "db", "told");
    Logger_LogDebug(logger, "db", "traced");
    time_t after = time(nullptr);
    Logger_Delete(logger);

    // After the time's blank the label is right-aligned to 7: 3, 3, 1, 4 and 3 blanks.
    const char *expected[] = {"   FATAL] db: #2 fatal 1", "   ERROR] loader: #2 cannot open file",
                              " WARNING] db: #17 warned", "    INFO] db: told",
                              "   DEBUG] db: traced"};
    std::vector<std::string> lines = lines_of(read_file(dir + "a.log"));
    ASSERT_EQ(lines.size(), 5u);
    for (size_t i = 0; i < lines.size(); i++)
        expect_stamped(lines[i], before, after, expected[i]);
}

TEST(LoggerLine, OptionalPiecesLineFeedAndCutLengths) {
    Collector got;
    Logger_LogWarning(got.logger, "", 0, "no number");
    Logger_LogError(got.logger, nullptr, -5, "negative");
    Logger_LogInfo(got.logger, "db", "two\nlines");
    Logger_LogDebug(got.logger, "db", "ends here\n");
    std::string longSource(600, 's');
    Logger_LogError(got.logger, longSource.c_str(), 0, "x");
    ASSERT_EQ(got.lines.size(), 5u);
    EXPECT_EQ(got.lines[0], "[WARNING] no number\n");
    EXPECT_EQ(got.lines[1], "[  ERROR] #-5 negative\n");
    EXPECT_EQ(got.lines[2], "[   INFO] db: two\nlines"); // a line feed inside: none added
    EXPECT_EQ(got.lines[3], "[  DEBUG] db: ends here\n");
    EXPECT_EQ(got.lines[4], "[  ERROR] " + longSource.substr(0, 511) + "x\n");

    got.lines.clear();
    std::string big(70000, 'm');
    Logger_LogDebug(got.logger, nullptr, "%s", big.c_str());
    Logger_LogInfo(got.logger, nullptr, "%s", big.c_str());
    Logger_LogWarning(got.logger, nullptr, 0, "%s", big.c_str());
    Logger_LogError(got.logger, nullptr, 0, "%s", big.c_str());
    Logger_LogFatalError(got.logger, nullptr, 0, "%s", big.c_str());
    const size_t kept[] = {65534, 8190, 8191, 8191, 8191};
    ASSERT_EQ(got.lines.size(), 5u);
    for (size_t i = 0; i < 5; i++) // "[  LEVEL] ", the text and a line feed
        EXPECT_EQ(got.lines[i].size(), 10 + kept[i] + 1) << i;
}

// Each line shows its own second in the zone TZ named as the second began:
// TZ is read once a second, as a setenv() on another thread may free it.
TEST(LoggerLine, TimeOfDayFollowsTheClockAndTheZoneOfEachSecond) {
    const char *saved = getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    Collector got;
    got.logger->bTimestamp = 1;
    for (const char *zone : {"XYZ-5:30", static_cast<const char *>(nullptr)}) {
        SCOPED_TRACE(zone != nullptr ? zone : "(unset)");
        if (zone != nullptr)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        for (time_t last = time(nullptr); time(nullptr) == last;)
            usleep(10000);
        got.lines.clear();
        int reads = zoneReads;
        time_t before = time(nullptr);
        for (int i = 0; i < 20; i++)
            Logger_LogInfo(got.logger, nullptr, "now");
        time_t after = time(nullptr);
        EXPECT_LE(zoneReads - reads, after - before + 1);
        for (const std::string &line : got.lines)
            expect_stamped(line, before, after, "    INFO] now\n");
    }
    if (saved != nullptr)
        setenv("TZ", savedZone.c_str(), 1);
    else
        unsetenv("TZ");
}

TEST(LoggerLevel, MessagesAboveTheLevelAreDropped) {
    Collector got(LOGGER_WARNING);
    auto all_levels = [&] {
        Logger_LogFatalError(got.logger, nullptr, 0, "1");
        Logger_LogError(got.logger, nullptr, 0, "2");
        Logger_LogWarning(got.logger, nullptr, 0, "3");
        Logger_LogInfo(got.logger, nullptr, "4");
        Logger_LogDebug(got.logger, nullptr, "5");
    };
    all_levels();
    EXPECT_EQ(got.lines,
              (std::vector<std::string>{"[  FATAL] 1\n", "[  ERROR] 2\n", "[WARNING] 3\n"}));
    Logger_SetLogLevel(got.logger, 0);
    all_levels();
    EXPECT_EQ(got.lines.size(), 3u);
    Logger_SetLogLevel(got.logger, -1); // a very large unsigned level: everything
    EXPECT_EQ(Logger_GetLogLevel(got.logger), -1);
    all_levels();
    EXPECT_EQ(got.lines.size(), 8u);
}

TEST_F(LogDir, FileSinkAppendsAndAFileThatCannotOpenDropsMessages) {
    std::string file = dir + "keep.log";
    std::ofstream(file) << "earlier line\n";
    for (const char *path : {file.c_str(), file.c_str(), static_cast<const char *>(nullptr),
                             "/nonexistent/dir/x.log"}) {
        Logger *logger = Logger_New(LOGGER_INFO, path, 0);
        ASSERT_NE(logger, nullptr);
        EXPECT_EQ(Logger_GetLogFileno(logger) >= 0, path == file.c_str());
        logger->bTimestamp = 0;
        Logger_LogInfo(logger, nullptr, "line");
        if (path != file.c_str()) { // nothing without a file; with one, it would take our output
            struct stat before, after;
            ASSERT_EQ(fstat(STDOUT_FILENO, &before), 0);
            Logger_RedirectStdout(logger);
            ASSERT_EQ(fstat(STDOUT_FILENO, &after), 0);
            EXPECT_EQ(before.st_ino, after.st_ino);
        }
        Logger_Delete(logger);
    }
    EXPECT_EQ(read_file(file), "earlier line\n[   INFO] line\n[   INFO] line\n");
}

TEST_F(LogDir, StandardErrorSinkIgnoresThePathAndIsNeverClosed) {
    std::string captured = dir + "stderr.txt", unused = dir + "unused.log";
    int status = exit_status_of([&] {
        int fd = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || dup2(fd, STDERR_FILENO) < 0)
            return 1;
        Logger *logger = Logger_New(LOGGER_WARNING, unused.c_str(), 1);
        if (logger == nullptr || logger->bStderr != 1 || logger->pStream != stderr)
            return 2;
        logger->bTimestamp = 0;
        Logger_LogWarning(logger, "db", 0, "to stderr");
        Logger_Delete(logger);
        return fprintf(stderr, "still open\n") > 0 && fflush(stderr) == 0 ? 0 : 3;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(captured), "[WARNING] db: to stderr\nstill open\n");
    EXPECT_FALSE(fs::exists(unused));
}

TEST_F(LogDir, RedirectionPointsDescriptorsOneAndTwoAtTheLogFile) {
    std::string file = dir + "redirect.log";
    int status = exit_status_of([&] {
        Logger *logger = Logger_New(LOGGER_INFO, file.c_str(), 0);
        if (logger == nullptr)
            return 1;
        logger->bTimestamp = 0;
        Logger_LogInfo(logger, nullptr, "first");
        Logger_RedirectStdout(logger);
        Logger_RedirectStderr(logger);
        if (write(STDOUT_FILENO, "out\n", 4) != 4 || write(STDERR_FILENO, "err\n", 4) != 4)
            return 2;
        Logger_LogInfo(logger, nullptr, "last");
        Logger_Delete(logger);
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(file), "[   INFO] first\nout\nerr\n[   INFO] last\n");
}

TEST_F(LogDir, CallbackTakesOverForGoodAndClosesTheFile) {
    Logger *logger = Logger_New(LOGGER_INFO, (dir + "cb.log").c_str(), 0);
    int fd = Logger_GetLogFileno(logger);
    ASSERT_GE(fd, 0);
    Logger_SetCallback(logger, nullptr, nullptr); // changes nothing
    EXPECT_EQ(Logger_GetLogFileno(logger), fd);

    std::vector<std::string> first, second;
    auto take = [](void *data, const char *line) {
        static_cast<std::vector<std::string> *>(data)->push_back(line);
    };
    Logger_SetCallback(logger, take, &first);
    EXPECT_EQ(Logger_GetLogFileno(logger), -1);
    EXPECT_EQ(fcntl(fd, F_GETFD), -1); // the former log file is closed
    time_t before = time(nullptr);
    Logger_LogInfo(logger, "cb", "to the callback");
    time_t after = time(nullptr);
    Logger_SetCallback(logger, take, &second);
    Logger_LogInfo(logger, nullptr, "replaced");
    Logger_Delete(logger);

    EXPECT_EQ(read_file(dir + "cb.log"), "");
    ASSERT_EQ(first.size(), 1u);
    expect_stamped(first[0], before, after, "    INFO] cb: to the callback\n");
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].substr(20), "    INFO] replaced\n");
}

TEST(LoggerSystemError, TextOfTheNumberAsAnErrorLine) {
    Collector got;
    Logger_LogSystemError(got.logger, "io", ENOENT, 0);
    Logger_LogSystemError(got.logger, "io", ENOENT, 1);
    errno = EACCES;
    Logger_LogSystemError(got.logger, "io", -1, 0); // -1: the current errno's text
    Logger_LogSystemError(got.logger, "io", -1, 1); // strerror() knows no -1
    Logger_LogSystemError(got.logger, "io", 0, 0);
    Logger_SetLogLevel(got.logger, LOGGER_FATAL);
    Logger_LogSystemError(got.logger, "io", ENOENT, 0);

    ASSERT_EQ(got.lines.size(), 5u);
    EXPECT_EQ(got.lines[0], "[  ERROR] io: #2 " + std::string(strerror(ENOENT)) + "\n");
    EXPECT_EQ(got.lines[1], got.lines[0]);
    EXPECT_EQ(got.lines[2], "[  ERROR] io: #-1 " + std::string(strerror(EACCES)) + "\n");
    EXPECT_EQ(got.lines[3], "[  ERROR] io: #-1 " + std::string(strerror(-1)) + "\n");
    EXPECT_EQ(got.lines[4], "[  ERROR] io: " + std::string(strerror(0)) + "\n");
}

// Each line reaches the file in one write(), which lands whole at its end
// though other processes append to it too.
TEST_F(LogDir, ConcurrentLinesStayWholeInOneWriteEach) {
    Logger *logger = Logger_New(LOGGER_INFO, (dir + "threads.log").c_str(), 0);
    ASSERT_NE(logger, nullptr);
    const int threads = 8, perThread = 300;
    const std::string padding(5000, 'p'); // longer than the stream's buffer
    watchedWrites = 0;
    watchedFd = Logger_GetLogFileno(logger);
    time_t before = time(nullptr);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++)
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; i++)
                Logger_LogInfo(logger, "worker", "%d %d %s", t, i, padding.c_str());
        });
    for (std::thread &worker : workers)
        worker.join();
    time_t after = time(nullptr);
    watchedFd = -1;
    Logger_Delete(logger);
    EXPECT_EQ(watchedWrites, threads * perThread);

    std::vector<int> next(threads, 0);
    std::vector<std::string> lines = lines_of(read_file(dir + "threads.log"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(threads * perThread));
    for (const std::string &line : lines) {
        int t = -1;
        ASSERT_EQ(
            sscanf(line.c_str() + std::min<size_t>(20, line.size()), "    INFO] worker: %d", &t), 1)
            << line;
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        std::string rest = std::to_string(t) + " " + std::to_string(next[t]++) + " " + padding;
        expect_stamped(line, before, after, "    INFO] worker: " + rest); // each thread's in order
    }
}

// After a write a full disk cut short, the next line starts on a line of its
// own, and a write that failed whole leaves no empty line.
TEST_F(LogDir, AFullDiskLosesNoLineAfterSpaceReturns) {
    const struct {
        rlim_t room; // the file's size limit while the disk is full
        const char *written;
    } cases[] = {{24, "[   INFO] first\n[   INFO\n[   INFO] after\n"},
                 {16, "[   INFO] first\n[   INFO] after\n"}};
    for (const auto &c : cases) {
        std::string file = dir + std::to_string(c.room) + ".log";
        int status = exit_status_of([&] {
            signal(SIGXFSZ, SIG_IGN);
            Logger *logger = Logger_New(LOGGER_INFO, file.c_str(), 0);
            struct rlimit saved, full;
            if (logger == nullptr || getrlimit(RLIMIT_FSIZE, &saved) != 0)
                return 1;
            logger->bTimestamp = 0;
            Logger_LogInfo(logger, nullptr, "first");
            full = saved;
            full.rlim_cur = c.room;
            if (setrlimit(RLIMIT_FSIZE, &full) != 0)
                return 2;
            Logger_LogInfo(logger, nullptr, "cut short");
            Logger_LogInfo(logger, nullptr, "refused");
            if (setrlimit(RLIMIT_FSIZE, &saved) != 0)
                return 3;
            Logger_LogInfo(logger, nullptr, "after");
            Logger_Delete(logger);
            return 0;
        });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(read_file(file), c.written) << c.room;
    }
}

// A link in a directory others can write may have been planted by another
// user: the logger opens no file through it there, and follows it elsewhere.
TEST_F(LogDir, ALinkOpensOnlyInADirectoryOthersCannotWrite) {
    const std::string target = dir + "target.log";
    const struct {
        mode_t mode;
        bool link, opens;
    } cases[] = {{01777, true, false},
                 {0777, true, false},
                 {01777, false, true},
                 {0755, true, true},
                 {0700, true, true}};
    for (const auto &c : cases) {
        std::string shared = dir + "shared", file = shared + "/my.log";
        ASSERT_EQ(mkdir(shared.c_str(), 0700), 0);
        ASSERT_EQ(chmod(shared.c_str(), c.mode), 0);
        ASSERT_EQ(c.link ? symlink(target.c_str(), file.c_str()) : 0, 0);
        Logger *logger = Logger_New(LOGGER_INFO, file.c_str(), 0);
        EXPECT_EQ(Logger_GetLogFileno(logger) >= 0, c.opens) << std::oct << c.mode << c.link;
        Logger_Delete(logger);
        EXPECT_EQ(fs::exists(target), c.link && c.opens) << std::oct << c.mode;
        fs::remove_all(shared);
        fs::remove(target);
    }
}

TEST(LoggerSettings, EncodingPrecisionAndNullLogger) {
    Collector got;
    std::string name(100, 'e');
    Logger_SetTextEncoding(got.logger, name.c_str());
    EXPECT_EQ(std::string(got.logger->szTextEncoding), name.substr(0, 62));
    Logger_SetTextEncoding(got.logger, nullptr);
    EXPECT_STREQ(got.logger->szTextEncoding, "");

    EXPECT_EQ(Logger_GetMaxPrecision(5, "x"), 60000);
    EXPECT_EQ(Logger_GetMaxPrecision(1, "x"), 8000);
    EXPECT_EQ(Logger_GetMaxPrecision(4, "x"), 8000);
    EXPECT_EQ(Logger_GetMaxPrecision(3, ""), 0);
    EXPECT_EQ(Logger_GetMaxPrecision(3, nullptr), 0);
    for (int level : {0, 6, -1})
        EXPECT_EQ(Logger_GetMaxPrecisionSz(level), 1) << level;

    Logger_SetCallback(nullptr, Collector::take, nullptr);
    Logger_LogError(nullptr, "db", 1, "nothing");
    Logger_LogSystemError(nullptr, "db", 2, 0);
    Logger_RedirectStderr(nullptr);
    Logger_Delete(nullptr);
    EXPECT_EQ(Logger_GetLogLevel(nullptr), 0);
    EXPECT_EQ(Logger_GetLogFileno(nullptr), -1);
}

std::string log_file_name(const char *dir, const char *base, const char *ext, int pid = 0,
                          int tid = 0, int stamp = 0) {
    std::string copy = dir != nullptr ? dir : "";
    char *name =
        CrtGetLogFileName(nullptr, dir != nullptr ? &copy[0] : nullptr, base, ext, pid, tid, stamp);
    std::string result = name != nullptr ? name : "(null)";
    OmxMemFree(name);
    return result;
}

TEST(CrtGetLogFileName, DirectoryBaseAndExtensionForms) {
    EXPECT_EQ(log_file_name(nullptr, "app", nullptr), "/tmp/app.log");
    EXPECT_EQ(log_file_name("", "app", nullptr), "app.log");
    EXPECT_EQ(log_file_name("logs\\", "app", "txt"), "logs/app.txt");
    EXPECT_EQ(log_file_name("d", "app", ".txt"), "d/app.txt");
    EXPECT_EQ(log_file_name("d", "app", "..txt"), "d/app..txt");
    EXPECT_EQ(log_file_name("d", nullptr, nullptr), "d/.log");
    for (size_t length : {1015, 1016, 2000}) { // with "/app.log", 1023 characters fit
        std::string longDir(length, 'd');
        EXPECT_EQ(log_file_name(longDir.c_str(), "app", nullptr),
                  length <= 1015 ? longDir + "/app.log" : "")
            << length;
    }

    // The trailing separator is removed from the caller's own string.
    char dir[] = "/var/log/", root[] = "/";
    char buffer[LOGGER_FILE_NAME_SIZE];
    EXPECT_EQ(CrtGetLogFileName(buffer, dir, "server", nullptr, 0, 0, 0), buffer);
    EXPECT_STREQ(buffer, "/var/log/server.log");
    EXPECT_STREQ(dir, "/var/log");
    EXPECT_STREQ(CrtGetLogFileName(buffer, root, "app", nullptr, 0, 0, 0), "/app.log");
    EXPECT_STREQ(root, "");
    std::string tooLong(1100, 'd');
    EXPECT_STREQ(CrtGetLogFileName(buffer, &tooLong[0], "app", nullptr, 0, 0, 0), "");
}

TEST(CrtGetLogFileName, ProcessThreadAndTimeSuffixes) {
    EXPECT_EQ(log_file_name("d", "app", nullptr, 1), "d/app_" + std::to_string(getpid()) + ".log");
    EXPECT_EQ(log_file_name("d", "app", nullptr, 0, 1),
              "d/app_" + std::to_string(gettid()) + ".log");

    // The clock the name is read from: time() may trail it by a tick at a second's turn.
    struct timeval before, after;
    gettimeofday(&before, nullptr);
    std::string name = log_file_name("d", "app", nullptr, 1, 1, 1);
    gettimeofday(&after, nullptr);
    std::string head = "d/app_" + std::to_string(getpid()) + "_" + std::to_string(gettid()) + "_";
    ASSERT_EQ(name.size(), head.size() + 17 + 4) << name;
    EXPECT_EQ(name.compare(0, head.size(), head) | name.compare(head.size() + 17, 4, ".log"), 0);
    std::string stamp = name.substr(head.size(), 17); // to the second, then milliseconds
    EXPECT_EQ(stamp.find_first_not_of("0123456789"), std::string::npos) << name;
    bool seen = false;
    for (time_t t = before.tv_sec; t <= after.tv_sec; t++) {
        char expected[16];
        strftime(expected, sizeof expected, "%Y%m%d%H%M%S", localtime(&t));
        seen = seen || stamp.compare(0, 14, expected) == 0;
    }
    EXPECT_TRUE(seen) << name;
}

} // namespace
