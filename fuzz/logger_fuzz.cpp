// A message of any level, source, error number and text, to a logger of any
// level, is written exactly when the level admits it, in the logger's line form.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "logger.h"

static void take(void *lines, const char *line) {
    static_cast<std::vector<std::string> *>(lines)->push_back(line);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    const unsigned int level = in.ConsumeIntegral<unsigned int>(),
                       kind = in.ConsumeIntegralInRange(1, 5);
    const int errnum = in.ConsumeIntegral<int>();
    const std::string source = in.ConsumeRandomLengthString(700).c_str();
    std::string text = in.ConsumeRandomLengthString(200).c_str();
    text.append(in.ConsumeBool() ? in.ConsumeIntegralInRange<size_t>(0, 70000) : 0, '.');
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
    std::string expected = std::string(labels[kind - 1]) + "] " +
                           (source.empty() ? "" : source + ": ").substr(0, 511) +
                           (errnum != 0 && kind <= 3 ? "#" + std::to_string(errnum) + " " : "") +
                           text.substr(0, kind == 5   ? 65534
                                          : kind == 4 ? 8190
                                                      : 8191);
    expected += text.find('\n') == std::string::npos ? "\n" : "";
    FUZZ_CHECK(lines.size() == (level >= kind ? 1 : 0)); // after "[" and the time of day:
    FUZZ_CHECK(lines.empty() || lines[0].compare(21, std::string::npos, expected) == 0);
    return 0;
}
