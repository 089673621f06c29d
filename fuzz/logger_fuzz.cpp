// Any message to a logger of any level is written exactly when admitted, in the line form.
#include <stdint.h>
#include <string.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "logger.h"

static void take(void *lines, const char *line) {
    static_cast<std::vector<std::string> *>(lines)->push_back(line);
}

static void check_line(unsigned int level, unsigned int kind, int errnum, const std::string &source,
                       const std::string &text) {
    std::vector<std::string> lines;
    Logger *logger = Logger_New(LOGGER_DEBUG, NULL, 0);
    Logger_SetCallback(logger, take, &lines);
    Logger_SetLogLevel(logger, static_cast<int>(level));
    if (kind <= LOGGER_WARNING)
        (kind == 1   ? Logger_LogFatalError
         : kind == 2 ? Logger_LogError
                     : Logger_LogWarning)(logger, source.c_str(), errnum, "%s", text.c_str());
    else
        (kind == 4 ? Logger_LogInfo : Logger_LogDebug)(logger, source.c_str(), "%s", text.c_str());
    Logger_Delete(logger);
    const char *const labels[] = {"  FATAL", "  ERROR", "WARNING", "   INFO", "  DEBUG"};
    const std::string expected = std::string(labels[kind - 1]) + "] " +
                                 (source.empty() ? "" : source + ": ").substr(0, 511) +
                                 (errnum && kind <= 3 ? "#" + std::to_string(errnum) + " " : "") +
                                 text.substr(0, kind == 5 ? 65534 : 8191 - (kind == 4)) +
                                 (text.find('\n') == std::string::npos ? "\n" : "");
    FUZZ_CHECK(lines.size() == (level >= kind ? 1 : 0)); // after "[" and the time of day:
    FUZZ_CHECK(lines.empty() || lines[0].compare(21, std::string::npos, expected) == 0);
}

// Level, error number, kind, source length / 3, dots / 300, then source and text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 11)
        return 0;
    int numbers[2]; // level, error number
    memcpy(numbers, data, sizeof numbers);
    const std::string bytes(reinterpret_cast<const char *>(data) + 11, size - 11);
    const size_t split = std::min<size_t>(data[9] * 3, bytes.size());
    check_line(numbers[0], 1 + data[8] % 5, numbers[1], bytes.substr(0, split).c_str(),
               bytes.substr(split).c_str() + std::string(data[10] * 300, '.'));
    return 0;
}
