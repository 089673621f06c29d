// OmxGetUserGroups and OmxFreeUserGroups: the names of the real user's groups.
//
// The list has one slot more than the ids the platform reported, all starting
// NULL, and names fill it from the front, so it stays NULL-terminated however
// many ids go unnamed. On failure nothing stays allocated.
#include "omx_osuser.h"

#include <errno.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include "omx_error.h"
#include "omx_memory.h"

// Room for the account record: a first guess on the stack, then doubled up to the limit.
enum { ACCOUNT_STORAGE = 1024, ACCOUNT_STORAGE_LIMIT = 1 << 20 };

__attribute__((format(printf, 3, 4))) static void __report(char *errbuf, int errsize,
                                                           const char *format, ...) {
    if (errbuf == NULL || errsize <= 0)
        return;
    va_list args;
    va_start(args, format);
    vsnprintf(errbuf, static_cast<size_t>(errsize), format, args);
    va_end(args);
}

// The names of the groups of user, whose primary group is gid; 0 or -1 as
// OmxGetUserGroups() answers.
static int __list_groups(const char *user, gid_t gid, char ***groups, int32_t *count, char *errbuf,
                         int errsize) {
    int needed = 0;
    errno = 0;
    if (getgrouplist(user, gid, NULL, &needed) == -1 && needed == 0) {
        int err = errno;
        if (err == 0)
            return 0;
        __report(errbuf, errsize, "OmxGetUserGroups line %d: Error #%d from getgrouplist()", 65,
                 err);
        return -1;
    }

    gid_t *ids = NULL;
    // The byte count must not wrap round to a small block where size_t has 32 bits.
    if (needed >= 0 && needed < INT_MAX && static_cast<size_t>(needed) < SIZE_MAX / sizeof *ids)
        ids = static_cast<gid_t *>(OmxMemAlloc((static_cast<size_t>(needed) + 1) * sizeof *ids));
    if (ids == NULL) {
        __report(errbuf, errsize,
                 "OmxGetUserGroups line %d: Out of memory allocating group id list (%d entries)",
                 74, needed);
        return -1;
    }
    int filled = needed;
    errno = 0;
    if (getgrouplist(user, gid, ids, &filled) == -1) {
        __report(errbuf, errsize, "OmxGetUserGroups line %d: Error #%d from getgrouplist()", 83,
                 errno);
        OmxMemFree(ids);
        return -1;
    }
    if (filled < 0 || filled > needed) // never read past the ids the array holds
        filled = needed;

    char **names =
        static_cast<char **>(OmxMemAlloc((static_cast<size_t>(filled) + 1) * sizeof *names));
    if (names == NULL) {
        __report(errbuf, errsize,
                 "OmxGetUserGroups line %d: Out of memory allocating external group names list "
                 "(%d entries)",
                 96, filled);
        OmxMemFree(ids);
        return -1;
    }
    int stored = 0;
    bool out_of_memory = false;
    for (int i = 0; i < filled && !out_of_memory; i++) {
        errno = 0;
        const struct group *entry = getgrgid(ids[i]);
        if (entry == NULL || entry->gr_name == NULL) {
            int err = errno;
            __report(errbuf, errsize, "OmxGetUserGroups line %d: Error #%d from getgrgid()", 113,
                     err);
            // One unnamed id must not cost the caller the names of all others, but a
            // lookup that ran out of memory leaves a name unknown, not absent.
            out_of_memory = err == ENOMEM;
            continue;
        }
        size_t length = strlen(entry->gr_name);
        char *name = static_cast<char *>(OmxMemAlloc(length + 1));
        if (name == NULL) {
            __report(errbuf, errsize,
                     "OmxGetUserGroups line %d: Out of memory allocating external group name "
                     "(%zu bytes)",
                     108, length + 1);
            out_of_memory = true;
            continue;
        }
        memcpy(name, entry->gr_name, length); // the zero fill ends the name
        names[stored++] = name;
    }
    OmxMemFree(ids);
    if (out_of_memory) {
        OmxFreeUserGroups(names);
        return -1;
    }
    *groups = names;
    *count = stored;
    return 0;
}

extern "C" {

void OmxFreeUserGroups(char **groups) {
    if (groups == NULL)
        return;
    for (char **name = groups; *name != NULL; name++)
        OmxMemFree(*name);
    OmxMemFree(groups);
}

int OmxGetUserGroups(char ***groups, int32_t *count, char *errbuf, int errsize) {
    if (groups == NULL || count == NULL) {
        __report(errbuf, errsize,
                 "OmxGetUserGroups line %d: Invalid argument(s) vvgroupsp=%p vlcountp=%p", 21,
                 static_cast<void *>(groups), static_cast<void *>(count));
        return -1;
    }
    *count = 0;
    *groups = NULL;

    // The account goes into storage of this call's own: the record getpwuid()
    // shares could change under another thread's lookup between the group queries.
    char first_storage[ACCOUNT_STORAGE];
    char *storage = first_storage;
    size_t size = sizeof first_storage;
    struct passwd entry, *account = NULL;
    int err;
    while ((err = getpwuid_r(getuid(), &entry, storage, size, &account)) == ERANGE &&
           size < ACCOUNT_STORAGE_LIMIT) {
        if (storage != first_storage)
            OmxMemFree(storage);
        size *= 2;
        storage = static_cast<char *>(OmxMemAlloc(size));
        if (storage == NULL) {
            err = ENOMEM;
            break;
        }
    }
    int result = -1;
    if (account != NULL) {
        result = __list_groups(account->pw_name, account->pw_gid, groups, count, errbuf, errsize);
    } else if (errbuf != NULL) {
        char text[512];
        OmxGetErrorText(err, text, sizeof text);
        __report(errbuf, errsize, "OmxGetUserGroups line %d: Error %d in getpwuid(): %s", 42, err,
                 text);
    }
    if (storage != first_storage)
        OmxMemFree(storage);
    return result;
}

} // extern "C"
