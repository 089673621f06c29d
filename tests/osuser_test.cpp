#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <grp.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "omx_osuser.h"

// --- Interposed lookups -------------------------------------------------------
// This executable's definitions take the place of the platform's for the
// library code linked into it. With fake_lookups false they fall through.

namespace {

bool fake_lookups = false;
const int kWorks = -1, kFailsKeepingErrno = -2;
int account_errno, sizing_errno, filling_errno; // kWorks, or fail (with this errno when >= 0)
std::vector<gid_t> member_ids;                  // what getgrouplist() reports
std::map<gid_t, std::string> group_names;       // ids without a name here have no entry
int claimed_count; // when positive, the sizing query's answer instead of member_ids' size
std::string login; // the real user's login name
std::vector<std::string> users_asked; // whose groups getgrouplist() was asked for
bool lookup_between;                  // another account lookup between the two group queries

int allocations, live_blocks;
int failing_allocation; // 1-based index of the allocation to refuse; 0 for none

bool fails(int how) {
    if (how >= 0)
        errno = how;
    return how != kWorks;
}

template <typename F> F real(const char *name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

} // namespace

// The shared record: any lookup rewrites the one name storage.
extern "C" struct passwd *getpwuid(uid_t uid) {
    if (!fake_lookups)
        return real<struct passwd *(*)(uid_t)>("getpwuid")(uid);
    static struct passwd entry;
    static char name[16];
    if (fails(account_errno))
        return nullptr;
    errno = ENOENT; // as a name service may leave it after a successful lookup
    snprintf(name, sizeof name, "%s", uid == getuid() ? login.c_str() : "intruder");
    entry.pw_name = name;
    entry.pw_uid = uid;
    entry.pw_gid = 100;
    return &entry;
}

extern "C" int getpwuid_r(uid_t uid, struct passwd *entry, char *storage, size_t size,
                          struct passwd **result) {
    if (!fake_lookups)
        return real<int (*)(uid_t, struct passwd *, char *, size_t, struct passwd **)>(
            "getpwuid_r")(uid, entry, storage, size, result);
    *result = nullptr;
    if (account_errno != kWorks)
        return account_errno >= 0 ? account_errno : 0; // an error, or no entry
    if (login.size() >= size)
        return ERANGE;
    memcpy(storage, login.c_str(), login.size() + 1);
    entry->pw_name = storage;
    entry->pw_uid = uid;
    entry->pw_gid = 100;
    *result = entry;
    return 0;
}

extern "C" int getgrouplist(const char *user, gid_t group, gid_t *groups, int *ngroups) {
    if (!fake_lookups)
        return real<int (*)(const char *, gid_t, gid_t *, int *)>("getgrouplist")(user, group,
                                                                                  groups, ngroups);
    users_asked.push_back(user);
    if (lookup_between && groups == nullptr)
        getpwuid(getuid() + 1);
    if (fails(groups == nullptr ? sizing_errno : filling_errno))
        return -1;
    if (groups == nullptr && claimed_count > 0) {
        *ngroups = claimed_count;
        return -1;
    }
    int size = static_cast<int>(member_ids.size());
    bool fits = *ngroups >= size;
    for (int i = 0; i < size && i < *ngroups; i++)
        groups[i] = member_ids[static_cast<size_t>(i)];
    *ngroups = size;
    return fits ? size : -1;
}

extern "C" struct group *getgrgid(gid_t gid) {
    if (!fake_lookups)
        return real<struct group *(*)(gid_t)>("getgrgid")(gid);
    static struct group entry;
    auto found = group_names.find(gid);
    if (found == group_names.end())
        return nullptr;
    entry.gr_name = const_cast<char *>(found->second.c_str());
    entry.gr_gid = gid;
    return &entry;
}

// The allocation layer, replaced whole so that any one allocation can be
// refused and every block accounted for. Like a heap without that much room,
// it refuses blocks of a gigabyte or more.
extern "C" void *OmxMemAlloc(size_t size) {
    if (++allocations == failing_allocation || size >= (1u << 30))
        return nullptr;
    live_blocks++;
    return calloc(1, (size + 3) & ~static_cast<size_t>(3));
}

extern "C" void OmxMemFree(void *block) {
    if (block != nullptr)
        live_blocks--;
    free(block);
}

namespace {

std::string run(const char *command) {
    FILE *pipe = popen(command, "r");
    std::string out;
    char chunk[256];
    size_t n;
    while (pipe != nullptr && (n = fread(chunk, 1, sizeof chunk, pipe)) > 0)
        out.append(chunk, n);
    if (pipe != nullptr)
        pclose(pipe);
    return out;
}

class FakeLookups : public ::testing::Test {
  protected:
    void SetUp() override {
        fake_lookups = true;
        account_errno = sizing_errno = filling_errno = kWorks;
        allocations = failing_allocation = live_blocks = claimed_count = 0;
        member_ids = {100, 20, 30};
        group_names = {{100, "staff"}, {20, "dialout"}, {30, "video"}};
        login = "abcdefgh";
        users_asked.clear();
        lookup_between = false;
        memset(error, 'x', sizeof error - 1);
        error[sizeof error - 1] = '\0';
    }
    void TearDown() override {
        fake_lookups = false;
        EXPECT_EQ(live_blocks, 0) << "blocks left allocated";
    }
    // Expects result with nothing to release, and message (NULL: the buffer untouched).
    void expect_no_list(int result, const char *message) {
        char **groups = reinterpret_cast<char **>(&groups); // not NULL on purpose
        int32_t count = 7;
        EXPECT_EQ(OmxGetUserGroups(&groups, &count, error, sizeof error), result);
        EXPECT_EQ(groups, nullptr);
        EXPECT_EQ(count, 0);
        EXPECT_STREQ(error,
                     message != nullptr ? message : std::string(sizeof error - 1, 'x').c_str());
    }
    void expect_failure(const char *message) {
        expect_no_list(-1, message);
    }
    // The names of a successful call; every slot after them is NULL.
    std::vector<std::string> group_names_listed(char *message) {
        char **groups = nullptr;
        int32_t count = -1;
        EXPECT_EQ(OmxGetUserGroups(&groups, &count, message, message != nullptr ? 256 : 0), 0);
        if (groups == nullptr)
            return {"<no list>"};
        std::vector<std::string> names(groups, groups + count);
        for (size_t i = names.size(); i <= member_ids.size(); i++)
            EXPECT_EQ(groups[i], nullptr) << i;
        OmxFreeUserGroups(groups);
        return names;
    }
    char error[256];
};

// --- OmxGetOSUser -------------------------------------------------------------

TEST(OmxGetOSUser, NameIsWhatIdSays) {
    char user[256], second[16] = "stale";
    char error[256] = "";
    ASSERT_EQ(OmxGetOSUser(user, sizeof user, second, sizeof second, error, sizeof error), 0);
    EXPECT_EQ(std::string(user) + "\n", run("id -un"));
    EXPECT_STREQ(second, "");
    EXPECT_STREQ(error, "");
}

TEST_F(FakeLookups, OmxGetOSUserCutsTheNameToTheBuffer) {
    // A size beyond the signed range must not read as negative.
    const std::pair<unsigned int, const char *> cases[] = {
        {4, "abc"}, {9, "abcdefgh"}, {1, ""}, {UINT_MAX, "abcdefgh"}};
    for (const auto &[size, expected] : cases) {
        char user[16];
        EXPECT_EQ(OmxGetOSUser(user, size, nullptr, 0, error, sizeof error), 0) << size;
        EXPECT_STREQ(user, expected) << size;
    }
}

TEST_F(FakeLookups, OmxGetOSUserRefusesMissingBuffer) {
    char user[8] = "stale";
    EXPECT_EQ(OmxGetOSUser(nullptr, 16, nullptr, 0, error, sizeof error), -1);
    EXPECT_STREQ(error, "OmxGetOSUser line 28: Invalid argument(s) vvuserp=(nil) vlusrszi=16");
    EXPECT_EQ(OmxGetOSUser(nullptr, UINT_MAX, nullptr, 0, error, sizeof error), -1);
    EXPECT_STREQ(error,
                 "OmxGetOSUser line 28: Invalid argument(s) vvuserp=(nil) vlusrszi=4294967295");
    EXPECT_EQ(OmxGetOSUser(user, 0, nullptr, 0, error, sizeof error), -1);
    std::ostringstream expected;
    expected << "OmxGetOSUser line 28: Invalid argument(s) vvuserp=" << static_cast<void *>(user)
             << " vlusrszi=0";
    EXPECT_EQ(error, expected.str());
    EXPECT_STREQ(user, "stale");
    EXPECT_EQ(OmxGetOSUser(nullptr, 16, nullptr, 0, nullptr, 256), -1); // no message wanted
    EXPECT_EQ(OmxGetOSUser(nullptr, 16, nullptr, 0, error, 20), -1);
    EXPECT_STREQ(error, "OmxGetOSUser line 2");
}

TEST_F(FakeLookups, OmxGetOSUserWithoutAccountFailsSilently) {
    account_errno = ENOENT;
    char user[16] = "stale", second[16] = "stale";
    EXPECT_EQ(OmxGetOSUser(user, sizeof user, second, sizeof second, error, sizeof error), -1);
    EXPECT_STREQ(user, "");
    EXPECT_STREQ(second, "");
    EXPECT_EQ(error[0], 'x');
}

// --- OmxGetUserGroups ---------------------------------------------------------

TEST(OmxGetUserGroups, NamesAreWhatIdSays) {
    char **groups = nullptr;
    int32_t count = -1;
    char error[256] = "";
    ASSERT_EQ(OmxGetUserGroups(&groups, &count, error, sizeof error), 0) << error;
    ASSERT_NE(groups, nullptr);
    std::set<std::string> ours;
    for (int32_t i = 0; i < count; i++)
        ours.insert(groups[i]);
    EXPECT_EQ(groups[count], nullptr);
    OmxFreeUserGroups(groups);

    std::istringstream words(run("id -Gn"));
    std::set<std::string> theirs;
    for (std::string word; words >> word;)
        theirs.insert(word);
    EXPECT_EQ(ours, theirs);
    EXPECT_EQ(ours.size(), static_cast<size_t>(count)) << "a group named twice";
}

TEST_F(FakeLookups, ListsEveryGroupInOrderAndSkipsGroupsWithoutEntry) {
    EXPECT_EQ(group_names_listed(error), (std::vector<std::string>{"staff", "dialout", "video"}));
    OmxFreeUserGroups(nullptr);

    group_names.erase(20);
    EXPECT_EQ(group_names_listed(error), (std::vector<std::string>{"staff", "video"}));
    EXPECT_STREQ(error, "OmxGetUserGroups line 113: Error #0 from getgrgid()");
    group_names.clear(); // nothing named: an empty list that still releases cleanly
    EXPECT_EQ(group_names_listed(nullptr), std::vector<std::string>{});
}

TEST_F(FakeLookups, GroupsAreOfTheRealUserWhateverOtherLookupsDo) {
    // Another thread's lookup between the two queries; a name beyond any first guess of room.
    for (const std::string &name : {std::string("abcdefgh"), std::string(5000, 'u')}) {
        login = name;
        lookup_between = true;
        users_asked.clear();
        EXPECT_EQ(group_names_listed(error),
                  (std::vector<std::string>{"staff", "dialout", "video"}));
        EXPECT_EQ(users_asked, (std::vector<std::string>{name, name}));
    }
}

TEST_F(FakeLookups, MissingAccountIsReported) {
    account_errno = ENOENT;
    expect_failure("OmxGetUserGroups line 42: Error 2 in getpwuid(): No such file or directory");
    // Not found sets no errno; an older one must not be reported instead.
    account_errno = kFailsKeepingErrno;
    errno = EBADF;
    expect_failure("OmxGetUserGroups line 42: Error 0 in getpwuid(): Success");
}

TEST_F(FakeLookups, FailedGroupQueriesAreReported) {
    sizing_errno = EIO;
    expect_failure("OmxGetUserGroups line 65: Error #5 from getgrouplist()");
    sizing_errno = kWorks;
    filling_errno = ENOMEM;
    expect_failure("OmxGetUserGroups line 83: Error #12 from getgrouplist()");
}

TEST_F(FakeLookups, GroupCountsBeyondTheAddressSpaceAreRefused) {
    // 2^30 ids take 2^32 bytes: a 32-bit size must not wrap round to a tiny block.
    claimed_count = 1 << 30;
    expect_failure(
        "OmxGetUserGroups line 74: Out of memory allocating group id list (1073741824 entries)");
}

TEST_F(FakeLookups, SizingQueryWithoutErrorIsAnEmptyAnswer) {
    sizing_errno = 0;
    expect_no_list(0, nullptr);
    // The same when errno merely held an older number.
    sizing_errno = kFailsKeepingErrno;
    errno = EIO;
    expect_no_list(0, nullptr);
}

TEST_F(FakeLookups, EachRefusedAllocationFailsWithoutLeaks) {
    const char *messages[] = {
        "OmxGetUserGroups line 74: Out of memory allocating group id list (3 entries)",
        "OmxGetUserGroups line 96: Out of memory allocating external group names list (3 "
        "entries)",
        "OmxGetUserGroups line 108: Out of memory allocating external group name (6 bytes)",
        "OmxGetUserGroups line 108: Out of memory allocating external group name (8 bytes)",
        "OmxGetUserGroups line 108: Out of memory allocating external group name (6 bytes)",
    };
    for (int i = 0; i < 5; i++) {
        SCOPED_TRACE(i + 1);
        allocations = 0;
        failing_allocation = i + 1;
        expect_failure(messages[i]);
        EXPECT_EQ(live_blocks, 0);
    }
}

TEST_F(FakeLookups, MessagesAreBoundedAndOptional) {
    filling_errno = EIO;
    char **groups = nullptr;
    int32_t count = 0;
    EXPECT_EQ(OmxGetUserGroups(&groups, &count, nullptr, 256), -1);
    EXPECT_EQ(OmxGetUserGroups(&groups, &count, error, 0), -1);
    EXPECT_EQ(error[0], 'x');
    EXPECT_EQ(OmxGetUserGroups(&groups, &count, error, 17), -1);
    EXPECT_STREQ(error, "OmxGetUserGroups");
    account_errno = EIO;
    EXPECT_EQ(OmxGetUserGroups(&groups, &count, nullptr, 0), -1);
    EXPECT_EQ(OmxGetUserGroups(nullptr, &count, error, sizeof error), -1);
    std::ostringstream expected;
    expected << "OmxGetUserGroups line 21: Invalid argument(s) vvgroupsp=(nil) vlcountp="
             << static_cast<void *>(&count);
    EXPECT_EQ(error, expected.str());
    EXPECT_EQ(OmxGetUserGroups(&groups, nullptr, nullptr, 0), -1);
}

TEST_F(FakeLookups, FreeingAnEmptyListReleasesOnlyTheArray) {
    char **groups = static_cast<char **>(OmxMemAlloc(sizeof(char *)));
    EXPECT_EQ(live_blocks, 1);
    OmxFreeUserGroups(groups);
    EXPECT_EQ(live_blocks, 0);
}

} // namespace
