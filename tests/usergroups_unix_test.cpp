// The real user's name and groups, with this file's account, group and heap stand-ins.
#include <gtest/gtest.h>

#include <grp.h>
#include <pwd.h>

#include "omx_osuser.h"

// Each lookup works (kOk), fails with an errno, or fails leaving errno (kNoErrno).
const int kOk = -1, kNoErrno = -2;
static struct World {
    int account = kOk, sizing = kOk, filling = kOk, errsize = 256; // < 0: no message buffer
    int failing = 0, claimed = 0, nameless = 0, group_errno = 0;   // failing: 1-based allocation
    bool between = false; // another lookup amid the group queries
    std::string login = "abcdefgh";
    int allocations = 0, live_blocks = 0;
} world;

extern "C" struct passwd *getpwuid(uid_t uid) {
    static struct passwd entry;
    static char name[16];
    snprintf(name, sizeof name, "%s", uid == getuid() ? world.login.c_str() : "intruder");
    entry.pw_name = name;
    return world.account == kOk ? &entry : nullptr;
}

extern "C" int getpwuid_r(uid_t, struct passwd *entry, char *storage, size_t size,
                          struct passwd **result) {
    const bool found = world.account == kOk && world.login.size() < size;
    *result = found ? entry : nullptr;
    entry->pw_name = found ? strcpy(storage, world.login.c_str()) : nullptr;
    return found ? 0 : world.account >= 0 ? world.account : world.account == kOk ? ERANGE : 0;
}

// Groups 100, 20 and 30 for the real user; a query about anyone else fails.
extern "C" int getgrouplist(const char *user, gid_t, gid_t *groups, int *ngroups) {
    if (world.between && groups == nullptr)
        getpwuid(getuid() + 1);
    const int how = world.login != user ? EPERM : groups ? world.filling : world.sizing;
    errno = how >= 0 ? how : errno;
    const int room = *ngroups;
    *ngroups = how != kOk ? room : world.claimed != 0 ? std::max(world.claimed, 0) : 3;
    for (int i = 0; how == kOk && i < 3 && i < room; i++)
        groups[i] = i == 0 ? 100 : 10 * (i + 1);
    return how == kOk && *ngroups <= room ? *ngroups : -1;
}

extern "C" struct group *getgrgid(gid_t gid) {
    static struct group entry;
    entry.gr_name = const_cast<char *>(gid == 100 ? "staff" : gid == 20 ? "dialout" : "video");
    errno = static_cast<int>(gid) == world.nameless ? world.group_errno : errno;
    return static_cast<int>(gid) == world.nameless ? nullptr : &entry;
}

// Refuses blocks of a gigabyte or more; guard bytes after each show a missing
// terminator, and a write past the end when the block is freed.
extern "C" void *OmxMemAlloc(size_t size) {
    if (++world.allocations == world.failing || size >= (1u << 30))
        return nullptr;
    world.live_blocks++;
    size_t *block = static_cast<size_t *>(calloc(1, sizeof size + size + 8));
    *block = size;
    memset(reinterpret_cast<char *>(block + 1) + size, 0xA5, 8);
    return block + 1;
}

extern "C" void OmxMemFree(void *block) {
    if (block == nullptr)
        return;
    size_t *start = static_cast<size_t *>(block) - 1;
    EXPECT_EQ(static_cast<unsigned char *>(block)[*start], 0xA5) << "written past the end";
    world.live_blocks--;
    free(start);
}

// "result [names] message", without the messages' common words.
static std::string groups_of(World w) {
    world = w;
    errno = EBADF; // an older errno that must not show
    char **groups = reinterpret_cast<char **>(&groups), error[256] = "untouched";
    int32_t count = 7;
    const int result =
        OmxGetUserGroups(&groups, &count, w.errsize < 0 ? nullptr : error, abs(w.errsize));
    std::string out = std::to_string(result) + " [";
    for (int32_t i = 0; i < count; i++)
        out += std::string(i > 0 ? " " : "") + groups[i];
    EXPECT_TRUE(groups == nullptr ? count == 0 : groups[count] == nullptr);
    OmxFreeUserGroups(groups);
    EXPECT_EQ(world.live_blocks, 0) << "blocks left allocated";
    out += "] " + std::string(error);
    for (const std::string common : {"OmxGetUserGroups line ", "Out of memory allocating "})
        if (size_t at = out.find(common); at != std::string::npos)
            out.erase(at, common.size());
    return out;
}

