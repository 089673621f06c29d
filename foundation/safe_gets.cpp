// safe_gets: one bounded line of standard input, without its line end.
#include "safe_gets.h"

#include <errno.h>
#include <stdio.h>

// Discards standard input up to and including the next line feed.
static void __drain_line(void) {
    int c;
    do
        c = getchar();
    while (c != EOF && c != '\n');
}

extern "C" char *safe_gets(char *buffer, int size, int drain) {
    if (buffer == NULL || size < 1) {
        errno = EINVAL;
        return NULL;
    }
    // An error an earlier read left must neither cost this line nor be taken
    // for one of this call's by a caller who asks ferror() after a NULL.
    clearerr(stdin);
    // Read as fgets() would, but count what is stored, so that a NUL byte in
    // the line cannot hide the line feed that ended it.
    size_t capacity = static_cast<size_t>(size) - 1;
    size_t n = 0;
    int c = 0;
    while (n < capacity && (c = getchar()) != EOF) {
        buffer[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    buffer[n] = '\0';
    // What came before an error (EAGAIN on a non-blocking stream) is kept.
    if (c == EOF && n == 0)
        return NULL;

    if (n > 0 && buffer[n - 1] == '\n') {
        buffer[--n] = '\0';
        if (n > 0 && buffer[n - 1] == '\r')
            buffer[--n] = '\0';
        return buffer;
    }
    if (n > 0 && buffer[n - 1] == '\r') {
        buffer[--n] = '\0';
        // The line feed of this carriage return may be the next character.
        if (!feof(stdin)) {
            int next = getchar();
            if (next == '\n')
                return buffer;
            if (next != EOF)
                ungetc(next, stdin);
        }
    }
    if (drain)
        __drain_line();
    return buffer;
}
