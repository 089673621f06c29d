// Lines per second to a log file, every line flushed, against spdlog with a
// file sink flushed on every message; and the cost of a message the level drops.
#include <benchmark/benchmark.h>

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>
#include <string>

#include <spdlog/logger.h>
#include <spdlog/sinks/basic_file_sink.h>

#include "logger.h"

namespace fs = std::filesystem;

namespace {

// "[Sat Dec  5 14:51:49    INFO] bench: " before the text, a line feed after it.
const size_t LINE_OVERHEAD = 1 + 20 + 7 + 2 + 7 + 1;
// The same pieces in spdlog's terms: the day is zero-padded where ours is
// blank-padded, so the lengths agree though the texts differ.
const char SPDLOG_PATTERN[] = "[%a %b %d %H:%M:%S %7l] bench: %v";

// A directory of its own under the system's temporary directory, removed with everything in it.
class TempDir {
  public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "logger_bench_XXXXXX").string();
        if (mkdtemp(&pattern[0]) != nullptr)
            path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        if (!path_.empty())
            fs::remove_all(path_, ignored);
    }
    bool ok() const {
        return !path_.empty();
    }
    std::string file(const char *name) const {
        return (fs::path(path_) / name).string();
    }

  private:
    std::string path_;
};

std::string message_text(size_t length) {
    std::string text(length, ' ');
    for (size_t i = 0; i < length; i++)
        text[i] = static_cast<char>('a' + i % 26);
    return text;
}

// Every line must have had the same length in both loggers' files.
void report_lines(benchmark::State &state, const std::string &file, size_t textLength) {
    std::error_code error;
    uintmax_t size = fs::file_size(file, error);
    uintmax_t lines = static_cast<uintmax_t>(state.iterations());
    if (error || lines == 0 || size != lines * (LINE_OVERHEAD + textLength)) {
        state.SkipWithError("the log file does not hold one line of the expected length a message");
        return;
    }
    state.counters["bytes_per_line"] = static_cast<double>(size / lines);
    state.SetItemsProcessed(state.iterations());
}

std::shared_ptr<spdlog::logger> spdlog_file_logger(const std::string &file) {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(file, true);
    auto logger = std::make_shared<spdlog::logger>("bench", sink);
    logger->set_pattern(SPDLOG_PATTERN);
    logger->set_level(spdlog::level::info);
    logger->flush_on(spdlog::level::trace);
    return logger;
}

// Our INFO-level logger writing to file, or NULL (the state told why) when it cannot open.
Logger *our_file_logger(benchmark::State &state, const TempDir &dir, const std::string &file) {
    Logger *logger = dir.ok() ? Logger_New(LOGGER_INFO, file.c_str(), 0) : nullptr;
    if (Logger_GetLogFileno(logger) < 0) {
        Logger_Delete(logger);
        state.SkipWithError("cannot open a log file in a temporary directory");
        return nullptr;
    }
    return logger;
}

void BM_LoggerFile(benchmark::State &state) {
    TempDir dir;
    const std::string file = dir.file("ours.log"), text = message_text(state.range(0));
    Logger *logger = our_file_logger(state, dir, file);
    if (logger == nullptr)
        return;
    for (auto _ : state)
        Logger_LogInfo(logger, "bench", "%s", text.c_str());
    Logger_Delete(logger);
    report_lines(state, file, text.size());
}
BENCHMARK(BM_LoggerFile)->Arg(16)->Arg(200);

void BM_SpdlogFile(benchmark::State &state) {
    TempDir dir;
    const std::string file = dir.file("spdlog.log"), text = message_text(state.range(0));
    if (!dir.ok()) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    {
        std::shared_ptr<spdlog::logger> logger = spdlog_file_logger(file);
        for (auto _ : state)
            logger->info("{}", text);
    } // closes the file
    report_lines(state, file, text.size());
}
BENCHMARK(BM_SpdlogFile)->Arg(16)->Arg(200);

// A DEBUG message to an INFO logger: nothing is formatted or written.
void BM_LoggerFilteredOut(benchmark::State &state) {
    TempDir dir;
    const std::string file = dir.file("ours.log"), text = message_text(16);
    Logger *logger = our_file_logger(state, dir, file);
    if (logger == nullptr)
        return;
    for (auto _ : state)
        Logger_LogDebug(logger, "bench", "%s", text.c_str());
    Logger_Delete(logger);
    if (fs::file_size(file) != 0)
        state.SkipWithError("a dropped message reached the file");
    else
        state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoggerFilteredOut);

void BM_SpdlogFilteredOut(benchmark::State &state) {
    TempDir dir;
    const std::string file = dir.file("spdlog.log"), text = message_text(16);
    if (!dir.ok()) {
        state.SkipWithError("cannot make a temporary directory");
        return;
    }
    {
        std::shared_ptr<spdlog::logger> logger = spdlog_file_logger(file);
        for (auto _ : state)
            logger->debug("{}", text);
    }
    if (fs::file_size(file) != 0)
        state.SkipWithError("a dropped message reached the file");
    else
        state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SpdlogFilteredOut);

} // namespace