// getpwuid_r(), so another thread's lookup amid the group queries switches no groups.
TEST(UserGroups, ListsTheNamesOrSaysWhyNotLeavingNothingAllocated) {
    // World: account, sizing, filling, errsize, failing, claimed, nameless, group_errno, ...
    const std::string kLong(5000, 'u'); // beyond a first guess of room
    const std::pair<World, const char *> rows[] = {
        {{}, "0 [staff dialout video] untouched"},
        {{kOk, kOk, kOk, 256, 0, 0, 20}, "0 [staff video] 113: Error #0 from getgrgid()"},
        {{kOk, kOk, kOk, 256, 0, 0, 20, ENOMEM}, "-1 [] 113: Error #12 from getgrgid()"},
        {{kOk, kOk, kOk, 256, 0, 0, 0, 0, true, kLong}, "0 [staff dialout video] untouched"},
        {{ENOENT}, "-1 [] 42: Error 2 in getpwuid(): No such file or directory"},
        {{kOk, kOk, kOk, 256, 1, 0, 0, 0, false, kLong},
         "-1 [] 42: Error 12 in getpwuid(): Cannot allocate memory"},
        {{kOk, EIO}, "-1 [] 65: Error #5 from getgrouplist()"},
        {{kOk, kNoErrno}, "0 [] untouched"},
        {{kOk, kOk, kOk, 256, 0, -1}, "0 [] untouched"}, // in no group at all
        {{kOk, kOk, ENOMEM}, "-1 [] 83: Error #12 from getgrouplist()"},
        // 2^30 ids take 2^32 bytes: a 32-bit size must not wrap round to a tiny block.
        {{kOk, kOk, kOk, 256, 0, 1 << 30}, "-1 [] 74: group id list (1073741824 entries)"},
        {{kOk, kOk, kOk, 256, 2}, "-1 [] 96: external group names list (3 entries)"},
        {{kOk, kOk, kOk, 256, 4}, "-1 [] 108: external group name (8 bytes)"},
        {{kOk, kOk, EIO, 17}, "-1 [] OmxGetUserGroups"}, // messages are cut to the buffer
        {{kOk, kOk, EIO, 1}, "-1 [] "},
        {{kOk, kOk, EIO, -256}, "-1 [] untouched"},
    };
    for (const auto &[w, expected] : rows)
        EXPECT_EQ(groups_of(w), expected);
    int32_t count;
    char error[128];
    EXPECT_EQ(OmxGetUserGroups(nullptr, &count, error, sizeof error), -1);
    EXPECT_EQ(std::string(error, 62),
              "OmxGetUserGroups line 21: Invalid argument(s) vvgroupsp=(nil) ");
}

// The login name cut to the buffer; the size is unsigned, never taken as negative.
TEST(OsUser, CopiesTheLoginNameCutToTheBufferOrSaysWhyNot) {
    const char *invalid = "OmxGetOSUser line 28: Invalid argument(s) vvuserp=(nil) vlusrszi=";
    const std::tuple<int, bool, unsigned int, int, std::string> rows[] = {
        {kOk, true, 4, 96, "0 [abc] [] untouched"},
        {kOk, true, ~0u, 96, "0 [abcdefgh] [] untouched"},
        {ENOENT, true, 16, 96, "-1 [] [] untouched"},
        {kOk, false, ~0u, 96, "-1 [old] [old] " + std::string(invalid) + "4294967295"},
        {kOk, true, 0, 0, "-1 [old] [old] untouched"},
        {kOk, false, 16, 1, "-1 [old] [old] "},
        {kOk, false, 16, -96, "-1 [old] [old] untouched"}};
    for (const auto &[account, buffer, size, errsize, expected] : rows) {
        world = World{account};
        char user[16] = "old", second[4] = "old", error[96] = "untouched";
        const int result = OmxGetOSUser(buffer ? user : nullptr, size, second, 0,
                                        errsize < 0 ? nullptr : error, abs(errsize));
        EXPECT_EQ(std::to_string(result) + " [" + user + "] [" + second + "] " + error, expected);
    }
}
