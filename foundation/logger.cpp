// The levelled logger: one flushed line per message, to a file, stderr or a callback.
#include "logger.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "omx_error.h"
#include "omx_memory.h"

#define LOG_TEXT_SIZE 8192
#define LOG_DEBUG_TEXT_SIZE 65536
#define LOG_SOURCE_SIZE 512
#define LOG_PIECE_SIZE 32
#define LOG_LABEL_LENGTH 7
// Bounds "[", time, label, "] ", source and error number: 1 + 31 + 7 + 2 + 511 + 31.
#define LOG_HEAD_SIZE 583
// A callback's line: the text and 600 bytes for the head, line feed and terminator.
#define LOG_LINE_EXTRA 600

static const char *const szLevels[] = {"       ", "  FATAL", "  ERROR",
                                       "WARNING", "   INFO", "  DEBUG"};

// Tested before va_start, so that a dropped message costs one comparison.
static int __wants(const Logger *logger, unsigned int level) {
    return logger != NULL && logger->nLevel >= level;
}

static void __close_stream(Logger *logger) {
    FILE *stream = logger->pStream;
    if (stream != NULL && stream != stdout && stream != stderr)
        fclose(stream);
    logger->pStream = NULL;
}

// "Sat Dec  5 14:51:49 " as ctime() starts, or nothing when the calendar text is unavailable.
static void __time_of_day(time_t now, char *piece, size_t size) {
    tzset();           // the _r forms need not notice a changed TZ, as ctime() would
    char calendar[26]; // the size ctime_r() requires
    if (ctime_r(&now, calendar) != NULL)
        snprintf(piece, size, "%.19s ", calendar);
}

// The time piece of one second, kept per thread. TZ is read only when the second
// turns, as every read races with a setenv() on another thread: a changed zone
// shows from the next second on.
struct TimeOfDayCache {
    time_t second;
    bool valid;
    size_t length;
    char piece[LOG_PIECE_SIZE];
};

static thread_local TimeOfDayCache timeOfDayCache;

// Copies the time piece for now into piece; returns its length.
static size_t __cached_time_of_day(char *piece) {
    TimeOfDayCache *cache = &timeOfDayCache;
    time_t now = time(NULL);
    if (!cache->valid || cache->second != now) {
        cache->piece[0] = '\0';
        __time_of_day(now, cache->piece, sizeof cache->piece);
        cache->length = strlen(cache->piece);
        cache->second = now;
        cache->valid = true;
    }
    memcpy(piece, cache->piece, cache->length);
    return cache->length;
}

// "#<errnum> " from the end of a buffer of at least 13 characters; returns where it starts.
static char *__error_number(int errnum, char *end) {
    char *at = end;
    *--at = ' ';
    unsigned int magnitude =
        errnum < 0 ? 0u - static_cast<unsigned int>(errnum) : static_cast<unsigned int>(errnum);
    do
        *--at = static_cast<char>('0' + magnitude % 10);
    while ((magnitude /= 10) != 0);
    if (errnum < 0)
        *--at = '-';
    *--at = '#';
    return at;
}

// Writes "[<time><label>] <source>: #<errnum> " into line, which holds
// LOG_HEAD_SIZE bytes; returns its length.
static size_t __line_head(const Logger *logger, unsigned int level, const char *source, int errnum,
                          char *line) {
    size_t length = 0;
    line[length++] = '[';
    if (logger->bTimestamp)
        length += __cached_time_of_day(line + length);
    memcpy(line + length, szLevels[level], LOG_LABEL_LENGTH);
    length += LOG_LABEL_LENGTH;
    line[length++] = ']';
    line[length++] = ' ';
    if (source != NULL && *source != '\0') {
        // "%s: " cut to the piece's 511 characters: a long source loses the blank, then the colon
        size_t most = LOG_SOURCE_SIZE - 1;
        size_t kept = strnlen(source, most);
        memcpy(line + length, source, kept);
        length += kept;
        if (kept < most)
            line[length++] = ':';
        if (kept + 1 < most)
            line[length++] = ' ';
    }
    if (errnum != 0) {
        char number[LOG_PIECE_SIZE];
        char *end = number + sizeof number;
        char *start = __error_number(errnum, end);
        memcpy(line + length, start, static_cast<size_t>(end - start));
        length += static_cast<size_t>(end - start);
    }
    return length;
}

