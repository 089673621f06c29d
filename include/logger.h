/*
 * A levelled log sink: one line per message, written to a log file opened for
 * appending, to the standard error stream, or to a callback.
 *
 * A line reads "[<time of day> <label>] <source>: #<errno> <text>\n": the time
 * (as ctime() gives it, without the year; a changed TZ shows from the next
 * second on) and the source and error-number pieces are optional, and the line
 * feed is left out when the text holds one. Each line reaches a log file in one
 * write(), so that lines of processes sharing the file stay whole.
 * A message of level L is written when the logger's level, taken as unsigned,
 * is at least L; the test comes before any formatting.
 *
 * Message text is cut at 65534 characters for DEBUG, 8190 for INFO and 8191
 * for the other levels. Every operation accepts a NULL logger and then does
 * nothing. Lines written concurrently on one logger stay whole; changing the
 * sink or the level, and deleting the logger, must not race with messages.
 */
#ifndef VAXOLOCAL_LOGGER_H
#define VAXOLOCAL_LOGGER_H

#include <stdio.h>

#include "omx_export.h"

#define LOGGER_FATAL 1
#define LOGGER_ERROR 2
#define LOGGER_WARNING 3
#define LOGGER_INFO 4
#define LOGGER_DEBUG 5

#define LOGGER_ENCODING_SIZE 64
/* Size of the buffer CrtGetLogFileName allocates, and the longest path it writes plus one. */
#define LOGGER_FILE_NAME_SIZE 1024

/* Receives the finished line, valid only during the call. */
typedef void (*LogCallback)(void *data, const char *line);

typedef struct Logger {
    int bStderr;    /* the sink is the standard error stream */
    int bTimestamp; /* lines start with the time of day */
    FILE *pStream;  /* log file, stderr, or NULL */
    LogCallback pfnCallback;
    void *pCallbackData;
    unsigned int nLevel;
    char szTextEncoding[LOGGER_ENCODING_SIZE]; /* recorded only; at most 62 characters */
    int bLineOpen; /* a failed write left the log file's last line without its line feed */
} Logger;

#if defined(__GNUC__)
#define LOGGER_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define LOGGER_PRINTF(fmt, args)
#endif

OMX_BEGIN_DECLS

/*
 * level must be 1 to 5, else NULL. With useStderr non-zero the sink is the
 * standard error stream; otherwise path (if any) is opened for appending, not
 * through a final symbolic link when its directory is writable by others. A
 * file that cannot be opened leaves the logger without a sink, silently.
 * NULL as well when the record cannot be allocated.
 */
OMX_API Logger *Logger_New(unsigned int level, const char *path, int useStderr);
/* Closes the log file (never stdout or stderr) and frees the record. */
OMX_API void Logger_Delete(Logger *logger);
OMX_API void Logger_SetTextEncoding(Logger *logger, const char *encoding);
/*
 * Switches the logger to callback for good: the log file is closed. A NULL
 * callback changes nothing; a later call replaces callback and data.
 */
OMX_API void Logger_SetCallback(Logger *logger, LogCallback callback, void *data);
/* Stored unchecked: 0 silences the logger, a negative level writes everything. */
OMX_API void Logger_SetLogLevel(Logger *logger, int level);
OMX_API int Logger_GetLogLevel(const Logger *logger);

OMX_API void Logger_LogFatalError(Logger *logger, const char *source, int errnum,
                                  const char *format, ...) LOGGER_PRINTF(4, 5);
OMX_API void Logger_LogError(Logger *logger, const char *source, int errnum, const char *format,
                             ...) LOGGER_PRINTF(4, 5);
OMX_API void Logger_LogWarning(Logger *logger, const char *source, int errnum, const char *format,
                               ...) LOGGER_PRINTF(4, 5);
OMX_API void Logger_LogInfo(Logger *logger, const char *source, const char *format, ...)
    LOGGER_PRINTF(3, 4);
OMX_API void Logger_LogDebug(Logger *logger, const char *source, const char *format, ...)
    LOGGER_PRINTF(3, 4);
/*
 * An ERROR line with the text of errnum: strerror()'s when useStrerror is
 * non-zero, else OmxGetErrorText()'s (where -1 stands for errno). Nothing is
 * written when there is no text.
 */
OMX_API void Logger_LogSystemError(Logger *logger, const char *source, int errnum, int useStrerror);

/* Points descriptor 1 (or 2) at the log file; nothing without one. */
OMX_API void Logger_RedirectStdout(Logger *logger);
OMX_API void Logger_RedirectStderr(Logger *logger);
/* The log file's descriptor, or -1. */
OMX_API int Logger_GetLogFileno(const Logger *logger);

/* Precision for one "%.*s" argument in a message: 8000 for levels 1 to 4, 60000 for 5, else 1. */
OMX_API int Logger_GetMaxPrecisionSz(int level);
/* 0 for a NULL or empty string, else Logger_GetMaxPrecisionSz(level). */
OMX_API int Logger_GetMaxPrecision(int level, const char *string);

/*
 * Composes "<dir>/<base>[_<pid>][_<thread>][_<yyyymmddhhmmssmmm>].<ext>" into
 * buffer, or into a new LOGGER_FILE_NAME_SIZE-byte block (released with
 * OmxMemFree) when buffer is NULL; returns it, or NULL when the block cannot be
 * allocated. A path longer than LOGGER_FILE_NAME_SIZE - 1 characters gives the
 * empty text, so a caller's buffer must hold LOGGER_FILE_NAME_SIZE bytes or the
 * whole path.
 *
 * dir NULL means "/tmp" and "" the current directory; one trailing '/' or '\'
 * is removed from the caller's dir in place. base NULL counts as empty. ext
 * NULL means "log"; one leading '.' is skipped.
 */
OMX_API char *CrtGetLogFileName(char *buffer, char *dir, const char *base, const char *ext,
                                int withProcessId, int withThreadId, int withTimestamp);

OMX_END_DECLS

#endif
