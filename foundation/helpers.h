// Small helpers that the library's sources and the configuration tool share,
// one definition each; inline, so that none of them becomes an exported name.
#ifndef VAXO_FOUNDATION_HELPERS_H
#define VAXO_FOUNDATION_HELPERS_H

#include <stdarg.h>
#include <stdio.h>

#include "qelsconf.h"

// White space as the C locale has it (space, \t, \n, \v, \f, \r), whatever
// locale the process has set.
inline bool __is_blank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// Formats a message into error, cut to fit errorSize bytes with its terminator;
// without a buffer (NULL or errorSize <= 0) it writes nothing.
__attribute__((format(printf, 3, 4))) inline void __bounded_message(char *error, int errorSize,
                                                                    const char *format, ...) {
    if (error == NULL || errorSize <= 0)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(error, static_cast<size_t>(errorSize), format, args);
    va_end(args);
}

// A configuration level as listings name it.
inline const char *__level_label(int level) {
    return level == QELSCONF_PRIVILEGED ? "Privileged"
           : level == QELSCONF_GROUP    ? "Group"
                                        : "Non-privileged";
}

#endif
