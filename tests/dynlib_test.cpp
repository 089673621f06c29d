#include <gtest/gtest.h>

#include <functional>

#include "dynlib.h"

static const std::string kLib = ZORALUKV_LIBRARY, kMissing = "/nonexistent/libnothing.so";

// Each failure reports its own text, not one left pending, cut to the buffer, once.
TEST(DynLib, EachFailureReportsItsOwnTextOnce) {
    DynLibHandle *lib = nullptr, *out = nullptr;
    ASSERT_EQ(LoadDynLib(kLib.c_str(), &lib), 0);
    void *address = nullptr;
    const std::tuple<std::function<int()>, int, int, std::string> rows[] = {
        {[&] { return LoadDynLib(kMissing.c_str(), &out); }, 4, 27, kMissing},
        {[&] { return LoadDynLib(nullptr, &out); }, 4, 99, "LoadDynLib: no path given"},
        {[&] { return LoadDynLib("", &out); }, 4, 99, "LoadDynLib: no path given"},
        {[&] { return LoadProc(lib, "", "NoSuch", &address); }, 8, 99,
         kLib + ": undefined symbol: NoSuch"},
        {[&] { return LoadProc(nullptr, "", "QelXmlApi", &address); }, 8, 9, "LoadProc:"},
        {[&] { return LoadProc(lib, "", nullptr, &address); }, 8, 1, ""},
        {[&] { return LoadProc(lib, "", "QelXmlApi", &address); }, 0, 99, "Unknown error."},
    };
    for (const auto &[call, rc, size, expected] : rows) {
        LoadProc(lib, "", "Stale", &address); // leaves a text pending
        out = lib, address = &address;
        EXPECT_EQ(call(), rc) << expected;
        EXPECT_TRUE(rc == 0 ? address != nullptr : out == nullptr || address == nullptr);
        char text[99];
        EXPECT_EQ(GetDynLoadError(text, size), text);
        EXPECT_EQ(text, expected.substr(0, static_cast<size_t>(size) - 1));
    }
    UnloadDynLib(lib), UnloadDynLib(nullptr), ReleaseDynLibHandle(nullptr);
    char none[1] = {'x'}; // no room: the text is taken, nothing written
    EXPECT_TRUE(GetDynLoadError(none, 0) == none && none[0] == 'x');
    // GetDLError keeps 254 characters of a text.
    const std::string path = "/nonexistent/" + std::string(230, 'n') + ".so";
    EXPECT_EQ(LoadDynLib(path.c_str(), &lib), DYNLIB_ERR_OPEN);
    const char *text = GetDLError();
    EXPECT_EQ((path + ": cannot open shared object file").substr(0, 254), text);
    EXPECT_TRUE(GetDLError() == text && strcmp(text, "Unknown error.") == 0);
}
