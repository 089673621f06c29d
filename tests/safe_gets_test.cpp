#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "safe_gets.h"

namespace {

struct Call {
    int size;
    int drain;
    bool null_buffer = false;
};

const std::string kNull = "<NULL>", kError = "<NULL ferror>", kInvalid = "<NULL EINVAL>";

void write_all(int fd, const std::string &bytes) {
    for (size_t done = 0; done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

std::string read_all(int fd) {
    std::string bytes;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0)
        bytes.append(chunk, static_cast<size_t>(n));
    return bytes;
}

// How standard input stands when the calls begin: a pipe holding the whole
// input; the same left open and non-blocking; or after a failed read.
enum Stdin { kPipe, kNonBlocking, kAfterError };

// Runs the calls in a child whose standard input is a pipe fed with input, and
// returns what each gave: the text, kNull (at end of input), kError (NULL with
// the stream's error indicator set), or kInvalid (NULL with EINVAL).
std::vector<std::string> read_lines(const std::string &input, const std::vector<Call> &calls,
                                    Stdin how = kPipe) {
    int in[2], out[2];
    if (pipe(in) != 0 || pipe(out) != 0)
        ADD_FAILURE() << "pipe";
    write_all(in[1], input); // the pipe holds every input here
    if (how != kNonBlocking)
        close(in[1]);
    pid_t child = fork();
    if (child == 0) {
        if (how == kNonBlocking)
            close(in[1]);
        close(out[0]);
        dup2(in[0], STDIN_FILENO);
        close(in[0]);
        if (how == kNonBlocking)
            fcntl(STDIN_FILENO, F_SETFL, fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        if (how == kAfterError) { // a read from a closed descriptor sets the error indicator
            int saved = dup(STDIN_FILENO);
            close(STDIN_FILENO);
            if (getchar() != EOF || !ferror(stdin))
                _exit(3);
            dup2(saved, STDIN_FILENO);
            close(saved);
        }
        std::string report;
        for (const Call &call : calls) {
            std::vector<char> buffer(call.size > 0 ? static_cast<size_t>(call.size) : 1, '#');
            errno = 0;
            char *got =
                safe_gets(call.null_buffer ? nullptr : buffer.data(), call.size, call.drain);
            std::string text = got != nullptr    ? got
                               : errno == EINVAL ? kInvalid
                               : ferror(stdin)   ? kError
                                                 : kNull;
            if (got != nullptr && got != buffer.data())
                text = "<wrong pointer>";
            report += text + '\0'; // a returned string holds no NUL
        }
        write_all(out[1], report);
        _exit(0);
    }
    close(in[0]);
    close(out[1]);
    std::string report = read_all(out[0]);
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (how == kNonBlocking)
        close(in[1]);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;

    std::vector<std::string> results;
    for (size_t at = 0, end; (end = report.find('\0', at)) != std::string::npos; at = end + 1)
        results.push_back(report.substr(at, end - at));
    return results;
}

typedef std::vector<std::string> Results;

TEST(SafeGets, CompleteLinesLoseTheirLineEnd) {
    EXPECT_EQ(read_lines("abc\nxyz\n", {{10, 0}, {10, 0}, {10, 0}}),
              Results({"abc", "xyz", kNull}));
    EXPECT_EQ(read_lines("abc\r\nxyz\n", {{10, 1}, {10, 1}}), Results({"abc", "xyz"}));
    EXPECT_EQ(read_lines("\nxyz\n", {{10, 1}, {10, 1}}), Results({"", "xyz"}));
    EXPECT_EQ(read_lines("abc\n", {{4, 1}, {4, 1}}), Results({"abc", kNull}));
}

TEST(SafeGets, LongLineRestIsKeptOrDrained) {
    // "def" fills the buffer too, so its line feed comes on its own.
    EXPECT_EQ(read_lines("abcdef\nxyz\n", {{4, 0}, {4, 0}, {4, 0}, {4, 0}}),
              Results({"abc", "def", "", "xyz"}));
    EXPECT_EQ(read_lines("abcde\nxyz\n", {{4, 0}, {4, 0}}), Results({"abc", "de"}));
    EXPECT_EQ(read_lines("abcdef\nxyz\n", {{4, 1}, {4, 1}}), Results({"abc", "xyz"}));
    // The rest may take many reads to drain.
    EXPECT_EQ(read_lines(std::string(5000, 'a') + "\nxyz\n", {{4, 1}, {4, 1}}),
              Results({"aaa", "xyz"}));
    // Size 1 holds no character: nothing is read unless draining.
    EXPECT_EQ(read_lines("abc\nxyz\n", {{1, 0}, {10, 0}}), Results({"", "abc"}));
    EXPECT_EQ(read_lines("abc\nxyz\n", {{1, 1}, {10, 0}}), Results({"", "xyz"}));
}

TEST(SafeGets, CarriageReturnAtTheBufferEnd) {
    // Its line feed is next: consumed, and the line counts as complete.
    for (int drain : {0, 1})
        EXPECT_EQ(read_lines("abc\r\nxyz\n", {{5, drain}, {5, drain}}), Results({"abc", "xyz"}))
            << drain;
    // Anything else is left for the next call, or drained with the line.
    EXPECT_EQ(read_lines("abc\rdef\n", {{5, 0}, {5, 0}}), Results({"abc", "def"}));
    EXPECT_EQ(read_lines("abc\rdef\nxyz\n", {{5, 1}, {5, 1}}), Results({"abc", "xyz"}));
    EXPECT_EQ(read_lines("abc\r", {{5, 0}, {5, 0}}), Results({"abc", kNull}));
}

TEST(SafeGets, EndOfInput) {
    EXPECT_EQ(read_lines("", {{10, 0}}), Results({kNull}));
    EXPECT_EQ(read_lines("last", {{10, 0}, {10, 0}}), Results({"last", kNull}));
    EXPECT_EQ(read_lines("last", {{10, 1}, {10, 1}}), Results({"last", kNull}));
    EXPECT_EQ(read_lines("lastline", {{5, 1}, {5, 1}}), Results({"last", kNull}));
}

TEST(SafeGets, WhatWasReadSurvivesReadErrors) {
    // Input that pauses mid-line gives what came, then NULL until more comes.
    EXPECT_EQ(read_lines("abc", {{10, 0}, {10, 0}}, kNonBlocking), Results({"abc", kError}));
    EXPECT_EQ(read_lines("abc\nde", {{10, 1}, {10, 1}}, kNonBlocking), Results({"abc", "de"}));
    // An earlier error neither costs the last line nor stays to be taken for a later one.
    EXPECT_EQ(read_lines("last", {{10, 0}, {10, 0}}, kAfterError), Results({"last", kNull}));
    EXPECT_EQ(read_lines("", {{10, 0}}, kAfterError), Results({kNull}));
}

TEST(SafeGets, InvalidArgumentsReadNothing) {
    EXPECT_EQ(read_lines("abc\n", {{10, 1, true}, {0, 1}, {-5, 1}, {10, 1}}),
              Results({kInvalid, kInvalid, kInvalid, "abc"}));
}

TEST(SafeGets, NulBytesDoNotHideTheLineEnd) {
    using namespace std::string_literals;
    // The line feed after a NUL still completes the line: the next one survives draining.
    EXPECT_EQ(read_lines("ab\0cd\nxyz\n"s, {{10, 1}, {10, 1}}), Results({"ab", "xyz"}));
    EXPECT_EQ(read_lines("ab\0cdefgh\nxyz\n"s, {{5, 1}, {5, 1}}), Results({"ab", "xyz"}));
    EXPECT_EQ(read_lines("ab\0c\r\nxyz\n"s, {{10, 0}, {10, 0}}), Results({"ab", "xyz"}));
}

} // namespace
