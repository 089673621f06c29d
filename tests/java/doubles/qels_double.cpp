// Kernel double: QueryRCS answers KEY with the bytes of the file $QELS_DOUBLE_DIR/KEY
// (absent: NULL) and appends "KEY SELECTOR" to the file "calls.<process id>" there.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>

static thread_local std::string tValue;

extern "C" __attribute__((visibility("default"))) const char *QueryRCS(const char *key,
                                                                       int selector) {
    std::string dir = getenv("QELS_DOUBLE_DIR");
    std::ofstream(dir + "/calls." + std::to_string(getpid()), std::ios::app)
        << key << " " << selector << "\n";
    if (strcmp(key, "QELS_EXE") == 0)
        usleep(20000); // widens the race between threads that initialise at once
    std::ifstream in(dir + "/" + key, std::ios::binary);
    std::getline(in, tValue, '\0'); // the whole file: values hold no NUL
    return in.is_open() && strchr(key, '/') == NULL ? tValue.c_str() : NULL;
}

extern "C" __attribute__((visibility("default"))) int QelVersion(char *buffer, int *length) {
    *length =
        snprintf(buffer, static_cast<size_t>(*length), "\xF0\x9F\x98\x80 kernel \xF0\x9F\x98\x80");
    return 1;
}
