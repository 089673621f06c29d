// The real user's name and groups. This executable's account, group and
// allocation functions take the place of the platform's for the library code.
#include <gtest/gtest.h>

#include <errno.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>

#include "omx_osuser.h"

namespace {

// Each lookup works (kOk), fails with an errno, or fails leaving errno (kNoErrno).
const int kOk = -1, kNoErrno = -2;
const char kGuard = '\xA5';
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
// a guard byte after each block catches a write past its end.
extern "C" void *OmxMemAlloc(size_t size) {
    if (++allocations == world.failing || size >= (1u << 30))
        return nullptr;
    live_blocks++;
    size_t *block = static_cast<size_t *>(calloc(1, sizeof size + size + 1));
    *block = size;
    reinterpret_cast<char *>(block + 1)[size] = kGuard;
    return block + 1;
}

extern "C" void OmxMemFree(void *block) {
    if (block == nullptr)
        return;
    size_t *start = static_cast<size_t *>(block) - 1;
    EXPECT_EQ(static_cast<char *>(block)[*start], kGuard) << "written past the end";
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

// The account is looked up with getpwuid_r(), in storage grown to fit: another
// thread's lookup between the group queries must not switch whose groups.
TEST(UserGroups, ListsTheNamesOrSaysWhyNotLeavingNothingAllocated) {
    const struct {
        World world; // account, sizing, filling, failing, claimed, nameless, group_errno, ...
        int errsize;
        const char *expected;
    } rows[] = {
        {{}, 256, "0 [staff dialout video] untouched"},
        {{kOk, kOk, kOk, 0, 0, 20}, 256, "0 [staff video] 113: Error #0 from getgrgid()"},
        {{kOk, kOk, kOk, 0, 0, 20, ENOMEM}, 256, "-1 [] 113: Error #12 from getgrgid()"},
        {{kOk, kOk, kOk, 0, 0, 0, 0, true, true}, 256, "0 [staff dialout video] untouched"},
        {{ENOENT}, 256, "-1 [] 42: Error 2 in getpwuid(): No such file or directory"},
        {{kNoErrno}, 256, "-1 [] 42: Error 0 in getpwuid(): Success"},
        {{kOk, kOk, kOk, 1, 0, 0, 0, true},
         256,
         "-1 [] 42: Error 12 in getpwuid(): Cannot allocate memory"},
        {{kOk, EIO}, 256, "-1 [] 65: Error #5 from getgrouplist()"},
        {{kOk, 0}, 256, "0 [] untouched"},
        {{kOk, kNoErrno}, 256, "0 [] untouched"},
        {{kOk, kOk, ENOMEM}, 256, "-1 [] 83: Error #12 from getgrouplist()"},
        // 2^30 ids take 2^32 bytes: a 32-bit size must not wrap round to a tiny block.
        {{kOk, kOk, kOk, 0, 1 << 30},
         256,
         "-1 [] 74: Out of memory allocating group id list (1073741824 entries)"},
        {{kOk, kOk, kOk, 2},
         256,
         "-1 [] 96: Out of memory allocating external group names list (3 entries)"},
        {{kOk, kOk, kOk, 4},
         256,
         "-1 [] 108: Out of memory allocating external group name (8 bytes)"},
        {{kOk, kOk, EIO}, 17, "-1 [] OmxGetUserGroups"}, // messages are cut to the buffer
        {{kOk, kOk, EIO}, 1, "-1 [] "},
        {{kOk, kOk, EIO}, -256, "-1 [] untouched"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(groups_of(row.world, row.errsize), row.expected);
    int32_t count;
    char **groups, error[96], expected[96];
    EXPECT_EQ(OmxGetUserGroups(&groups, nullptr, nullptr, 0), -1);
    EXPECT_EQ(OmxGetUserGroups(nullptr, &count, error, sizeof error), -1);
    snprintf(expected, sizeof expected, "%s%p",
             "OmxGetUserGroups line 21: Invalid argument(s) vvgroupsp=(nil) vlcountp=", &count);
    EXPECT_STREQ(error, expected);
}

// The login name cut to the buffer; the size is unsigned, never taken as negative.
TEST(OsUser, CopiesTheLoginNameCutToTheBufferOrSaysWhyNot) {
    const char *invalid = "OmxGetOSUser line 28: Invalid argument(s) vvuserp=(nil) vlusrszi=";
    const struct {
        int account;
        bool buffer;
        unsigned int size;
        int errsize;
        std::string expected;
    } rows[] = {{kOk, true, 4, 96, "0 [abc] [] untouched"},
                {kOk, true, 1, 96, "0 [] [] untouched"},
                {kOk, true, UINT_MAX, 96, "0 [abcdefgh] [] untouched"},
                {ENOENT, true, 16, 96, "-1 [] [] untouched"},
                {kOk, false, 16, 96, "-1 [old] [old] " + std::string(invalid) + "16"},
                {kOk, false, UINT_MAX, 96, "-1 [old] [old] " + std::string(invalid) + "4294967295"},
                {kOk, true, 0, 0, "-1 [old] [old] untouched"},
                {kOk, false, 16, 20, "-1 [old] [old] OmxGetOSUser line 2"},
                {kOk, false, 16, -96, "-1 [old] [old] untouched"}};
    for (const auto &row : rows) {
        world = World{row.account};
        char user[16] = "old", second[4] = "old", error[96] = "untouched";
        const int result = OmxGetOSUser(row.buffer ? user : nullptr, row.size, second, 0,
                                        row.errsize < 0 ? nullptr : error, abs(row.errsize));
        EXPECT_EQ(std::to_string(result) + " [" + user + "] [" + second + "] " + error,
                  row.expected);
    }
}

} // namespace