// Writes all of data to fd, resuming after a short write; returns how much got out.
static size_t __write_all(int fd, const char *data, size_t size) {
    size_t done = 0;
    while (done < size) {
        ssize_t written = write(fd, data + done, size - done);
        if (written > 0)
            done += static_cast<size_t>(written);
        else if (written == 0 || errno != EINTR)
            break;
    }
    return done;
}

// A line to the log file in one write, so that it lands whole at the end of a
// file other processes append to as well. After a write that stopped inside a
// line, the next line first ends that one.
static void __write_line(Logger *logger, int fd, char *line, size_t length) {
    char *start = line;
    if (logger->bLineOpen)
        *--start = '\n';
    size_t size = length + static_cast<size_t>(line - start);
    size_t written = __write_all(fd, start, size);
    if (written == size)
        logger->bLineOpen = 0;
    else if (written > 0)
        logger->bLineOpen = start[written - 1] != '\n';
}

// Hands the finished line, length characters preceded by one spare byte, to the
// callback or the stream.
static void __print_line(Logger *logger, char *line, size_t length, size_t textLength) {
    if (logger->pfnCallback != NULL) {
        size_t size = textLength + LOG_LINE_EXTRA;
        char *copy = static_cast<char *>(OmxMemAlloc(size));
        if (copy == NULL)
            return; // no memory for the line: the message is dropped
        memcpy(copy, line, length + 1);
        logger->pfnCallback(logger->pCallbackData, copy);
        OmxMemFree(copy);
        return;
    }
    // Under the stream's lock, so that concurrent lines stay whole and in order.
    FILE *stream = logger->pStream;
    flockfile(stream);
    int fd = fileno(stream);
    if (fd >= 0 && stream != stdout && stream != stderr) {
        __write_line(logger, fd, line, length);
    } else {
        fwrite(line, 1, length, stream);
        fflush(stream);
    }
    funlockfile(stream);
}

// Each buffer size gets its own stack frame, so only DEBUG messages pay for 64 KiB.
// The line is built in place: its head, then the text formatted behind it.
template <size_t Size>
static void __format_and_print(Logger *logger, unsigned int level, const char *source, int errnum,
                               size_t bound, const char *format, va_list args) {
    // A spare byte in front (see __write_line), the text, a line feed and the terminator.
    char buffer[1 + LOG_HEAD_SIZE + Size + 1];
    char *line = buffer + 1;
    bool hasSink = logger->pStream != NULL || logger->pfnCallback != NULL;
    size_t head = hasSink ? __line_head(logger, level, source, errnum, line) : 0;
    char *text = line + head;
    if (vsnprintf(text, bound, format, args) < 0)
        text[0] = '\0';
    if (!hasSink)
        return;
    size_t textLength = strlen(text);
    size_t length = head + textLength;
    if (memchr(text, '\n', textLength) == NULL)
        line[length++] = '\n';
    line[length] = '\0';
    __print_line(logger, line, length, textLength);
}

static void __log_message(Logger *logger, unsigned int level, const char *source, int errnum,
                          const char *format, va_list args) {
    if (format == NULL)
        return;
    if (level == LOGGER_DEBUG)
        __format_and_print<LOG_DEBUG_TEXT_SIZE>(logger, level, source, errnum,
                                                LOG_DEBUG_TEXT_SIZE - 1, format, args);
    else // INFO text is cut at 8190 characters, the others at 8191
        __format_and_print<LOG_TEXT_SIZE>(logger, level, source, errnum,
                                          level == LOGGER_INFO ? LOG_TEXT_SIZE - 1 : LOG_TEXT_SIZE,
                                          format, args);
}

// strerror_r() returns the text (GNU) or fills the buffer and returns 0 (POSIX).
[[maybe_unused]] static const char *__strerror_text(const char *text, const char *) {
    return text;
}
[[maybe_unused]] static const char *__strerror_text(int status, const char *buffer) {
    return status == 0 ? buffer : NULL;
}

