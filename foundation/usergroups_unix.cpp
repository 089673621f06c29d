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
#include <stdint.h>
#include <string.h>
#include <unistd.h>

#include "helpers.h"
#include "omx_error.h"
#include "omx_memory.h"

// Room for the account record: a first guess on the stack, then doubled up to the limit.
enum { ACCOUNT_STORAGE = 1024, ACCOUNT_STORAGE_LIMIT = 1 << 20 };

// The ids of the groups of user, whose primary group is gid, in *ids (the
// caller frees it) and their number in *filled. *ids stays NULL when the
// platform reports no groups without an error. 0, or -1 with a message.
static int __lookup_ids(const char *user, gid_t gid, gid_t **ids, int *filled, char *errbuf,
                        int errsize) {
    int needed = 0;
    errno = 0;
    if (getgrouplist(user, gid, NULL, &needed) == -1 && needed == 0) {
        int err = errno;
        if (err == 0)
            return 0;
        __bounded_message(errbuf, errsize,
                          "OmxGetUserGroups line %d: Error #%d from getgrouplist()", 65, err);
        return -1;
    }
    // The byte count must not wrap round to a small block where size_t has 32 bits.
    if (needed >= 0 && needed < INT_MAX && static_cast<size_t>(needed) < SIZE_MAX / sizeof **ids)
        *ids = static_cast<gid_t *>(OmxMemAlloc((static_cast<size_t>(needed) + 1) * sizeof **ids));
    if (*ids == NULL) {
        __bounded_message(
            errbuf, errsize,
            "OmxGetUserGroups line %d: Out of memory allocating group id list (%d entries)", 74,
            needed);
        return -1;
    }
    *filled = needed;
    errno = 0;
    if (getgrouplist(user, gid, *ids, filled) == -1) {
        __bounded_message(errbuf, errsize,
                          "OmxGetUserGroups line %d: Error #%d from getgrouplist()", 83, errno);
        return -1;
    }
    if (*filled < 0 || *filled > needed) // never read past the ids the array holds
        *filled = needed;
    return 0;
}

// The names of count groups ids, as OmxGetUserGroups() hands them out. An id
// without a name is left out, unless its lookup ran out of memory: then the
// name is unknown, not absent, and the whole list fails.
static int __name_groups(const gid_t *ids, int count, char ***groups, int32_t *stored, char *errbuf,
                         int errsize) {
    char **names =
        static_cast<char **>(OmxMemAlloc((static_cast<size_t>(count) + 1) * sizeof *names));
    if (names == NULL) {
        __bounded_message(errbuf, errsize,
                          "OmxGetUserGroups line %d: Out of memory allocating external group "
                          "names list (%d entries)",
                          96, count);
        return -1;
    }
    int named = 0;
    bool out_of_memory = false;
    for (int i = 0; i < count && !out_of_memory; i++) {
        errno = 0;
        const struct group *entry = getgrgid(ids[i]);
        if (entry == NULL || entry->gr_name == NULL) {
            int err = errno;
            __bounded_message(errbuf, errsize,
                              "OmxGetUserGroups line %d: Error #%d from getgrgid()", 113, err);
            out_of_memory = err == ENOMEM;
            continue;
        }
        size_t length = strlen(entry->gr_name);
        char *name = static_cast<char *>(OmxMemAlloc(length + 1));
        if (name == NULL) {
            __bounded_message(errbuf, errsize,
                              "OmxGetUserGroups line %d: Out of memory allocating external group "
                              "name (%zu bytes)",
                              108, length + 1);
            out_of_memory = true;
            continue;
        }
        memcpy(name, entry->gr_name, length); // the zero fill ends the name
        names[named++] = name;
    }
    if (out_of_memory) {
        OmxFreeUserGroups(names);
        return -1;
    }
    *groups = names;
    *stored = named;
    return 0;
}

// The names of the groups of user, whose primary group is gid; 0 or -1 as
// OmxGetUserGroups() answers.
static int __list_groups(const char *user, gid_t gid, char ***groups, int32_t *count, char *errbuf,
                         int errsize) {
    gid_t *ids = NULL;
    int filled = 0;
    int result = __lookup_ids(user, gid, &ids, &filled, errbuf, errsize);
    if (result == 0 && ids != NULL)
        result = __name_groups(ids, filled, groups, count, errbuf, errsize);
    OmxMemFree(ids);
    return result;
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
        __bounded_message(errbuf, errsize,
                          "OmxGetUserGroups line %d: Invalid argument(s) vvgroupsp=%p vlcountp=%p",
                          21, static_cast<void *>(groups), static_cast<void *>(count));
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
        __bounded_message(errbuf, errsize, "OmxGetUserGroups line %d: Error %d in getpwuid(): %s",
                          42, err, text);
    }
    if (storage != first_storage)
        OmxMemFree(storage);
    return result;
}

} // extern "C"
