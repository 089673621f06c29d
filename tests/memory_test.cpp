#include <gtest/gtest.h>

#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "omx_error.h"
#include "omx_filestatus.h"
#include "omx_memory.h"

namespace {

bool all_zero(const void *p, size_t n) {
    const unsigned char *b = static_cast<const unsigned char *>(p);
    for (size_t i = 0; i < n; i++)
        if (b[i] != 0)
            return false;
    return true;
}

TEST(OmxMemAlloc, RoundsUpToFourAndZeroFills) {
    for (size_t size : {1u, 4u, 5u, 8u, 1023u}) {
        void *p = OmxMemAlloc(size);
        ASSERT_NE(p, nullptr);
        size_t rounded = (size + 3) / 4 * 4;
        EXPECT_TRUE(all_zero(p, rounded)) << size; // ASan flags any read past the rounded size
        OmxMemFree(p);
    }
}

TEST(OmxMemAlloc, SizeThatWouldWrapWhenRoundedFails) {
    EXPECT_EQ(OmxMemAlloc(SIZE_MAX), nullptr);
    EXPECT_EQ(OmxMemAlloc(SIZE_MAX - 2), nullptr);
}

TEST(OmxMemRealloc, NullBlockFailureGrowthAndSizeZero) {
    char *p = static_cast<char *>(OmxMemRealloc(nullptr, 6));
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(all_zero(p, 8)); // allocated, rounded and zeroed
    memcpy(p, "keep", 5);
    EXPECT_EQ(OmxMemRealloc(p, SIZE_MAX / 2), nullptr);
    EXPECT_STREQ(p, "keep"); // the failure left the old block valid
    p = static_cast<char *>(OmxMemRealloc(p, 4096));
    ASSERT_NE(p, nullptr);
    EXPECT_STREQ(p, "keep");
    p = static_cast<char *>(OmxMemRealloc(p, 0));
    ASSERT_NE(p, nullptr); // a live block, not a freed one
    free(p);               // plain free() is interchangeable with OmxMemFree
}

TEST(OmxMem, NullHandling) {
    EXPECT_EQ(OmxMemReadable(nullptr, 10), 0);
    EXPECT_EQ(OmxMemWriteable(nullptr, 10), 0);
    int x = 0;
    EXPECT_EQ(OmxMemReadable(&x, 0), 1);
    EXPECT_EQ(OmxMemWriteable(&x, 1000), 1);
    OmxMemFree(nullptr);
    OmxMemFree(strdup("from strdup"));

    char dest[4] = "xyz";
    EXPECT_EQ(OmxMemCopy(dest, nullptr, 3), dest);
    EXPECT_STREQ(dest, "xyz");
    EXPECT_EQ(OmxMemCopy(nullptr, "abc", 3), nullptr);
    EXPECT_EQ(OmxMemCopy(dest, "ab", 2), dest);
    EXPECT_STREQ(dest, "abz");
}

TEST(OmxStrDup, NullEmptyAndText) {
    EXPECT_EQ(OmxStrDup(nullptr), nullptr);
    for (const char *text : {"", "some text"}) {
        char *copy = OmxStrDup(text);
        ASSERT_NE(copy, nullptr);
        EXPECT_NE(copy, text);
        EXPECT_STREQ(copy, text);
        OmxMemFree(copy);
    }
}

class OmxStatFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char tmpl[] = "/tmp/vaxo-stat-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::string cmd = "rm -rf '" + dir + "'";
        ASSERT_EQ(system(cmd.c_str()), 0);
    }
    std::string file(const char *name, mode_t mode, const char *content = "") {
        std::string path = dir + "/" + name;
        FILE *f = fopen(path.c_str(), "w");
        fputs(content, f);
        fclose(f);
        chmod(path.c_str(), mode);
        return path;
    }
    std::string dir;
};

TEST_F(OmxStatFileTest, KindsSizeAndLinks) {
    OmxFileStatus st;
    ASSERT_EQ(OmxStatFile(&st, dir.c_str()), 0);
    EXPECT_EQ(st.flags & ~OMX_FILE_EXECUTABLE, OMX_FILE_DIRECTORY);

    std::string regular = file("plain", 0644, "twelve bytes");
    ASSERT_EQ(OmxStatFile(&st, regular.c_str()), 0);
    EXPECT_EQ(st.flags, OMX_FILE_REGULAR);
    EXPECT_EQ(st.size, 12);
    struct stat raw;
    ASSERT_EQ(stat(regular.c_str(), &raw), 0);
    EXPECT_EQ(st.modifyTime, raw.st_mtime);
    EXPECT_EQ(st.changeTime, raw.st_ctime);
    EXPECT_EQ(st.accessTime, raw.st_atime);

    std::string link = dir + "/link"; // links are followed to their target
    ASSERT_EQ(symlink(regular.c_str(), link.c_str()), 0);
    ASSERT_EQ(OmxStatFile(&st, link.c_str()), 0);
    EXPECT_EQ(st.flags, OMX_FILE_REGULAR);
    EXPECT_EQ(st.size, 12);

    ASSERT_EQ(OmxStatFile(&st, "/dev/null"), 0);
    EXPECT_EQ(st.flags & ~OMX_FILE_EXECUTABLE, OMX_FILE_DEVICE);

    std::string fifo = dir + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(OmxStatFile(&st, fifo.c_str()), 0);
    EXPECT_EQ(st.flags, OMX_FILE_PIPE);
}