// The kernel's thread id where pthread_t is an address: short, and unique while the thread lives.
static unsigned int __thread_number(void) {
#ifdef __linux__
    return static_cast<unsigned int>(gettid());
#else
    return static_cast<unsigned int>(pthread_self());
#endif
}

// "_yyyymmddhhmmssmmm" in local time, from one clock reading; nothing when the
// time cannot be broken down or has no such form (a year beyond 9999).
static void __file_time(char *piece, size_t size) {
    struct timeval now;
    gettimeofday(&now, NULL);
    tzset();
    time_t seconds = now.tv_sec;
    struct tm parts;
    if (localtime_r(&seconds, &parts) == NULL)
        return;
    int length = snprintf(piece, size, "_%04d%02d%02d%02d%02d%02d%03d", parts.tm_year + 1900,
                          parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min,
                          parts.tm_sec, static_cast<int>(now.tv_usec / 1000));
    if (length < 0 || static_cast<size_t>(length) >= size)
        piece[0] = '\0';
}

// Whether others may write the directory that holds path; an unknown one counts as such.
static bool __in_shared_directory(const char *path) {
    char dir[PATH_MAX] = ".";
    const char *slash = strrchr(path, '/');
    if (slash != NULL) {
        size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
        if (length >= sizeof dir)
            return true;
        memcpy(dir, path, length);
        dir[length] = '\0';
    }
    struct stat status;
    return stat(dir, &status) != 0 || (status.st_mode & S_IWOTH) != 0;
}

// Opens path for appending, as fopen(path, "a") does, but not through a final
// symbolic link where another user could have planted it.
static FILE *__open_log_file(const char *path) {
    int flags = O_WRONLY | O_CREAT | O_APPEND;
    if (__in_shared_directory(path))
        flags |= O_NOFOLLOW;
    int fd = open(path, flags, 0666);
    if (fd < 0)
        return NULL;
    FILE *stream = fdopen(fd, "a");
    if (stream == NULL)
        close(fd);
    return stream;
}

