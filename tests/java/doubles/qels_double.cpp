// Kernel double driven by files in $QELS_DOUBLE_DIR:
//   KEY       the value QueryRCS gives for KEY, byte for byte (absent: NULL)
//   version   "STATUS LENGTH TEXT": QelVersion writes TEXT, reports LENGTH, returns STATUS
//   calls     every QueryRCS call is appended as "KEY SELECTOR"
//   delay     milliseconds each QueryRCS call lasts, to widen races
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <string>

static std::string __path(const char *name) {
    const char *dir = getenv("QELS_DOUBLE_DIR");
    return std::string(dir != NULL ? dir : ".") + "/" + name;
}

static bool __read(const char *name, std::string &content) {
    FILE *f = fopen(__path(name).c_str(), "rb");
    if (f == NULL)
        return false;
    char chunk[4096];
    size_t n;
    content.clear();
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0)
        content.append(chunk, n);
    fclose(f);
    return true;
}

static thread_local std::string tValue;

extern "C" __attribute__((visibility("default"))) const char *QueryRCS(const char *key,
                                                                       int selector) {
    if (FILE *log = fopen(__path("calls").c_str(), "a")) {
        fprintf(log, "%s %d\n", key, selector);
        fclose(log);
    }
    std::string delay;
    if (__read("delay", delay)) {
        long ms = atol(delay.c_str());
        struct timespec pause = {ms / 1000, ms % 1000 * 1000000};
        nanosleep(&pause, NULL);
    }
    if (strchr(key, '/') != NULL || !__read(key, tValue))
        return NULL;
    return tValue.c_str();
}

extern "C" __attribute__((visibility("default"))) int QelVersion(char *buffer, int *length) {
    std::string line;
    int status = 0, reported = 0, offset = 0;
    if (!__read("version", line) ||
        sscanf(line.c_str(), "%d %d %n", &status, &reported, &offset) < 2)
        return 0;
    std::string text = line.substr(static_cast<size_t>(offset));
    if (text.size() > static_cast<size_t>(*length))
        text.resize(static_cast<size_t>(*length));
    memcpy(buffer, text.data(), text.size());
    if (text.size() < static_cast<size_t>(*length))
        buffer[text.size()] = '\0';
    *length = reported;
    return status;
}
