#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "omx_base64.h"
#include "omx_memory.h"

namespace {

std::string encode(const std::string &bytes) {
    char *text = nullptr;
    uint32_t length = OmxBase64Encode(reinterpret_cast<const unsigned char *>(bytes.data()),
                                      static_cast<uint32_t>(bytes.size()), &text);
    EXPECT_NE(text, nullptr);
    std::string result = text != nullptr ? text : "";
    EXPECT_EQ(result.size(), length);
    OmxMemFree(text);
    return result;
}

std::string decode(const std::string &text, uint32_t count) {
    unsigned char *bytes = nullptr;
    uint32_t length = OmxBase64Decode(text.c_str(), count, &bytes);
    EXPECT_NE(bytes, nullptr);
    if (bytes == nullptr)
        return "(null)";
    EXPECT_EQ(bytes[length], 0u); // decoded bytes are followed by a NUL
    std::string result(reinterpret_cast<char *>(bytes), length);
    OmxMemFree(bytes);
    return result;
}

std::string decode(const std::string &text) {
    return decode(text, static_cast<uint32_t>(text.size()));
}

TEST(Base64, Rfc4648Vectors) {
    const char *vectors[][2] = {{"", ""},
                                {"f", "Zg=="},
                                {"fo", "Zm8="},
                                {"foo", "Zm9v"},
                                {"foob", "Zm9vYg=="},
                                {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (const auto &vector : vectors) {
        EXPECT_EQ(encode(vector[0]), vector[1]);
        EXPECT_EQ(decode(vector[1]), vector[0]);
    }
    EXPECT_EQ(encode(std::string(57, 'x')).size(), 76u); // one line, however long
}

TEST(Base64, DecodingSkipsStopsAndCounts) {
    EXPECT_EQ(decode("TWE"), "Ma");
    EXPECT_EQ(decode("TQ"), "M");
    EXPECT_EQ(decode("T"), "");
    EXPECT_EQ(decode("TW Fu"), "Man");
    EXPECT_EQ(decode("T\r\nW:F{u\x80\xff"), "Man");
    EXPECT_EQ(decode("TWFu=TWFu"), "Man");
    EXPECT_EQ(decode("TWFuTWFu", 4), "Man");
    EXPECT_EQ(decode("TWF="), "Ma"); // the spare low bits of F are ignored
    EXPECT_EQ(decode("TWF=", 2), "M");
    EXPECT_EQ(decode(std::string("TW\0Fu", 5)), "M");

    // Nothing to scan: a result of three zero bytes.
    auto expect_nothing = [](const char *text, uint32_t count) {
        unsigned char *bytes = nullptr;
        EXPECT_EQ(OmxBase64Decode(text, count, &bytes), 0u) << text;
        ASSERT_NE(bytes, nullptr);
        EXPECT_EQ(memcmp(bytes, "\0\0\0", 3), 0);
        OmxMemFree(bytes);
    };
    expect_nothing("=TWFu", 5);
    expect_nothing("", 1);
    expect_nothing("TWFu", 0);
}

// The rule, one character at a time: what every faster path must reproduce.
std::string model_decode(const std::string &text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t group = 0;
    int held = 0;
    for (char c : text) {
        if (c == '\0' || c == '=')
            break;
        size_t value = alphabet.find(c);
        if (value == std::string::npos)
            continue;
        group = group << 6 | static_cast<uint32_t>(value);
        if (++held == 4) {
            bytes += {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                      static_cast<char>(group)};
            group = 0;
            held = 0;
        }
    }
    if (held == 2)
        bytes += static_cast<char>(group >> 4);
    if (held == 3)
        bytes += {static_cast<char>(group >> 10), static_cast<char>(group >> 2)};
    return bytes;
}

// Long texts go through whole blocks; one stray byte anywhere, before, inside or
// after a block, must change nothing but what the rule says.
TEST(Base64, WholeBlocksFollowTheRuleAroundAnyStrayByte) {
    std::mt19937 rng(1987);
    std::string bytes(600, '\0');
    for (char &b : bytes)
        b = static_cast<char>(rng());
    for (size_t size : {0,  1,  2,  20, 21, 22, 23, 24, 25, 26, 27,  28,
                        29, 47, 48, 49, 71, 72, 73, 96, 97, 98, 450, 600}) {
        std::string part = bytes.substr(0, size);
        std::string text = encode(part);
        ASSERT_EQ(decode(text), part) << size;
        ASSERT_EQ(decode(text), model_decode(text)) << size;
    }
    std::string text = encode(bytes.substr(0, 150)); // 200 characters: several blocks
    for (const char stray : {' ', '\n', '@', '\x80', '\xff', '=', '\0', '-', '_', '.', '['}) {
        for (size_t at = 0; at <= text.size(); at++) {
            std::string disturbed = text.substr(0, at) + stray + text.substr(at);
            ASSERT_EQ(decode(disturbed), model_decode(disturbed))
                << "byte " << int(static_cast<unsigned char>(stray)) << " at " << at;
        }
    }
    // Every byte value in every position of a block.
    for (int value = 0; value < 256; value++) {
        std::string disturbed = text;
        disturbed[static_cast<size_t>(value) % 64] = static_cast<char>(value);
        ASSERT_EQ(decode(disturbed), model_decode(disturbed)) << "byte " << value;
    }
}

TEST(Base64, MissingArgumentsAndImpossibleSizes) {
    char *text = reinterpret_cast<char *>(&text);
    EXPECT_EQ(OmxBase64Encode(nullptr, 10, &text), 0u);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    OmxMemFree(text);
    EXPECT_EQ(OmxBase64Encode(reinterpret_cast<const unsigned char *>("abc"), 3, nullptr), 0u);

    // Four characters per three bytes would not fit the 32-bit count: nothing is read.
    unsigned char small[4] = {1, 2, 3, 4};
    text = reinterpret_cast<char *>(&text);
    EXPECT_EQ(OmxBase64Encode(small, UINT32_MAX, &text), 0u);
    EXPECT_EQ(text, nullptr);

    unsigned char *bytes = nullptr;
    EXPECT_EQ(OmxBase64Decode(nullptr, 8, &bytes), 0u);
    ASSERT_NE(bytes, nullptr);
    OmxMemFree(bytes);
    EXPECT_EQ(OmxBase64Decode("TWFu", UINT32_MAX, &bytes), 3u); // the NUL ends the scan
    OmxMemFree(bytes);
    EXPECT_EQ(OmxBase64Decode("TWFu", 4, nullptr), 0u);
}

// Runs the system's base64 tool over input and returns what it writes.
std::string base64_tool(const char *arguments, const std::string &input) {
    std::filesystem::path file =
        std::filesystem::path(testing::TempDir()) / ("base64_in_" + std::to_string(getpid()));
    std::ofstream(file, std::ios::binary) << input;
    std::string command = std::string("base64 ") + arguments + " < '" + file.string() + "'";
    FILE *tool = popen(command.c_str(), "r");
    std::string output;
    char chunk[4096];
    for (size_t n; tool != nullptr && (n = fread(chunk, 1, sizeof chunk, tool)) > 0;)
        output.append(chunk, n);
    EXPECT_TRUE(tool != nullptr && pclose(tool) == 0) << command;
    std::filesystem::remove(file);
    return output;
}

TEST(Base64, AgreesWithTheSystemToolBothWays) {
    std::mt19937 rng(4648);
    for (int round = 0; round < 40; round++) {
        std::string bytes(rng() % (round < 10 ? 8 : 600), '\0');
        for (char &b : bytes)
            b = static_cast<char>(rng());
        std::string ours = encode(bytes);
        EXPECT_EQ(ours, base64_tool("-w0", bytes)) << "round " << round;
        EXPECT_EQ(base64_tool("-d", ours), bytes) << "round " << round;
        // The tool's lines of 76 characters decode too: line feeds are skipped.
        EXPECT_EQ(decode(base64_tool("", bytes)), bytes) << "round " << round;
    }
}

} // namespace
