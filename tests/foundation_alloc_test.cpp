// Exhausted memory and block lifetimes in the logger, the string buffer and
// Base64, seen through wrappers around the library's allocator.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <string>

#include "logger.h"
#include "omx_base64.h"
#include "omx_memory.h"
#include "strbuf.h"

extern "C" void *__real_OmxMemAlloc(size_t size);
extern "C" void __real_OmxMemFree(void *block);

namespace {

int allocationsLeft = -1; // allocations that still succeed; -1: no limit
int liveBlocks = 0;
const void *lastFreed = nullptr;

} // namespace

extern "C" void *__wrap_OmxMemAlloc(size_t size) {
    if (allocationsLeft == 0)
        return nullptr;
    if (allocationsLeft > 0)
        allocationsLeft--;
    void *block = __real_OmxMemAlloc(size);
    liveBlocks += block != nullptr;
    return block;
}

extern "C" void __wrap_OmxMemFree(void *block) {
    liveBlocks -= block != nullptr;
    lastFreed = block;
    __real_OmxMemFree(block);
}

namespace {

class Allocation : public ::testing::Test {
  protected:
    void SetUp() override {
        allocationsLeft = -1;
        liveBlocks = 0;
    }
    void TearDown() override {
        allocationsLeft = -1;
        EXPECT_EQ(liveBlocks, 0) << "blocks not released";
    }
};

std::string text_of(const strbuf *sb) {
    return std::string(sb->text, static_cast<size_t>(sb->length));
}

TEST_F(Allocation, LoggerWithoutMemory) {
    std::string file = testing::TempDir() + "alloc_" + std::to_string(getpid()) + ".log";
    allocationsLeft = 0;
    EXPECT_EQ(Logger_New(LOGGER_INFO, file.c_str(), 0), nullptr);
    struct stat st;
    EXPECT_NE(stat(file.c_str(), &st), 0); // no file opened for a logger that was not made
    EXPECT_EQ(CrtGetLogFileName(nullptr, nullptr, "app", nullptr, 0, 0, 0), nullptr);

    allocationsLeft = -1;
    Logger *logger = Logger_New(LOGGER_INFO, nullptr, 0);
    ASSERT_NE(logger, nullptr);
    static int calls;
    calls = 0;
    Logger_SetCallback(
        logger, [](void *, const char *) { calls++; }, nullptr);
    allocationsLeft = 0;
    Logger_LogInfo(logger, nullptr, "dropped: no line buffer");
    EXPECT_EQ(calls, 0);
    allocationsLeft = -1;
    Logger_LogInfo(logger, nullptr, "delivered");
    EXPECT_EQ(calls, 1);
    Logger_Delete(logger);
}

TEST_F(Allocation, CallbackLineIsReleasedRightAfterTheCall) {
    Logger *logger = Logger_New(LOGGER_INFO, nullptr, 0);
    static const char *seen;
    static bool freedDuringCall;
    seen = nullptr;
    Logger_SetCallback(
        logger,
        [](void *, const char *line) {
            seen = line;
            freedDuringCall = lastFreed == line;
        },
        nullptr);
    int before = liveBlocks;
    Logger_LogInfo(logger, nullptr, "line");
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(freedDuringCall);
    EXPECT_EQ(lastFreed, seen);
    EXPECT_EQ(liveBlocks, before);
    Logger_Delete(logger);
}

TEST_F(Allocation, StrbufCreateFailsWhole) {
    allocationsLeft = 0; // no record
    EXPECT_EQ(strbuf_create(8, "abc"), nullptr);
    allocationsLeft = 1; // a record but no text storage
    EXPECT_EQ(strbuf_create(8, "abc"), nullptr);
}

TEST_F(Allocation, StrbufKeepsItsTextWhenStorageRunsOut) {
    strbuf *sb = strbuf_create(16, "abc");
    ASSERT_NE(sb, nullptr);
    char *storage = sb->text;
    std::string longer(50, 'L'); // more than one block holds
    allocationsLeft = 0;

    strbuf_set_str(sb, longer.c_str(), -1);
    strbuf_append(sb, longer.c_str(), -1);
    strbuf_insert(sb, longer.c_str(), -1, 1);
    EXPECT_EQ(strbuf_reserve(sb, 100), -1);
    EXPECT_EQ(strbuf_append_format(sb, "%s", longer.c_str()), 50); // the wanted length, as always
    EXPECT_EQ(strbuf_getBufferSetLength(sb, 16), nullptr);
    EXPECT_EQ(sb->buffer, nullptr);
    EXPECT_EQ(sb->bufferSize, 0);
    EXPECT_EQ(strbuf_detach(sb), nullptr);
    EXPECT_EQ(sb->text, storage);
    EXPECT_EQ(text_of(sb), "abc");
    EXPECT_EQ(sb->capacity, 16);

    strbuf_append(sb, "", 0); // what fits needs no storage
    strbuf_insert(sb, "x", 1, 0);
    EXPECT_EQ(text_of(sb), "xabc");
    allocationsLeft = -1;
    strbuf_destroy(sb);
}

TEST_F(Allocation, Base64HandsOutNothingWithoutMemory) {
    allocationsLeft = 0;
    char *text = reinterpret_cast<char *>(&text);
    EXPECT_EQ(OmxBase64Encode(reinterpret_cast<const unsigned char *>("Man"), 3, &text), 0u);
    EXPECT_EQ(text, nullptr);
    unsigned char *bytes = reinterpret_cast<unsigned char *>(&bytes);
    EXPECT_EQ(OmxBase64Decode("TWFu", 4, &bytes), 0u);
    EXPECT_EQ(bytes, nullptr);
}

} // namespace
