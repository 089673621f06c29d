// The real user's name and groups. This executable's account, group and
// allocation functions take the place of the platform's for the library code.
// OmxGetOSUser has too few cases for a file of its own and shares the doubles.
#include <gtest/gtest.h>

#include <errno.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "omx_osuser.h"

namespace {

// Each lookup works (kOk), fails with an errno, or fails leaving errno (kNoErrno).
const int kOk = -1, kNoErrno = -2;
struct World {
    int account = kOk, sizing = kOk, filling = kOk;
    int failing = 0, claimed = 0;      // the allocation to refuse (1-based); a group count to claim
    int nameless = 0, group_errno = 0; // a group id without entry, and its errno
    bool long_name = false, between = false; // another lookup between the two group queries
    std::string login() const {
        return long_name ? std::string(5000, 'u') : "abcdefgh"; // beyond a first guess of room
    }
} world;
int allocations, live_blocks;

} // namespace

// The shared record: any lookup rewrites the one name storage.
extern "C" struct passwd *getpwuid(uid_t uid) {
    static struct passwd entry;
    static char name[16];
    snprintf(name, sizeof name, "%s", uid == getuid() ? world.login().c_str() : "intruder");
    entry.pw_name = name;
    return world.account == kOk ? &entry : nullptr;
}

extern "C" int getpwuid_r(uid_t, struct passwd *entry, char *storage, size_t size,
                          struct passwd **result) {
    *result = nullptr;
    if (world.account != kOk)
        return world.account >= 0 ? world.account : 0; // an error, or no entry
    if (world.login().size() >= size)
        return ERANGE;
    entry->pw_name = strcpy(storage, world.login().c_str());
    *result = entry;
    return 0;
}

// Three groups for the real user; a query about anyone else fails with EPERM.
extern "C" int getgrouplist(const char *user, gid_t, gid_t *groups, int *ngroups) {
    if (world.between && groups == nullptr)
        getpwuid(getuid() + 1);
    const int how = world.login() != user ? EPERM
                    : groups == nullptr   ? world.sizing
                                          : world.filling;
    errno = how >= 0 ? how : errno;
    if (how != kOk)
        return -1;
    const gid_t ids[] = {100, 20, 30};
    int count = world.claimed > 0 ? world.claimed : 3;
    for (int i = 0; i < 3 && i < *ngroups; i++)
        groups[i] = ids[i];
    std::swap(*ngroups, count);
    return *ngroups <= count ? *ngroups : -1;
}

extern "C" struct group *getgrgid(gid_t gid) {
    static struct group entry;
    entry.gr_name = const_cast<char *>(gid == 100 ? "staff" : gid == 20 ? "dialout" : "video");
    if (static_cast<int>(gid) != world.nameless)
        return &entry;
    errno = world.group_errno;
    return nullptr;
}

// Like a heap without that much room, it refuses blocks of a gigabyte or more;
// a guard after each block catches writes past its end.
extern "C" void *OmxMemAlloc(size_t size) {
    if (++allocations == world.failing || size >= (1u << 30))
        return nullptr;
    live_blocks++;
    char *block = static_cast<char *>(calloc(1, size + 2 * sizeof size));
    memcpy(block, &size, sizeof size);
    memset(block + sizeof size + size, 0xA5, sizeof size);
    return block + sizeof size;
}

extern "C" void OmxMemFree(void *block) {
    if (block == nullptr)
        return;
    char *start = static_cast<char *>(block) - sizeof(size_t);
    size_t size;
    memcpy(&size, start, sizeof size);
    EXPECT_EQ(std::string(start + sizeof size + size, sizeof size),
              std::string(sizeof size, '\xA5'))
        << "written past the end";
    live_blocks--;
    free(start);
}