// Where off_t and time_t have 32 bits, sizes still come whole, and a time the
// record cannot hold is an error rather than a wrong time.
TEST_F(OmxStatFileTest, SizesBeyond4GiBAndTimesBeyond2038) {
    std::string sparse = file("sparse", 0644);
    ASSERT_EQ(truncate(sparse.c_str(), int64_t{5} << 30), 0);
    OmxFileStatus st;
    ASSERT_EQ(OmxStatFile(&st, sparse.c_str()), 0);
    EXPECT_EQ(st.size, int64_t{5} << 30);

    std::string late = file("late", 0644, "x");
    ASSERT_EQ(system(("touch -m -d @2208988800 '" + late + "'").c_str()), 0); // 2040-01-01
    memset(&st, 0xA5, sizeof st);
    if (sizeof(time_t) > 4) {
        ASSERT_EQ(OmxStatFile(&st, late.c_str()), 0);
        EXPECT_EQ(static_cast<int64_t>(st.modifyTime), 2208988800);
    } else {
        EXPECT_EQ(OmxStatFile(&st, late.c_str()), EOVERFLOW);
        EXPECT_EQ(st.flags, 0u);
        EXPECT_EQ(st.modifyTime, 0);
        EXPECT_EQ(st.size, 0);
    }
}

TEST_F(OmxStatFileTest, ExecutableBitIsOwnerOrOthersNeverGroup) {
    struct Case {
        mode_t mode;
        uint32_t flags;
    } cases[] = {{0750, OMX_FILE_REGULAR | OMX_FILE_EXECUTABLE},
                 {0701, OMX_FILE_REGULAR | OMX_FILE_EXECUTABLE},
                 {0610, OMX_FILE_REGULAR},
                 {0601, OMX_FILE_REGULAR | OMX_FILE_EXECUTABLE},
                 {0644, OMX_FILE_REGULAR}};
    for (const Case &c : cases) {
        std::string path = file("mode", c.mode);
        OmxFileStatus st;
        ASSERT_EQ(OmxStatFile(&st, path.c_str()), 0);
        EXPECT_EQ(st.flags, c.flags) << std::oct << c.mode;
    }
}

TEST_F(OmxStatFileTest, FailureReturnsErrnoAndZeroesTheRecord) {
    OmxFileStatus st;
    memset(&st, 0xAB, sizeof st);
    EXPECT_EQ(OmxStatFile(&st, (dir + "/missing").c_str()), ENOENT);
    EXPECT_TRUE(all_zero(&st, sizeof st));
    std::string regular = file("plain", 0644);
    EXPECT_EQ(OmxStatFile(&st, (regular + "/below").c_str()), ENOTDIR);
    EXPECT_EQ(OmxStatFile(nullptr, "/"), EINVAL);
    EXPECT_EQ(OmxStatFile(&st, nullptr), EINVAL);
}

TEST(OmxGetErrorText, CutsToTheBuffer) {
    const std::string full = strerror(ENOENT); // "No such file or directory"
    ASSERT_EQ(full.size(), 25u);
    // A text as long as the buffer is cut too: the terminator needs its byte.
    for (int size : {64, 26, 25, 10, 1}) {
        char buf[65];
        memset(buf, 'x', sizeof buf);
        int kept = size > 25 ? 25 : size - 1;
        EXPECT_EQ(OmxGetErrorText(ENOENT, buf, size), kept) << size;
        EXPECT_EQ(full.substr(0, static_cast<size_t>(kept)), buf) << size;
        EXPECT_EQ(buf[size], 'x') << "written past size " << size;
    }
    char buf[4] = "";
    EXPECT_EQ(OmxGetErrorText(ENOENT, nullptr, 10), 0);
    EXPECT_EQ(OmxGetErrorText(ENOENT, buf, 0), 0);
}

TEST(OmxGetErrorText, MinusOneMeansTheCurrentErrno) {
    char buf[128];
    errno = EACCES;
    EXPECT_EQ(OmxGetErrorNumber(), EACCES);
    OmxGetErrorText(-1, buf, sizeof buf);
    EXPECT_STREQ(buf, strerror(EACCES));
}

} // namespace
