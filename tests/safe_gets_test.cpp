#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio_ext.h>
#include <unistd.h>

#include "safe_gets.h"

enum Stdin { kEnded, kPaused, kAfterError }; // paused: open, non-blocking, nothing more yet

// What each call (size -1: no buffer) gave: text, <EOF>, <ERR> or <EINVAL>, and '|'.
static std::string read_lines(const std::string &input, Stdin how, int drain,
                              std::vector<int> sizes) {
    int fds[2];
    EXPECT_TRUE(pipe(fds) == 0 &&
                write(fds[1], input.data(), input.size()) == ssize_t(input.size()));
    if (how == kAfterError)
        close(STDIN_FILENO), getchar(); // reading a closed descriptor sets the error flag
    dup2(fds[0], STDIN_FILENO), close(fds[0]), __fpurge(stdin);
    fcntl(STDIN_FILENO, F_SETFL, how == kPaused ? O_NONBLOCK : 0);
    const int writer = how == kPaused ? fds[1] : (close(fds[1]), -1);
    std::string results;
    for (int size : sizes) {
        std::vector<char> buffer(size > 0 ? size : 1);
        errno = 0;
        const char *got =
            safe_gets(size >= 0 ? buffer.data() : nullptr, size >= 0 ? size : 9, drain);
        results += got ? got : errno == EINVAL ? "<EINVAL>" : ferror(stdin) ? "<ERR>" : "<EOF>";
        results += '|';
    }
    close(writer);
    return results;
}

TEST(SafeGets, ReadsOneBoundedLineWithoutItsEnd) {
    using namespace std::string_literals;
    const std::tuple<std::string, Stdin, int, std::vector<int>, const char *> rows[] = {
        {"\nab\r\nxyz\n", kEnded, 1, {10, 10, 10}, "|ab|xyz|"},
        {"abcdef\nxyz\n", kEnded, 0, {4, 4, 4, 4}, "abc|def||xyz|"}, // the rest is kept
        {"abcdef\nxyz", kEnded, 1, {4, 1, 4}, "abc||<EOF>|"},        // or drained
        // a carriage return filling the buffer: its line feed, another line or the end may follow
        {"abc\r\nxyz\rdef\r", kEnded, 0, {5, 5, 5, 5}, "abc|xyz|def|<EOF>|"},
        {"abc", kPaused, 0, {10, 10}, "abc|<ERR>|"},       // what came before an error is kept
        {"last", kAfterError, 0, {10, 10}, "last|<EOF>|"}, // an earlier error costs nothing
        {"abc\n", kEnded, 1, {-1, 0, 10}, "<EINVAL>|<EINVAL>|abc|"},
        {"ab\0cd\nxyz\n"s, kEnded, 1, {10, 10}, "ab|xyz|"}, // a NUL does not hide the line end
    };
    for (const auto &[input, how, drain, sizes, results] : rows)
        EXPECT_EQ(read_lines(input, how, drain, sizes), results) << input;
}
