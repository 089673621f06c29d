// The logger, with calls of tzset() and of write() on one descriptor counted (or interrupted).
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>

#include <thread>

#include "scratch_dir.h"

#include "../fuzz/logger_fuzz.cpp" // check_line(), the line form

static std::atomic<int> zoneReads{0}, watchedFd{-1}, watchedWrites{0}, interrupted{0};
extern "C" void tzset(void) noexcept {
    zoneReads++;
    static auto real = reinterpret_cast<void (*)(void)>(dlsym(RTLD_NEXT, "tzset"));
    real();
}
extern "C" ssize_t write(int fd, const void *data, size_t size) {
    watchedWrites += fd == watchedFd;
    if (fd == watchedFd && interrupted.exchange(0))
        return errno = EINTR, -1;
    return static_cast<ssize_t>(syscall(SYS_write, fd, data, size));
}

static std::atomic<bool> frozen{false}; // then gettimeofday() tells 2024-03-13 10:30:00.500
extern "C" int gettimeofday(struct timeval *now, void *zone) noexcept {
    if (!frozen)
        return static_cast<int>(syscall(SYS_gettimeofday, now, zone));
    return *now = {1710325800, 500000}, 0;
}

static std::string read_file(const std::string &path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

static Logger *untimed(Logger *logger) {
    return logger->bTimestamp = 0, logger;
}

TEST(Logger, LinesOfEachLevelInTheirExactForm) {
    const std::string s(600, 's'), m(70000, 'm');
    for (int level : {0, 1, 2, 3, 4, 5, -1})
        for (unsigned int kind = 1; kind <= 5; kind++)
            for (size_t source : {0, 509, 510, 511})
                for (const std::string &text : {m, std::string("two\nlines")})
                    check_line(level, kind, source ? INT32_MIN : 2, s.substr(0, source), text);
}

// Each line lands whole in one write, after what the file held. TZ is read once a second,
// as a setenv() on another thread may free it; a line shows the zone TZ named then.
TEST(Logger, FileLinesLandWholeInTheirZoneNeverThroughAPlantedLinkAndSinks) {
    ScratchDir dir;
    const std::string padding(5000, 'p');
    for (const char *zone : {"XYZ-5:30", "UTC0"}) {
        const std::string file = dir.write(zone, "earlier\n");
        Logger *logger = Logger_New(LOGGER_INFO, file.c_str(), 0);
        watchedFd = Logger_GetLogFileno(logger);
        setenv("TZ", zone, 1);
        for (time_t last = time(nullptr); time(nullptr) == last;)
            usleep(10000);
        const time_t now = time(nullptr), reads = zoneReads, writes = watchedWrites;
        for (int i = 0; i < 200; i++) // the first after a second's start reads TZ again
            Logger_LogInfo(logger, "db", "%s", padding.c_str());
        EXPECT_LE(zoneReads - reads, time(nullptr) - now + 1);
        EXPECT_EQ(watchedWrites - writes, 200);
        Logger_Delete(logger);
        const std::string all = read_file(file), line = "[" + std::string(ctime(&now), 19) +
                                                        "    INFO] db: " + padding + "\n";
        EXPECT_EQ(all.substr(0, 8 + line.size()), "earlier\n" + line) << zone;
        EXPECT_EQ(all.size(), 8 + 200 * line.size()) << zone; // whole lines of one length
    }
    // A line a full disk cut short is ended before the next, one refused leaves no empty line,
    // and an interrupted write is tried again.
    // A link in a directory others can write may be another user's: no file opens through it.
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    for (rlim_t room : {24, 16}) {
        const std::string file = dir.write(std::to_string(room), "[   INFO] first\n");
        Logger *logger = untimed(Logger_New(LOGGER_INFO, file.c_str(), 0));
        const struct rlimit full = {room, saved.rlim_max};
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
        Logger_LogInfo(logger, nullptr, "cut short"); // or refused whole
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
        watchedFd = Logger_GetLogFileno(logger), interrupted = 1; // then written whole
        Logger_LogInfo(logger, nullptr, "after"), Logger_LogInfo(logger, nullptr, "after");
        Logger_Delete(logger);
        EXPECT_EQ(read_file(file), std::string("[   INFO] first\n") +
                                       (room == 24 ? "[   INFO\n" : "") +
                                       "[   INFO] after\n[   INFO] after\n");
    }
    const std::string shared = dir / "shared", link = shared + "/my.log", target = dir / "target";
    const std::tuple<mode_t, bool, bool> cases[] = {
        {01777, 1, 0}, {0777, 1, 0}, {01777, 0, 1}, {0755, 1, 1}}; // mode, a link, opens
    for (const auto &[mode, isLink, opens] : cases) {
        ASSERT_EQ(mkdir(shared.c_str(), 0700) | chmod(shared.c_str(), mode), 0);
        ASSERT_EQ(isLink ? symlink(target.c_str(), link.c_str()) : 0, 0);
        Logger *logger = Logger_New(LOGGER_INFO, link.c_str(), 0);
        EXPECT_EQ(Logger_GetLogFileno(logger) >= 0, opens) << std::oct << mode << isLink;
        Logger_Delete(logger);
        EXPECT_EQ(std::filesystem::remove(target), isLink && opens) << std::oct << mode;
        std::filesystem::remove_all(shared);
    }
    // Sinks, settings and a NULL logger.
    const std::string err = dir / "err", log = dir / "out.log";
    int stderr_copy = dup(2), stdout_copy = dup(1),
        fd = open(err.c_str(), O_WRONLY | O_CREAT, 0600);
    dup2(fd, 2);
    Logger *logger = Logger_New(LOGGER_WARNING, log.c_str(), 1);
    EXPECT_TRUE(logger->bStderr == 1 && logger->bTimestamp == 1); // the record as documented
    untimed(logger);
    Logger_LogWarning(logger, "db", 0, "fd 2");
    Logger_Delete(logger);                                 // never closes stderr
    std::thread([] { fprintf(stderr, "open\n"); }).join(); // and not left locked
    umask(027); // a new file's mode is the umask's to decide
    logger = untimed(Logger_New(LOGGER_ERROR, log.c_str(), 0));
    EXPECT_EQ(std::filesystem::status(log).permissions(), std::filesystem::perms(0640));
    Logger_RedirectStderr(logger);
    write(2, "err\n", 4);
    Logger_RedirectStdout(logger), write(1, "out\n", 4);
    dup2(stderr_copy, 2), dup2(stdout_copy, 1);
    EXPECT_EQ(read_file(err) + "|" + read_file(log), "[WARNING] db: fd 2\nopen\n|err\nout\n");
    // A callback closes the file. A system error's text; a dropped message's arguments unread.
    std::vector<std::string> lines;
    fd = Logger_GetLogFileno(logger);
    Logger_SetCallback(logger, take, &lines);
    EXPECT_EQ(Logger_GetLogFileno(logger) & fcntl(fd, F_GETFD), -1);
    errno = EACCES;
    Logger_LogSystemError(logger, "io", -1, 0); // the current errno's text
    Logger_LogWarning(logger, nullptr, 0, "%s", reinterpret_cast<const char *>(1));
    EXPECT_EQ(lines, std::vector<std::string>{"[  ERROR] io: #-1 " + std::string(strerror(EACCES)) +
                                              "\n"});
    Logger_SetTextEncoding(logger, std::string(99, 'e').c_str()); // recorded, cut to 62
    EXPECT_EQ(logger->szTextEncoding, std::string(62, 'e'));
    Logger_Delete(logger), Logger_RedirectStdout(nullptr), Logger_RedirectStderr(nullptr);
    EXPECT_TRUE(Logger_New(0, nullptr, 1) == nullptr && Logger_New(6, nullptr, 1) == nullptr);
    EXPECT_EQ(Logger_GetLogLevel(nullptr) + Logger_GetLogFileno(nullptr), -1);
    EXPECT_EQ(Logger_GetMaxPrecision(LOGGER_DEBUG, "x") + Logger_GetMaxPrecisionSz(LOGGER_FATAL) +
                  Logger_GetMaxPrecisionSz(9) + Logger_GetMaxPrecision(LOGGER_INFO, ""),
              68001); // 60000 + 8000 + 1 for no level, 0 for no text
}

// The name written to our buffer, then "|" and what is left of dir ("-": none).
static std::string log_file_name(std::string dir, const char *base, const char *ext, int s = 0) {
    char buffer[LOGGER_FILE_NAME_SIZE],
        *name = CrtGetLogFileName(buffer, dir != "-" ? &dir[0] : nullptr, base, ext, s & 1, s & 2,
                                  s & 4);
    return std::string(name == buffer ? name : "elsewhere") + "|" + dir.c_str();
}

TEST(Logger, FileNamesFromDirectoryBaseExtensionAndSuffixes) {
    const std::string over(1016, 'd');
    // A separator ending dir is removed from it; a name beyond 1023 characters is "".
    const std::tuple<std::string, const char *, const char *, int, std::string> cases[] = {
        {"-", "app", "", 0, "/tmp/app.|-"},
        {"logs\\", "app", "txt", 0, "logs/app.txt|logs"},
        {"/", "app", "log", 0, "/app.log|"},
        {"d", nullptr, nullptr, 1, "d/_" + std::to_string(getpid()) + ".log|d"},
        {"d", "b", "x", 6, "d/b_" + std::to_string(gettid()) + "_20240313103000500.x|d"},
        {over, "app", "log", 0, "|" + over}};
    setenv("TZ", "UTC0", 1), frozen = true;
    for (const auto &[dir, base, ext, flags, expected] : cases)
        EXPECT_EQ(log_file_name(dir, base, ext, flags), expected) << dir;
}
