// Group sections, with the process's groups and the group database played by
// this executable's own getgroups and getgrnam.
#include "zoralrcs_fixture.h"

#include <errno.h>
#include <grp.h>
#include <string.h>
#include <unistd.h>

namespace {

std::vector<gid_t> g_process_groups = {100, 50}; // users, staff
bool g_getgroups_fails = false;

} // namespace

extern "C" int getgroups(int size, gid_t list[]) noexcept {
    int count = static_cast<int>(g_process_groups.size());
    if (g_getgroups_fails || (size != 0 && size < count)) {
        errno = EINVAL;
        return -1;
    }
    for (int i = 0; i < count && size != 0; i++)
        list[i] = g_process_groups[static_cast<size_t>(i)];
    return count;
}

extern "C" struct group *getgrnam(const char *name) {
    static const struct {
        const char *name;
        gid_t gid;
    } known[] = {{"users", 100}, {"staff", 50}, {"dba", 60}, {"wheel", 70}, {"big", 2400}};
    static struct group entry;
    for (const auto &k : known) {
        if (strcmp(k.name, name) == 0) {
            entry.gr_name = const_cast<char *>(k.name);
            entry.gr_gid = k.gid;
            return &entry;
        }
    }
    return NULL;
}

namespace {

class GroupSections : public ConfigFileTest {
  protected:
    void SetUp() override {
        ConfigFileTest::SetUp();
        g_process_groups = {100, 50};
        g_getgroups_fails = false;
    }
    // Reads header between non-privileged settings into a fresh store; true
    // when the section applied. Either way the settings around it stay.
    bool applies(const std::string &header, int mask = 7) {
        psinitrc();
        read("A = 1\n" + header + "\nX = g\n[NONPRIVILEGED]\nB = 2\n", mask);
        EXPECT_EQ(settings(N), (Settings{{"A", "1"}, {"B", "2"}})) << header;
        Settings group = settings(G);
        EXPECT_TRUE(group.empty() || group == (Settings{{"X", "g"}})) << header;
        return !group.empty();
    }
};

TEST_F(GroupSections, AGroupHeaderAppliesWhenItNamesAGroupOfTheProcess) {
    for (const char *header :
         {"[GROUP:staff]", "[group:staff]", "[GROUP:nosuchgroup,staff]", "[GROUP:staff other]",
          "[GROUP: dba, staff]", "[Group:wheel,,\tusers] trailing", "[GROUPS:staff]"})
        EXPECT_TRUE(applies(header)) << header;
    for (const char *header : {"[GROUP:wheel]", "[GROUP:]", "[GROUP: , ]", "[GROUP:STAFF]",
                               "[GROUP:nosuchgroup]", "[GROUP:staffs]"})
        EXPECT_FALSE(applies(header)) << header;
    EXPECT_FALSE(applies("[GROUP:staff]", P | N));

    g_getgroups_fails = true;
    EXPECT_FALSE(applies("[GROUP:staff]"));
    g_getgroups_fails = false;
    g_process_groups.clear();
    EXPECT_FALSE(applies("[GROUP:staff]"));
}

TEST_F(GroupSections, EveryGroupOfALargeGroupListCounts) {
    g_process_groups.clear();
    for (gid_t gid = 1000; gid < 2500; gid++)
        g_process_groups.push_back(gid);
    EXPECT_TRUE(applies("[GROUP:big]")); // 1401st in the list
    EXPECT_FALSE(applies("[GROUP:staff]"));
}

TEST_F(GroupSections, MalformedGroupHeadersKeepTheCurrentSection) {
    read("[PRIVILEGED]\nP = 1\n[GROUP]\nQ = 2\n[GROUP:staff\nR = 3\n");
    EXPECT_EQ(settings(P), (Settings{{"P", "1"}, {"Q", "2"}, {"R", "3"}}));
    EXPECT_EQ(levels(), std::vector<int>{P});
}

TEST_F(GroupSections, ApplyingHeadersShareOneSectionBetweenTheOtherLevels) {
    read("[GROUP:staff]\nA = 1\n[NONPRIVILEGED]\nN = 1\n[GROUP:wheel]\nA = w\n"
         "[GROUP:dba,staff]\nB = 2\nA = 3\n[PRIVILEGED]\nP = 1\n");
    EXPECT_EQ(levels(), (std::vector<int>{P, G, N}));
    EXPECT_EQ(settings(G), (Settings{{"A", "3"}, {"B", "2"}}));
}

TEST_F(GroupSections, NonPrivilegedBeatsGroupBeatsPrivileged) {
    for (const char *name : {"X", "Y", "Z"})
        unsetenv(name);
    read("[PRIVILEGED]\nX = p\nY = p\nZ = p\n[GROUP:staff]\nX = g\nY = g\n[NONPRIVILEGED]\nX = n\n"
         "[PRIVILEGED]\nR = $Y\n");
    EXPECT_STREQ(fscheckrc("X", 7), "n");
    EXPECT_STREQ(fscheckrc("X", P | G), "g");
    EXPECT_STREQ(fscheckrc("X", P), "p");
    EXPECT_STREQ(fscheckrc("Y", 7), "g");
    EXPECT_STREQ(fscheckrc("Y", P | N), "p");
    EXPECT_STREQ(fscheckrc("Z", 7), "p");
    EXPECT_STREQ(fscheckrc("R", P), "g"); // references take the highest level too
}

} // namespace
