#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "dynlib.h"
#include "omx_memory.h"

namespace {

typedef int (*XmlApi)(const char *, char **);

TEST(LoadDynLib, MissingLibraryReturns4AndLeavesTheLinkerText) {
    DynLibHandle *lib = reinterpret_cast<DynLibHandle *>(&lib); // not NULL on purpose
    EXPECT_EQ(LoadDynLib("/nonexistent/libnothing.so", &lib), DYNLIB_ERR_OPEN);
    EXPECT_EQ(lib, nullptr);
    char text[256];
    GetDynLoadError(text, sizeof text);
    EXPECT_NE(strstr(text, "/nonexistent/libnothing.so"), nullptr) << text;
    EXPECT_STREQ(GetDynLoadError(text, sizeof text), "Unknown error.");
}

TEST(LoadDynLib, LoadsResolvesAndKeepsThePath) {
    DynLibHandle *lib = nullptr;
    ASSERT_EQ(LoadDynLib(ZORALUKV_LIBRARY, &lib), 0);
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(lib->handle, nullptr);
    EXPECT_STREQ(lib->path, ZORALUKV_LIBRARY);

    void *missing = &missing;
    EXPECT_EQ(LoadProc(lib, "", "NoSuchSymbol", &missing), DYNLIB_ERR_SYMBOL);
    EXPECT_EQ(missing, nullptr);
    char text[256];
    EXPECT_NE(strstr(GetDynLoadError(text, sizeof text), "NoSuchSymbol"), nullptr) << text;

    void *api = nullptr;
    EXPECT_EQ(LoadProc(lib, "ignored", "QelXmlApi", &api), 0);
    ASSERT_NE(api, nullptr);

    // Releasing the record leaves the library loaded and its functions callable.
    UnloadDynLib(lib);
    char *answer = nullptr;
    reinterpret_cast<XmlApi>(api)("<ping/>", &answer);
    EXPECT_STREQ(answer, "<pong/>");
}

TEST(LoadDynLib, LongPathsLoadAndTheRecordKeepsTheirFirst255Characters) {
    std::string path(ZORALUKV_LIBRARY);
    for (size_t length : {255u, 256u, 700u}) {
        std::string padded = std::string(length - path.size(), '/') + path; // same file
        DynLibHandle *lib = nullptr;
        ASSERT_EQ(LoadDynLib(padded.c_str(), &lib), 0) << length;
        EXPECT_EQ(padded.substr(0, 255), lib->path) << length;
        ReleaseDynLibHandle(lib);
    }
}

TEST(LoadDynLib, ARefusedPathIsReportedNotAnEarlierFailure) {
    DynLibHandle *lib = nullptr;
    ASSERT_EQ(LoadDynLib(ZORALUKV_LIBRARY, &lib), 0);
    for (const char *refused : {static_cast<const char *>(nullptr), ""}) {
        void *address = nullptr;
        LoadProc(lib, "", "StaleSymbol", &address); // leaves a text pending
        DynLibHandle *other = lib;
        EXPECT_EQ(LoadDynLib(refused, &other), DYNLIB_ERR_OPEN);
        EXPECT_EQ(other, nullptr);
        char text[256];
        EXPECT_STREQ(GetDynLoadError(text, sizeof text), "LoadDynLib: no path given");
    }
    ReleaseDynLibHandle(lib);
}

TEST(LoadDynLib, BadArgumentsNeverCrash) {
    DynLibHandle *lib = nullptr;
    EXPECT_EQ(LoadDynLib(nullptr, &lib), DYNLIB_ERR_OPEN);
    EXPECT_EQ(lib, nullptr);
    EXPECT_EQ(LoadDynLib(ZORALUKV_LIBRARY, nullptr), DYNLIB_ERR_OPEN);
    void *address = &address;
    EXPECT_EQ(LoadProc(nullptr, "", "QelXmlApi", &address), DYNLIB_ERR_SYMBOL);
    EXPECT_EQ(address, nullptr);
    char text[256];
    EXPECT_STREQ(GetDynLoadError(text, sizeof text), "LoadProc: no library or symbol given");
    EXPECT_STREQ(GetDynLoadError(text, sizeof text), "Unknown error.");
    UnloadDynLib(nullptr);
    ReleaseDynLibHandle(nullptr);
}

TEST(GetDynLoadError, CutsToTheBuffer) {
    DynLibHandle *lib = nullptr;
    const char *path = "/nonexistent/a-rather-long-library-name.so";
    LoadDynLib(path, &lib);
    char one[1] = {'x'};
    GetDynLoadError(one, 1);
    EXPECT_EQ(one[0], '\0');

    LoadDynLib(path, &lib);
    char ten[10];
    GetDynLoadError(ten, sizeof ten);
    EXPECT_EQ(strlen(ten), 9u);
    EXPECT_EQ(std::string(path).substr(0, 9), ten);

    GetDynLoadErrorV(ten, sizeof ten);
    EXPECT_STREQ(ten, "Unknown e");
}

TEST(GetDLError, SharesOneBufferOfAtMost254Characters) {
    std::string path = "/nonexistent/" + std::string(230, 'n') + ".so"; // fits; its error does not
    DynLibHandle *lib = nullptr;
    LoadDynLib(path.c_str(), &lib);
    const char *text = GetDLError();
    EXPECT_EQ(strlen(text), 254u);
    EXPECT_EQ((path + ": cannot open shared object file").substr(0, 254), text);
    EXPECT_EQ(GetDLError(), text);
    EXPECT_STREQ(text, "Unknown error.");
}

} // namespace
