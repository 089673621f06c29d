// Log lines from arbitrary sources, error numbers and texts, at any logger
// level, to a callback and to a stream at once. Each line must be written
// exactly when the level admits it, be the same on both sinks, and have the
// shape "[<time of day> <label>] <source>: #<errno> <text>" with the pieces
// cut and left out as the rules say and a line feed unless the text has one.
// Log file names composed from arbitrary directories, base names and
// extensions must be the model's name, or empty when it does not fit the buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "logger.h"
#include "omx_memory.h"

namespace {

const char *const LABELS[] = {"       ", "  FATAL", "  ERROR", "WARNING", "   INFO", "  DEBUG"};
const size_t TEXT_LIMIT[] = {0, 8191, 8191, 8191, 8190, 65534};

void collect(void *data, const char *line) {
    static_cast<std::vector<std::string> *>(data)->push_back(line);
}

// "Sat Dec  5 14:51:49 ": weekday, month, day of month, time and a blank.
bool is_time_of_day(const std::string &piece) {
    static const char shape[] = "Aaa Aaa _9 99:99:99 ";
    if (piece.size() != sizeof shape - 1)
        return false;
    for (size_t i = 0; i < piece.size(); i++) {
        unsigned char c = static_cast<unsigned char>(piece[i]);
        bool fits = shape[i] == 'A'   ? isupper(c)
                    : shape[i] == 'a' ? islower(c)
                    : shape[i] == '9' ? isdigit(c)
                    : shape[i] == '_' ? c == ' ' || isdigit(c)
                                      : c == static_cast<unsigned char>(shape[i]);
        if (!fits)
            return false;
    }
    return true;
}

// The line after its time of day.
std::string line_after_time(int level, const char *source, int errnum, std::string text) {
    text.resize(std::min(text.size(), TEXT_LIMIT[level]));
    std::string from = source != NULL && *source != '\0' ? std::string(source) + ": " : "";
    from.resize(std::min<size_t>(from.size(), 511));
    std::string number = errnum != 0 && level <= 3 ? "#" + std::to_string(errnum) + " " : "";
    std::string end = text.find('\n') == std::string::npos ? "\n" : "";
    return std::string(LABELS[level]) + "] " + from + number + text + end;
}

void check_line(const std::string &line, const std::string &expected) {
    FUZZ_CHECK(line.size() == 21 + expected.size() && line[0] == '[');
    FUZZ_CHECK(is_time_of_day(line.substr(1, 20)));
    FUZZ_CHECK(line.compare(21, std::string::npos, expected) == 0);
}

// A text from the input, at times repeated up to a length that meets the cuts.
std::string consume_text(FuzzedDataProvider *in, size_t most, size_t longest) {
    std::string text = in->ConsumeRandomLengthString(most).c_str();
    if (!text.empty() && in->ConsumeBool()) {
        size_t length = in->ConsumeIntegralInRange<size_t>(0, longest);
        while (text.size() < length)
            text += text;
        text.resize(length);
    }
    return text;
}

// Writes one message of any kind to both loggers; returns the text it logs
// and sets its level and the error number its line shows.
std::string log_message(FuzzedDataProvider *in, Logger *const loggers[2], const char *source,
                        int *level, int *errnum) {
    const int kind = in->ConsumeIntegralInRange(0, 6);
    *errnum = in->ConsumeBool() ? in->ConsumeIntegral<int>() : in->ConsumeIntegralInRange(-2, 140);
    std::string text = consume_text(in, 200, 70000);
    const char *t = text.c_str();
    for (Logger *logger : {loggers[0], loggers[1]}) {
        switch (kind) {
        case 0:
            Logger_LogSystemError(logger, source, *errnum, 1);
            break;
        case 1:
            Logger_LogFatalError(logger, source, *errnum, "%s", t);
            break;
        case 2:
            Logger_LogError(logger, source, *errnum, "%s", t);
            break;
        case 3:
            Logger_LogWarning(logger, source, *errnum, "%s", t);
            break;
        case 4:
            Logger_LogInfo(logger, source, "%s", t);
            break;
        case 5:
            Logger_LogDebug(logger, source, "%s", t);
            break;
        default: // one argument cut to the level's precision always fits the level's text
            Logger_LogInfo(logger, source, "%.*s", Logger_GetMaxPrecision(4, t), t);
        }
    }
    *level = kind == 0 ? 2 : kind == 6 ? 4 : kind;
    if (*level > 3)
        *errnum = 0;
    if (kind == 0)
        return strerror(*errnum);
    return kind == 6 ? text.substr(0, 8000) : text;
}

// The lines a stream received: the callback's lines, each with its own time of day.
void check_stream(const char *stream, size_t size, const std::vector<std::string> &lines) {
    size_t at = 0;
    for (const std::string &line : lines) {
        FUZZ_CHECK(size - at >= line.size());
        std::string got(stream + at, line.size());
        FUZZ_CHECK(got[0] == '[' && is_time_of_day(got.substr(1, 20)));
        FUZZ_CHECK(got.compare(21, std::string::npos, line, 21, std::string::npos) == 0);
        at += line.size();
    }
    FUZZ_CHECK(at == size);
}

void check_lines(FuzzedDataProvider *in) {
    std::vector<std::string> lines;
    char *stream_text = NULL;
    size_t stream_size = 0;
    Logger *to_callback = Logger_New(5, NULL, 0);
    Logger *to_stream = Logger_New(5, NULL, 0);
    FUZZ_CHECK(to_callback != NULL && to_stream != NULL);
    Logger_SetCallback(to_callback, collect, &lines);
    to_stream->pStream = open_memstream(&stream_text, &stream_size);
    FUZZ_CHECK(to_stream->pStream != NULL && Logger_GetLogFileno(to_callback) == -1);
    const int logger_level =
        in->ConsumeBool() ? in->ConsumeIntegral<int>() : in->ConsumeIntegralInRange(0, 6);
    Logger_SetLogLevel(to_callback, logger_level);
    Logger_SetLogLevel(to_stream, logger_level);
    FUZZ_CHECK(Logger_GetLogLevel(to_stream) == logger_level);
    const std::string source_text = consume_text(in, 100, 700);
    const char *source = in->ConsumeBool() ? NULL : source_text.c_str();

    Logger *const loggers[2] = {to_callback, to_stream};
    for (int n = in->ConsumeIntegralInRange(1, 4); n > 0; n--) {
        int level, errnum;
        size_t before = lines.size();
        std::string text = log_message(in, loggers, source, &level, &errnum);
        bool wanted = static_cast<unsigned>(logger_level) >= static_cast<unsigned>(level);
        FUZZ_CHECK(lines.size() == before + (wanted ? 1 : 0));
        if (wanted)
            check_line(lines.back(), line_after_time(level, source, errnum, text));
    }
    Logger_Delete(to_callback);
    Logger_Delete(to_stream); // closes the stream, which settles its text
    check_stream(stream_text, stream_size, lines);
    free(stream_text);
}

// Appends text to a name and to its pattern: 'x' for a character that must
// be as given, '9' for one of the clock's digits.
void add(std::string *name, std::string *pattern, const std::string &text, char kind = 'x') {
    *name += text;
    *pattern += std::string(text.size(), kind);
}

// "<dir>/<base>[_<pid>][_<thread>][_<time>].<ext>", or nothing beyond 1023 characters.
void check_file_name(FuzzedDataProvider *in) {
    const bool null_dir = in->ConsumeBool(), null_ext = in->ConsumeBool();
    const bool own_buffer = in->ConsumeBool();
    const uint8_t flags = in->ConsumeIntegral<uint8_t>();
    const std::string dir = in->ConsumeRandomLengthString(1100).c_str();
    const std::string base = in->ConsumeRandomLengthString(300).c_str();
    const std::string ext = in->ConsumeRandomLengthString(20).c_str();

    std::string trimmed = dir; // the caller's directory loses one trailing separator
    if (!trimmed.empty() && (trimmed.back() == '/' || trimmed.back() == '\\'))
        trimmed.pop_back();
    std::string name, pattern;
    add(&name, &pattern, null_dir ? "/tmp/" : dir.empty() ? "" : trimmed + "/");
    add(&name, &pattern, base);
    if (flags & 1)
        add(&name, &pattern, "_" + std::to_string(getpid()));
    if (flags & 2)
        add(&name, &pattern, "_" + std::to_string(gettid()));
    if (flags & 4) {
        add(&name, &pattern, "_");
        add(&name, &pattern, std::string(17, '0'), '9');
    }
    add(&name, &pattern, "." + (null_ext ? "log" : ext[0] == '.' ? ext.substr(1) : ext));
    if (name.size() >= LOGGER_FILE_NAME_SIZE)
        name.clear();

    std::unique_ptr<char[]> buffer(own_buffer ? new char[LOGGER_FILE_NAME_SIZE] : NULL);
    std::unique_ptr<char[]> dir_copy(new char[dir.size() + 1]);
    memcpy(dir_copy.get(), dir.c_str(), dir.size() + 1);
    char *got = CrtGetLogFileName(buffer.get(), null_dir ? NULL : dir_copy.get(), base.c_str(),
                                  null_ext ? NULL : ext.c_str(), flags & 1, flags & 2, flags & 4);
    FUZZ_CHECK(got != NULL && (!own_buffer || got == buffer.get()));
    FUZZ_CHECK(strlen(got) == name.size());
    for (size_t i = 0; i < name.size(); i++)
        FUZZ_CHECK(pattern[i] == '9' ? isdigit(static_cast<unsigned char>(got[i]))
                                     : got[i] == name[i]);
    FUZZ_CHECK(null_dir || trimmed == dir_copy.get());
    if (!own_buffer)
        OmxMemFree(got);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    setenv("TZ", "UTC0", 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeBool())
        check_file_name(&in);
    else
        check_lines(&in);
    return 0;
}