extern "C" {

Logger *Logger_New(unsigned int level, const char *path, int useStderr) {
    if (level < LOGGER_FATAL || level > LOGGER_DEBUG)
        return NULL;
    Logger *logger = static_cast<Logger *>(OmxMemAlloc(sizeof *logger));
    if (logger == NULL)
        return NULL;
    logger->bStderr = useStderr != 0;
    logger->bTimestamp = 1;
    logger->nLevel = level;
    if (useStderr)
        logger->pStream = stderr;
    else if (path != NULL)
        logger->pStream = __open_log_file(path);
    return logger;
}

void Logger_Delete(Logger *logger) {
    if (logger == NULL)
        return;
    __close_stream(logger);
    OmxMemFree(logger);
}

void Logger_SetTextEncoding(Logger *logger, const char *encoding) {
    if (logger == NULL)
        return;
    size_t length = 0;
    if (encoding != NULL) {
        length = strnlen(encoding, LOGGER_ENCODING_SIZE - 2);
        memcpy(logger->szTextEncoding, encoding, length);
    }
    logger->szTextEncoding[length] = '\0';
}

void Logger_SetCallback(Logger *logger, LogCallback callback, void *data) {
    if (logger == NULL || callback == NULL)
        return;
    __close_stream(logger);
    logger->bStderr = 0;
    logger->pfnCallback = callback;
    logger->pCallbackData = data;
}

void Logger_SetLogLevel(Logger *logger, int level) {
    if (logger != NULL)
        logger->nLevel = static_cast<unsigned int>(level);
}

int Logger_GetLogLevel(const Logger *logger) {
    return logger != NULL ? static_cast<int>(logger->nLevel) : 0;
}

void Logger_LogFatalError(Logger *logger, const char *source, int errnum, const char *format, ...) {
    if (!__wants(logger, LOGGER_FATAL))
        return;
    va_list args;
    va_start(args, format);
    __log_message(logger, LOGGER_FATAL, source, errnum, format, args);
    va_end(args);
}

void Logger_LogError(Logger *logger, const char *source, int errnum, const char *format, ...) {
    if (!__wants(logger, LOGGER_ERROR))
        return;
    va_list args;
    va_start(args, format);
    __log_message(logger, LOGGER_ERROR, source, errnum, format, args);
    va_end(args);
}

void Logger_LogWarning(Logger *logger, const char *source, int errnum, const char *format, ...) {
    if (!__wants(logger, LOGGER_WARNING))
        return;
    va_list args;
    va_start(args, format);
    __log_message(logger, LOGGER_WARNING, source, errnum, format, args);
    va_end(args);
}

void Logger_LogInfo(Logger *logger, const char *source, const char *format, ...) {
    if (!__wants(logger, LOGGER_INFO))
        return;
    va_list args;
    va_start(args, format);
    __log_message(logger, LOGGER_INFO, source, 0, format, args);
    va_end(args);
}

void Logger_LogDebug(Logger *logger, const char *source, const char *format, ...) {
    if (!__wants(logger, LOGGER_DEBUG))
        return;
    va_list args;
    va_start(args, format);
    __log_message(logger, LOGGER_DEBUG, source, 0, format, args);
    va_end(args);
}

void Logger_LogSystemError(Logger *logger, const char *source, int errnum, int useStrerror) {
    if (!__wants(logger, LOGGER_ERROR))
        return;
    char buffer[1024] = "";
    const char *text = buffer;
    if (useStrerror)
        text = __strerror_text(strerror_r(errnum, buffer, sizeof buffer), buffer);
    else
        OmxGetErrorText(errnum, buffer, sizeof buffer);
    if (text != NULL && *text != '\0')
        Logger_LogError(logger, source, errnum, "%s", text);
}

void Logger_RedirectStdout(Logger *logger) {
    if (logger != NULL && logger->pStream != NULL)
        dup2(fileno(logger->pStream), STDOUT_FILENO);
}

void Logger_RedirectStderr(Logger *logger) {
    if (logger != NULL && logger->pStream != NULL)
        dup2(fileno(logger->pStream), STDERR_FILENO);
}

int Logger_GetLogFileno(const Logger *logger) {
    if (logger == NULL || logger->pStream == NULL)
        return -1;
    return fileno(logger->pStream);
}

int Logger_GetMaxPrecisionSz(int level) {
    if (level >= LOGGER_FATAL && level <= LOGGER_INFO)
        return 8000;
    return level == LOGGER_DEBUG ? 60000 : 1;
}

int Logger_GetMaxPrecision(int level, const char *string) {
    if (string == NULL || *string == '\0')
        return 0;
    return Logger_GetMaxPrecisionSz(level);
}

char *CrtGetLogFileName(char *buffer, char *dir, const char *base, const char *ext,
                        int withProcessId, int withThreadId, int withTimestamp) {
    char *path = buffer != NULL ? buffer : static_cast<char *>(OmxMemAlloc(LOGGER_FILE_NAME_SIZE));
    if (path == NULL)
        return NULL;

    if (ext == NULL)
        ext = "log";
    else if (*ext == '.')
        ext++;
    const char *directory = dir != NULL ? dir : "/tmp";
    const char *separator = *directory != '\0' ? "/" : "";
    size_t dirLength = dir != NULL ? strlen(dir) : 0;
    if (dirLength > 0 && (dir[dirLength - 1] == '/' || dir[dirLength - 1] == '\\'))
        dir[dirLength - 1] = '\0';

    char process[LOG_PIECE_SIZE] = "";
    if (withProcessId)
        snprintf(process, sizeof process, "_%d", static_cast<int>(getpid()));
    char thread[LOG_PIECE_SIZE] = "";
    if (withThreadId)
        snprintf(thread, sizeof thread, "_%u", __thread_number());
    char stamp[LOG_PIECE_SIZE] = "";
    if (withTimestamp)
        __file_time(stamp, sizeof stamp);

    int length = snprintf(path, LOGGER_FILE_NAME_SIZE, "%s%s%s%s%s%s.%s", directory, separator,
                          base != NULL ? base : "", process, thread, stamp, ext);
    if (length < 0 || length >= LOGGER_FILE_NAME_SIZE)
        path[0] = '\0'; // a cut path would name another file
    return path;
}

} // extern "C"
