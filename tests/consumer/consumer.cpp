// A C++ program built against an installation: the C headers link by their C names.
#include <vaxolocal/logger.h>
#include <vaxolocal/version.h>

#include <cstdio>
#include <string>

int main(int argc, char **argv) {
    std::string lines;
    Logger *logger = Logger_New(LOGGER_INFO, nullptr, 0);
    Logger_SetCallback(
        logger,
        [](void *data, const char *line) { static_cast<std::string *>(data)->append(line); },
        &lines);
    Logger_LogInfo(logger, "kit", "version %s", argc == 2 ? argv[1] : "");
    Logger_LogDebug(logger, "kit", "below the level");
    Logger_Delete(logger);
    if (lines.find("] kit: version " VAXOLOCAL_VERSION "\n") == std::string::npos ||
        lines.find("below") != std::string::npos) {
        std::fprintf(stderr, "C++ consumer: logged \"%s\"\n", lines.c_str());
        return 1;
    }
    return 0;
}