namespace {

// "result [names] message", with the message's common start left out; a negative
// size stands for a missing message buffer of that size.
std::string groups_of(World w, int errsize = 256) {
    world = w;
    allocations = live_blocks = 0;
    errno = EBADF; // an older errno that must not show
    char **groups = reinterpret_cast<char **>(&groups), error[256] = "untouched";
    int32_t count = 7;
    const int result =
        OmxGetUserGroups(&groups, &count, errsize < 0 ? nullptr : error, abs(errsize));
    std::string out = std::to_string(result) + " [";
    for (int32_t i = 0; i < count; i++)
        out += std::string(i > 0 ? " " : "") + groups[i];
    EXPECT_TRUE(groups == nullptr ? count == 0 : groups[count] == nullptr);
    OmxFreeUserGroups(groups);
    EXPECT_EQ(live_blocks, 0) << "blocks left allocated";
    return out + "] " + (strncmp(error, "OmxGetUserGroups line ", 22) == 0 ? error + 22 : error);
}

TEST(UserGroups, ListsTheNamesOrSaysWhyNotLeavingNothingAllocated) {
    const struct {
        World world; // account, sizing, filling, failing, claimed, nameless, group_errno, ...
        const char *expected;
    } rows[] = {
        {{}, "0 [staff dialout video] untouched"},
        {{kOk, kOk, kOk, 0, 0, 20}, "0 [staff video] 113: Error #0 from getgrgid()"},
        {{kOk, kOk, kOk, 0, 0, 20, ENOMEM}, "-1 [] 113: Error #12 from getgrgid()"},
        // Another thread's lookup between the group queries must not switch whose groups.
        {{kOk, kOk, kOk, 0, 0, 0, 0, true, true}, "0 [staff dialout video] untouched"},
        {{ENOENT}, "-1 [] 42: Error 2 in getpwuid(): No such file or directory"},
        {{kNoErrno}, "-1 [] 42: Error 0 in getpwuid(): Success"},
        {{kOk, kOk, kOk, 1, 0, 0, 0, true},
         "-1 [] 42: Error 12 in getpwuid(): Cannot allocate memory"},
        {{kOk, EIO}, "-1 [] 65: Error #5 from getgrouplist()"},
        {{kOk, 0}, "0 [] untouched"},
        {{kOk, kNoErrno}, "0 [] untouched"},
        {{kOk, kOk, ENOMEM}, "-1 [] 83: Error #12 from getgrouplist()"},
        // 2^30 ids take 2^32 bytes: a 32-bit size must not wrap round to a tiny block.
        {{kOk, kOk, kOk, 0, 1 << 30},
         "-1 [] 74: Out of memory allocating group id list (1073741824 entries)"},
        {{kOk, kOk, kOk, 2},
         "-1 [] 96: Out of memory allocating external group names list (3 entries)"},
        {{kOk, kOk, kOk, 4}, "-1 [] 108: Out of memory allocating external group name (8 bytes)"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(groups_of(row.world), row.expected);
}

TEST(UserGroups, MessagesAreOptionalAndCutToTheBuffer) {
    EXPECT_EQ(groups_of({kOk, kOk, EIO}, 17), "-1 [] OmxGetUserGroups");
    EXPECT_EQ(groups_of({kOk, kOk, EIO}, 1), "-1 [] ");
    EXPECT_EQ(groups_of({kOk, kOk, EIO}, -256), "-1 [] untouched");
    int32_t count;
    char **groups, error[96], expected[96];
    EXPECT_EQ(OmxGetUserGroups(&groups, nullptr, nullptr, 0), -1);
    EXPECT_EQ(OmxGetUserGroups(nullptr, &count, error, sizeof error), -1);
    snprintf(expected, sizeof expected, "%s%p",
             "OmxGetUserGroups line 21: Invalid argument(s) vvgroupsp=(nil) vlcountp=",
             static_cast<void *>(&count));
    EXPECT_STREQ(error, expected);
}

// "result [user] [second] message" for a name buffer of size bytes, or none;
// errsize as for groups_of().
std::string user_of(int account, bool buffer, unsigned int size, int errsize = 96) {
    world = World{account};
    char user[16] = "old", second[4] = "old", error[96] = "untouched";
    const int result = OmxGetOSUser(buffer ? user : nullptr, size, second, 0,
                                    errsize < 0 ? nullptr : error, abs(errsize));
    return std::to_string(result) + " [" + user + "] [" + second + "] " + error;
}

TEST(OsUser, CopiesTheLoginNameCutToTheBufferOrSaysWhyNot) {
    EXPECT_EQ(user_of(kOk, true, 4), "0 [abc] [] untouched");
    EXPECT_EQ(user_of(kOk, true, 1), "0 [] [] untouched");
    EXPECT_EQ(user_of(kOk, true, UINT_MAX), "0 [abcdefgh] [] untouched"); // not negative
    EXPECT_EQ(user_of(ENOENT, true, 16), "-1 [] [] untouched");
    EXPECT_EQ(user_of(kOk, false, 16),
              "-1 [old] [old] OmxGetOSUser line 28: Invalid argument(s) vvuserp=(nil) vlusrszi=16");
    EXPECT_EQ(user_of(kOk, false, UINT_MAX), "-1 [old] [old] OmxGetOSUser line 28: Invalid "
                                             "argument(s) vvuserp=(nil) vlusrszi=4294967295");
    EXPECT_EQ(user_of(kOk, true, 0, 0), "-1 [old] [old] untouched");
    EXPECT_EQ(user_of(kOk, false, 16, 20), "-1 [old] [old] OmxGetOSUser line 2");
    EXPECT_EQ(user_of(kOk, false, 16, -96), "-1 [old] [old] untouched");
}

} // namespace
