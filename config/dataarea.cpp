// GetZoralDataArea: where the installation keeps its variable data, and
// whether the expected directories and control files are there.
#include "dataarea.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "helpers.h"
#include "omx_filestatus.h"
#include "zoral_paths.h"

static const char DATAAREA_LINK[] = ZORAL_HOME "/var";
static const char SEPARATOR = '/';

// Formats into a DATAAREA_PATH_SIZE buffer. False when the text had to be
// cut: a cut path names some other file, so callers treat it as missing.
__attribute__((format(printf, 2, 3))) static bool __compose(char *buffer, const char *format, ...) {
    va_list args;
    va_start(args, format);
    int length = vsnprintf(buffer, DATAAREA_PATH_SIZE, format, args);
    va_end(args);
    return length >= 0 && length < DATAAREA_PATH_SIZE;
}

static bool __is_kind(const char *path, uint32_t kind) {
    OmxFileStatus status;
    return OmxStatFile(&status, path) == 0 && (status.flags & kind) != 0;
}

// Fills area with the data area's path; false when none is configured.
static bool __find_area(char *area) {
    OmxFileStatus status;
    if (OmxStatFile(&status, DATAAREA_LINK) != 0)
        return false;

    char target[DATAAREA_PATH_SIZE];
    ssize_t length = readlink(DATAAREA_LINK, target, sizeof target);
    if (length >= static_cast<ssize_t>(sizeof target)) // longer targets come back cut
        return false;
    if (length > 0) {
        target[length] = '\0';
        if (target[0] == '/')
            memcpy(area, target, static_cast<size_t>(length) + 1);
        else if (!__compose(area, "%s%c%s", ZORAL_HOME, SEPARATOR, target))
            return false;
        return OmxStatFile(&status, area) == 0;
    }
    return (status.flags & OMX_FILE_DIRECTORY) != 0 && __compose(area, "%s", DATAAREA_LINK);
}

static int __validate_dir(const char *area, const char *name, char *error, int errorSize) {
    char path[DATAAREA_PATH_SIZE];
    bool whole = __compose(path, "%s%c%s", area, SEPARATOR, name);
    OmxFileStatus status;
    if (!whole || OmxStatFile(&status, path) != 0) {
        __bounded_message(error, errorSize,
                          "The %s directory in the ZORAL data area does not exist: %s", name, path);
        return ENOTDIR;
    }
    if ((status.flags & OMX_FILE_DIRECTORY) == 0) {
        __bounded_message(error, errorSize,
                          "The %s directory in the ZORAL data area is not a directory: %s", name,
                          path);
        return ENOTDIR;
    }
    return 0;
}

static int __validate_control_file(const char *area, const char *name, char *error, int errorSize) {
    char path[DATAAREA_PATH_SIZE];
    if (__compose(path, "%s%cctl%c%s", area, SEPARATOR, SEPARATOR, name) &&
        __is_kind(path, OMX_FILE_REGULAR))
        return 0;
    __bounded_message(error, errorSize, "The %s file was not found at %s", name, path);
    return ENOENT;
}

static int __validate_area(const char *area, unsigned int mask, char *error, int errorSize) {
    OmxFileStatus status;
    int result = OmxStatFile(&status, area);
    if (result != 0) {
        __bounded_message(error, errorSize, "The ZORAL data area does not exist: %s", area);
        return result;
    }
    if ((status.flags & OMX_FILE_DIRECTORY) == 0) {
        __bounded_message(error, errorSize, "The ZORAL data area is not a directory: %s", area);
        return ENOTDIR;
    }

    // The order is part of the interface: callers see the first failure of this list.
    static const struct {
        unsigned int bit;
        const char *name;
    } directories[] = {
        {DATAAREA_CHECK_CONF_SYS, "conf/sys"}, {DATAAREA_CHECK_CONF_COF, "conf/cof"},
        {DATAAREA_CHECK_LOG, "log"},           {DATAAREA_CHECK_DB, "db"},
        {DATAAREA_CHECK_CTL, "ctl"},
    };
    for (const auto &directory : directories) {
        if ((mask & directory.bit) == 0)
            continue;
        result = __validate_dir(area, directory.name, error, errorSize);
        if (result != 0)
            return result;
    }
    if ((mask & DATAAREA_CHECK_CTL) == 0)
        return 0;
    result = __validate_control_file(area, "CONTROL.BAF", error, errorSize);
    if (result != 0)
        return result;
    return __validate_control_file(area, "CONTROL.BIF", error, errorSize);
}

extern "C" int GetZoralDataArea(char *path, int pathSize, unsigned int mask, char *error,
                                int errorSize) {
    if (error != NULL && errorSize > 0)
        error[0] = '\0';

    char area[DATAAREA_PATH_SIZE];
    if (!__find_area(area)) {
        __bounded_message(error, errorSize, "The ZORAL data area is not configured");
        return ENOENT;
    }
    if (mask != 0) {
        int result = __validate_area(area, mask, error, errorSize);
        if (result != 0)
            return result;
    }
    if (path == NULL || pathSize <= 0)
        return 0;
    // A cut path would name another directory; refuse rather than mislead.
    if (strlen(area) >= static_cast<size_t>(pathSize)) {
        __bounded_message(error, errorSize, "The ZORAL data area path does not fit the buffer: %s",
                          area);
        return ERANGE;
    }
    snprintf(path, static_cast<size_t>(pathSize), "%s", area);
    return 0;
}
