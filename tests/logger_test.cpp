#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "logger.h"
#include "omx_memory.h"

namespace fs = std::filesystem;

namespace {

class LogDir : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = testing::TempDir() + "logger_XXXXXX";
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

// Each line shows its own second in the zone TZ names at that moment, though
// the previous line was written in the same second or in another zone.
TEST(LoggerLine, TimeOfDayFollowsTheClockAndAChangedTimeZone) {
    const char *saved = getenv("TZ");
    const std::string savedZone = saved != nullptr ? saved : "";
    Collector got;
    got.logger->bTimestamp = 1;
    auto expect_now = [&] {
        time_t before = time(nullptr);
        Logger_LogInfo(got.logger, nullptr, "now");
        time_t after = time(nullptr);
        expect_stamped(got.lines.back(), before, after, "    INFO] now\n");
    };
    for (const char *zone :
         {"UTC0", "XYZ-5:30", "UTC0", static_cast<const char *>(nullptr), "XYZ-5:30", "ABC+11"}) {
        SCOPED_TRACE(zone != nullptr ? zone : "(unset)");
        if (zone != nullptr)
            setenv("TZ", zone, 1);
        else
            unsetenv("TZ");
        expect_now();
    }

    Logger_LogInfo(got.logger, nullptr, "now");
    for (time_t first = time(nullptr); time(nullptr) == first;)
        usleep(10000);
    expect_now(); // the first line of the next second

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

TEST_F(LogDir, ConcurrentLinesStayWhole) {
    Logger *logger = Logger_New(LOGGER_INFO, (dir + "threads.log").c_str(), 0);
    ASSERT_NE(logger, nullptr);
    const int threads = 8, perThread = 300;
    const std::string padding(5000, 'p'); // longer than the stream's buffer
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; t++)
        workers.emplace_back([&, t] {
            for (int i = 0; i < perThread; i++)
                Logger_LogInfo(logger, "worker", "%d %d %s", t, i, padding.c_str());
        });
    for (std::thread &worker : workers)
        worker.join();
    Logger_Delete(logger);

    std::regex head("\\[[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9:]{8}    INFO\\] worker: "
                    "([0-9]) ([0-9]+) ");
    std::vector<int> next(threads, 0);
    std::vector<std::string> lines = lines_of(read_file(dir + "threads.log"));
    ASSERT_EQ(lines.size(), static_cast<size_t>(threads * perThread));
    for (const std::string &line : lines) {
        size_t text = line.find('p');
        ASSERT_NE(text, std::string::npos);
        EXPECT_EQ(line.substr(text), padding);
        std::smatch match;
        std::string start = line.substr(0, text);
        ASSERT_TRUE(std::regex_match(start, match, head)) << start;
        EXPECT_EQ(std::stoi(match[2]), next[std::stoi(match[1])]++); // each thread's in order
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
    std::string longDir(2000, 'd'); // cut to the allocated 1024 bytes
    EXPECT_EQ(log_file_name(longDir.c_str(), "app", nullptr), longDir.substr(0, 1023));

    // The trailing separator is removed from the caller's own string.
    char dir[] = "/var/log/", root[] = "/";
    char buffer[LOGGER_FILE_NAME_SIZE];
    EXPECT_EQ(CrtGetLogFileName(buffer, dir, "server", nullptr, 0, 0, 0), buffer);
    EXPECT_STREQ(buffer, "/var/log/server.log");
    EXPECT_STREQ(dir, "/var/log");
    EXPECT_STREQ(CrtGetLogFileName(buffer, root, "app", nullptr, 0, 0, 0), "/app.log");
    EXPECT_STREQ(root, "");
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
    std::smatch match;
    ASSERT_TRUE(
        std::regex_match(name, match, std::regex("d/app_[0-9]+_[0-9]+_([0-9]{14})[0-9]{3}\\.log")))
        << name;
    bool seen = false;
    for (time_t t = before.tv_sec; t <= after.tv_sec; t++) {
        char expected[16];
        strftime(expected, sizeof expected, "%Y%m%d%H%M%S", localtime(&t));
        seen = seen || match[1] == expected;
    }
    EXPECT_TRUE(seen) << name;
}

} // namespace
