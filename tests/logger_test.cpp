// The logger. This executable counts calls of tzset(), and of write() on one
// descriptor, in place of the C library's.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/time.h>

#include <atomic>
#include <thread>

#include "logger.h"
#include "omx_memory.h"
#include "scratch_dir.h"

#include "../fuzz/logger_fuzz.cpp" // check_line(), the line form

using Lines = std::vector<std::string>;

static std::atomic<int> zoneReads{0}, watchedFd{-1}, watchedWrites{0};
extern "C" void tzset(void) noexcept {
    zoneReads++;
    static auto real = reinterpret_cast<void (*)(void)>(dlsym(RTLD_NEXT, "tzset"));
    real();
}
extern "C" ssize_t write(int fd, const void *data, size_t size) {
    watchedWrites += fd == watchedFd;
    return static_cast<ssize_t>(syscall(SYS_write, fd, data, size));
}

namespace {

std::string read_file(const std::string &path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A logger at level whose lines, without the time of day, go to lines or else to path.
Logger *collector(Lines *lines, int level, const char *path = nullptr) {
    Logger *logger = Logger_New(LOGGER_DEBUG, path, 0);
    Logger_SetCallback(logger, lines != nullptr ? take : nullptr, lines);
    Logger_SetLogLevel(logger, level);
    logger->bTimestamp = 0;
    return logger;
}

// The fuzz target's property at the levels and lengths where lines change form;
// the system error's text, and a dropped message's arguments, which are never read.
TEST(Logger, LinesOfEachLevelInTheirExactForm) {
    const std::string s(600, 's'), m(70000, 'm');
    for (int level : {0, 1, 2, 3, 4, 5, -1})
        for (unsigned int kind = 1; kind <= 5; kind++)
            for (size_t source : {0, 509, 510, 511})
                for (const std::string &text : {m, std::string("two\nlines")})
                    check_line(level, kind, source ? -2147483647 - 1 : 2, s.substr(0, source),
                               text);
    Lines lines;
    Logger *logger = collector(&lines, LOGGER_ERROR);
    Logger_LogSystemError(logger, "io", ENOENT, 1);
    errno = EACCES;
    Logger_LogSystemError(logger, "io", -1, 0); // the current errno's text
    Logger_LogWarning(logger, nullptr, 0, "%s", reinterpret_cast<const char *>(1));
    Logger_Delete(logger);
    EXPECT_EQ(lines, Lines({"[  ERROR] io: #2 " + std::string(strerror(ENOENT)) + "\n",
                            "[  ERROR] io: #-1 " + std::string(strerror(EACCES)) + "\n"}));
}

// Each line lands whole in one write, after what the file held. TZ is read once
// a second per thread, as a setenv() on another thread may free it: each line
// shows the zone TZ named as its second began.
TEST(Logger, FileLinesAppendWholeInOneWriteEachInTheZoneOfTheirSecond) {
    ScratchDir dir;
    const std::string file = dir.write("a.log", "earlier\n"), padding(5000, 'p');
    Logger *logger = Logger_New(LOGGER_INFO, file.c_str(), 0);
    watchedFd = Logger_GetLogFileno(logger);
    for (const char *zone : {"XYZ-5:30", "UTC0"}) {
        setenv("TZ", zone, 1);
        for (time_t last = time(nullptr); time(nullptr) == last;)
            usleep(10000);
        const int reads = zoneReads, writes = watchedWrites;
        const time_t now = time(nullptr);
        Logger_LogInfo(logger, "db", "%s", padding.c_str()); // this thread's cache, a second on
        std::vector<std::thread> workers;
        for (int t = 0; t < 4; t++)
            workers.emplace_back([&] {
                for (int i = 0; i < 50; i++)
                    Logger_LogInfo(logger, "db", "%s", padding.c_str());
            });
        for (std::thread &worker : workers)
            worker.join();
        const time_t later = time(nullptr);
        EXPECT_LE(zoneReads - reads, 5 * (later - now + 1));
        EXPECT_EQ(watchedWrites - writes, 201);
        auto stamp = [](time_t t) { return "[" + std::string(ctime(&t), 19) + "    INFO] db: "; };
        std::istringstream in(read_file(file));
        std::string line;
        int count = -1;
        for (time_t t = now; std::getline(in, line); count++) { // a second in [now, later]
            while (count >= 0 && t < later && line != stamp(t) + padding)
                t++;
            EXPECT_EQ(line, count < 0 ? "earlier" : stamp(t) + padding) << zone;
        }
        EXPECT_EQ(count, 201) << zone;
        dir.write("a.log", "earlier\n");
    }
    watchedFd = -1;
    Logger_Delete(logger);
}

// A line a full disk cut short is ended before the next; one refused whole
// leaves no empty line. A link in a directory others can write may have been
// planted there by another user: no file opens through it.
TEST(Logger, FileFaultsLoseNoLineAndFollowNoPlantedLink) {
    ScratchDir dir;
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    for (rlim_t room : {24, 16}) {
        const std::string file = dir / std::to_string(room);
        Logger *logger = collector(nullptr, LOGGER_INFO, file.c_str());
        Logger_LogInfo(logger, nullptr, "first");
        const struct rlimit full = {room, saved.rlim_max};
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
        Logger_LogInfo(logger, nullptr, "cut short");
        Logger_LogInfo(logger, nullptr, "refused");
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        Logger_LogInfo(logger, nullptr, "after");
        Logger_Delete(logger);
        EXPECT_EQ(read_file(file), std::string("[   INFO] first\n") +
                                       (room == 24 ? "[   INFO\n" : "") + "[   INFO] after\n");
    }
    const std::string shared = dir / "shared", link = shared + "/my.log", target = dir / "target";
    const struct {
        mode_t mode;
        bool link, opens;
    } cases[] = {{01777, 1, 0}, {0777, 1, 0}, {01777, 0, 1}, {0755, 1, 1}, {0700, 1, 1}};
    for (const auto &c : cases) {
        ASSERT_EQ(mkdir(shared.c_str(), 0700) | chmod(shared.c_str(), c.mode), 0);
        ASSERT_EQ(c.link ? symlink(target.c_str(), link.c_str()) : 0, 0);
        Logger *logger = Logger_New(LOGGER_INFO, link.c_str(), 0);
        EXPECT_EQ(Logger_GetLogFileno(logger) >= 0, c.opens) << std::oct << c.mode << c.link;
        Logger_Delete(logger);
        EXPECT_EQ(std::filesystem::remove(target), c.link && c.opens) << std::oct << c.mode;
        std::filesystem::remove_all(shared);
    }
}

// Descriptors 1 and 2, pointed at files here, are restored before any check.
TEST(Logger, SinksSettingsAndANullLogger) {
    ScratchDir dir;
    const std::string err = dir / "err", file = dir / "out.log";
    int saved[] = {dup(1), dup(2)}, fd = open(err.c_str(), O_WRONLY | O_CREAT, 0600);
    dup2(fd, 2);
    Logger *logger = Logger_New(LOGGER_WARNING, file.c_str(), 1);
    logger->bTimestamp = 0;
    Logger_LogWarning(logger, "db", 0, "to stderr");
    Logger_Delete(logger); // never closes stderr
    bool created = std::filesystem::exists(file), open = fprintf(stderr, "still open\n") > 0;
    logger = Logger_New(LOGGER_INFO, "/nonexistent/x.log", 0);
    Logger_RedirectStdout(logger); // no file: nothing
    Logger_Delete(logger);
    logger = collector(nullptr, LOGGER_INFO, file.c_str());
    Logger_RedirectStdout(logger);
    Logger_RedirectStderr(logger);
    bool written = printf("out\n") > 0 && fflush(stdout) == 0 && write(2, "err\n", 4) == 4;
    dup2(saved[0], 1);
    dup2(saved[1], 2);
    EXPECT_TRUE(!created && open && written);
    EXPECT_EQ(read_file(err) + read_file(file), "[WARNING] db: to stderr\nstill open\nout\nerr\n");
    fd = Logger_GetLogFileno(logger);
    Lines lines;
    Logger_SetCallback(logger, take, &lines);
    EXPECT_EQ(Logger_GetLogFileno(logger) & fcntl(fd, F_GETFD), -1); // the file is closed
    Logger_LogInfo(logger, "cb", "ends here\n");
    std::string name(100, 'e');
    Logger_SetTextEncoding(logger, name.c_str());
    EXPECT_EQ(logger->szTextEncoding + name.substr(62), name); // cut to 62
    Logger_SetTextEncoding(logger, nullptr);
    EXPECT_STREQ(logger->szTextEncoding, "");
    Logger_Delete(logger);
    EXPECT_EQ(lines, Lines{"[   INFO] cb: ends here\n"});
    EXPECT_TRUE(Logger_New(0, nullptr, 1) == nullptr && Logger_New(6, nullptr, 1) == nullptr);
    Logger_SetCallback(nullptr, take, nullptr);
    Logger_LogSystemError(nullptr, "db", 2, 0);
    Logger_RedirectStderr(nullptr);
    Logger_Delete(nullptr);
    std::vector<int> got = {Logger_GetLogLevel(nullptr), Logger_GetLogFileno(nullptr),
                            Logger_GetMaxPrecision(3, ""), Logger_GetMaxPrecision(3, nullptr)};
    for (int level : {-1, 0, 1, 4, 5, 6})
        got.push_back(Logger_GetMaxPrecision(level, "x"));
    EXPECT_EQ(got, std::vector<int>({0, -1, 0, 0, 1, 1, 8000, 8000, 60000, 1}));
}

std::string log_file_name(std::string dir, const char *base, const char *ext, int suffixes = 0) {
    char *name = CrtGetLogFileName(nullptr, dir != "-" ? &dir[0] : nullptr, base, ext, suffixes & 1,
                                   suffixes & 2, suffixes & 4);
    std::string result = name;
    OmxMemFree(name);
    return result;
}

TEST(Logger, FileNamesFromDirectoryBaseExtensionAndSuffixes) {
    const std::string fits(1015, 'd'), over(1016, 'd'); // 1023 characters fit
    const std::string cases[][4] = {{"-", "app", "", "/tmp/app."},
                                    {"", "app", ".", "app."},
                                    {"logs\\", "app", "txt", "logs/app.txt"},
                                    {"/", "", "..txt", "/..txt"},
                                    {fits, "app", "log", fits + "/app.log"},
                                    {over, "app", "log", ""}};
    for (const auto &c : cases)
        EXPECT_EQ(log_file_name(c[0], c[1].c_str(), c[2].c_str()), c[3]) << c[0];
    EXPECT_EQ(log_file_name("d", nullptr, nullptr, 3),
              "d/_" + std::to_string(getpid()) + "_" + std::to_string(gettid()) + ".log");
    char path[] = "/var/log/", buffer[LOGGER_FILE_NAME_SIZE];
    EXPECT_EQ(CrtGetLogFileName(buffer, path, "a", "x", 0, 0, 0), buffer);
    EXPECT_EQ(buffer + std::string(path), "/var/log/a.x/var/log"); // its separator removed
    struct timeval before, after; // the clock the name is read from, which time() may trail
    gettimeofday(&before, nullptr);
    std::string name = log_file_name("d", "a", "x", 4);
    gettimeofday(&after, nullptr);
    char stamps[2][24] = {}; // to the second; milliseconds and ".x" follow
    for (time_t t : {before.tv_sec, after.tv_sec})
        strftime(stamps[t != before.tv_sec], 24, "d/a_%Y%m%d%H%M%S", localtime(&t));
    EXPECT_TRUE(name.compare(0, 18, stamps[0]) == 0 || name.compare(0, 18, stamps[1]) == 0);
    EXPECT_EQ(name.find_first_not_of("0123456789", 18), 21u) << name;
    EXPECT_EQ(name.substr(21), ".x");
}

} // namespace
