// Every exported function that allocates, run with its first, second, third
// ... heap allocation refused in turn, then with that one and all later ones
// refused: no crash, no leak, and either the whole result or the documented
// failure with the caller's data untouched. The configuration cases read the
// shared sandbox installation (its links decide QELS_HOME), so the cases of
// this file run one at a time with the cases that change it.
#include "failing_heap.h"

#include <grp.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dataarea.h"
#include "dynlib.h"
#include "logger.h"
#include "omx_base64.h"
#include "omx_datedelta.h"
#include "omx_memory.h"
#include "omx_osuser.h"
#include "qelsconf.h"
#include "strbuf.h"
#include "zoralrcs_internal.h"

using failing_heap::FROM_THEN_ON;
using failing_heap::Mode;
using failing_heap::ONCE;
using failing_heap::start_refusing;
using failing_heap::stop_refusing;

// --- Account, group and environment doubles ---------------------------------
// Fixed answers. Each lookup takes and returns a scratch block, as a name
// service does, so that under a sweep it fails with ENOMEM like the real one.
// setenv does the same before it sets: the C library's allocates only for a
// value it has not seen before, which a sweep's repeated runs never bring.

namespace {

char g_home[1024] = "/nonexistent";
const gid_t PRIMARY = 100, SWEEPERS = 4242, UNNAMED = 777;
const gid_t MEMBER_IDS[] = {PRIMARY, SWEEPERS, UNNAMED};
const int MEMBERS = sizeof MEMBER_IDS / sizeof MEMBER_IDS[0];

bool scratch() {
    void *block = malloc(64);
    free(block);
    return block != nullptr;
}

struct group *group_entry(gid_t gid, const char *name) {
    static struct group entry;
    static char names[2][16];
    if (name == nullptr)
        return nullptr;
    char *copy = names[gid == SWEEPERS];
    snprintf(copy, sizeof names[0], "%s", name);
    entry.gr_name = copy;
    entry.gr_gid = gid;
    return &entry;
}

} // namespace

extern "C" struct passwd *getpwuid(uid_t uid) {
    static struct passwd account;
    static char name[] = "sweeper";
    if (!scratch())
        return nullptr;
    account.pw_name = name;
    account.pw_uid = uid;
    account.pw_gid = PRIMARY;
    account.pw_dir = g_home;
    return &account;
}

extern "C" int getpwuid_r(uid_t uid, struct passwd *entry, char *storage, size_t size,
                          struct passwd **result) {
    static const char name[] = "sweeper";
    *result = nullptr;
    if (!scratch())
        return ENOMEM;
    if (size < sizeof name)
        return ERANGE;
    memcpy(storage, name, sizeof name);
    entry->pw_name = storage;
    entry->pw_uid = uid;
    entry->pw_gid = PRIMARY;
    *result = entry;
    return 0;
}

extern "C" int getgrouplist(const char *, gid_t, gid_t *groups, int *ngroups) {
    if (!scratch())
        return -1;
    bool fits = *ngroups >= MEMBERS;
    for (int i = 0; i < MEMBERS && i < *ngroups; i++)
        groups[i] = MEMBER_IDS[i];
    *ngroups = MEMBERS;
    return fits ? MEMBERS : -1;
}

extern "C" struct group *getgrgid(gid_t gid) {
    if (!scratch())
        return nullptr;
    errno = 0;
    return group_entry(gid, gid == PRIMARY ? "users" : gid == SWEEPERS ? "sweepers" : nullptr);
}

extern "C" struct group *getgrnam(const char *name) {
    if (!scratch())
        return nullptr;
    errno = 0;
    return strcmp(name, "sweepers") == 0 ? group_entry(SWEEPERS, name) : nullptr;
}

extern "C" int setenv(const char *name, const char *value, int overwrite) {
    static const auto next =
        reinterpret_cast<int (*)(const char *, const char *, int)>(dlsym(RTLD_NEXT, "setenv"));
    return scratch() ? next(name, value, overwrite) : -1;
}

extern "C" int getgroups(int size, gid_t *list) {
    if (size == 0)
        return 2;
    if (size < 2) {
        errno = EINVAL;
        return -1;
    }
    list[0] = PRIMARY;
    list[1] = SWEEPERS;
    return 2;
}

namespace {

// Both kinds of sweep over one step.
template <typename Step> void sweep_both(Step step) {
    for (Mode mode : {ONCE, FROM_THEN_ON}) {
        SCOPED_TRACE(mode == ONCE ? "one refusal" : "refusals from then on");
        failing_heap::sweep(mode, step);
    }
}

// --- Foundation ------------------------------------------------------------

// Sweeps make, whose block is NULL exactly when an allocation was refused and
// otherwise begins with the size bytes of expected.
void sweep_block(void *(*make)(), const char *expected, size_t size) {
    sweep_both([&] {
        start_refusing();
        void *block = make();
        bool refused = stop_refusing();
        EXPECT_EQ(block == nullptr, refused);
        if (block != nullptr) {
            EXPECT_EQ(memcmp(block, expected, size), 0);
        }
        OmxMemFree(block);
    });
}

TEST(AllocationFailure, MemoryFunctionsReturnNullAndKeepTheOldBlock) {
    const char zeros[8] = {};
    sweep_block([] { return OmxMemAlloc(5); }, zeros, 8);
    sweep_block([] { return OmxMemRealloc(nullptr, 6); }, zeros, 8);
    sweep_block([] { return static_cast<void *>(OmxStrDup("text")); }, "text", 5);
    sweep_block([] { return static_cast<void *>(OmxStrDup("")); }, "", 1);
    sweep_both([] {
        char *block = static_cast<char *>(OmxMemAlloc(8));
        ASSERT_NE(block, nullptr);
        memcpy(block, "kept", 5);
        start_refusing();
        char *grown = static_cast<char *>(OmxMemRealloc(block, 4096));
        bool refused = stop_refusing();
        EXPECT_EQ(grown == nullptr, refused);
        EXPECT_STREQ(grown != nullptr ? grown : block, "kept"); // the old block stays whole
        OmxMemFree(grown != nullptr ? grown : block);
    });
}

// The pending linker text, consumed so that the linker frees it.
std::string drained_linker_error() {
    char text[256];
    std::string first = GetDynLoadError(text, sizeof text);
    GetDynLoadError(text, sizeof text);
    return first;
}

TEST(AllocationFailure, LoadDynLibGives4AndNoRecord) {
    // The uncounted first run loads the library, which then stays for good; the
    // counted runs open it again. (A library linked into this program is not
    // used: the linker keeps its first block for it where leak checkers cannot see.)
    drained_linker_error();
    sweep_both([] {
        DynLibHandle *lib = reinterpret_cast<DynLibHandle *>(&lib);
        start_refusing();
        int result = LoadDynLib(FAKE_ACCOUNT_LIBRARY, &lib);
        bool refused = stop_refusing();
        if (result == 0) {
            ASSERT_NE(lib, nullptr);
            EXPECT_NE(lib->handle, nullptr);
            EXPECT_STREQ(lib->path, FAKE_ACCOUNT_LIBRARY);
        } else {
            EXPECT_TRUE(refused);
            EXPECT_EQ(result, DYNLIB_ERR_OPEN);
            EXPECT_EQ(lib, nullptr);
        }
        UnloadDynLib(lib);
        EXPECT_FALSE(drained_linker_error().empty());
    });
}

TEST(AllocationFailure, OmxGetUserGroupsGivesMinusOneAndNothingToRelease) {
    sweep_both([] {
        char **groups = reinterpret_cast<char **>(&groups);
        int32_t count = -5;
        char message[256] = "";
        start_refusing();
        int result = OmxGetUserGroups(&groups, &count, message, sizeof message);
        bool refused = stop_refusing();
        if (result == 0) {
            EXPECT_EQ(count, 2);
            std::vector<std::string> names;
            for (char **name = groups; name != nullptr && *name != nullptr; name++)
                names.push_back(*name);
            EXPECT_EQ(names, (std::vector<std::string>{"users", "sweepers"}));
        } else {
            EXPECT_TRUE(refused);
            EXPECT_EQ(result, -1);
            EXPECT_EQ(groups, nullptr);
            EXPECT_EQ(count, 0);
            EXPECT_NE(message[0], '\0');
        }
        OmxFreeUserGroups(result == 0 ? groups : nullptr);
    });
}

TEST(AllocationFailure, LoggerDropsWholeLinesOnly) {
    // Without TZ the C library copies the zone's name afresh at every tzset().
    setenv("TZ", "UTC0", 1);
    tzset();
    std::string path = ::testing::TempDir() + "sweep_" + std::to_string(getpid()) + ".log";
    // A log file that cannot be opened leaves a logger without a sink, silently.
    sweep_both([&path] {
        start_refusing();
        Logger *logger = Logger_New(LOGGER_INFO, path.c_str(), 0);
        bool refused = stop_refusing();
        EXPECT_TRUE(logger != nullptr || refused);
        EXPECT_TRUE(Logger_GetLogFileno(logger) >= 0 || refused);
        Logger_Delete(logger);
    });
    unlink(path.c_str());

    Logger *logger = Logger_New(LOGGER_DEBUG, nullptr, 0);
    ASSERT_NE(logger, nullptr);
    static int calls;
    static char line[128]; // the callback must not allocate: its blocks would count
    Logger_SetCallback(
        logger,
        [](void *, const char *text) {
            calls++;
            snprintf(line, sizeof line, "%s", text);
        },
        nullptr);
    sweep_both([logger] {
        calls = 0;
        start_refusing();
        Logger_LogError(logger, "sweep", 12, "%s %d", "text", 7);
        bool refused = stop_refusing();
        EXPECT_EQ(calls, refused ? calls : 1);
        EXPECT_LE(calls, 1);
        if (calls == 1) { // a line is delivered whole or not at all
            EXPECT_STREQ(strchr(line, ']'), "] sweep: #12 text 7\n");
        }
    });
    Logger_Delete(logger);

    sweep_both([] {
        char dir[] = "/var/log/";
        start_refusing();
        char *name = CrtGetLogFileName(nullptr, dir, "app", ".txt", 1, 1, 1);
        bool refused = stop_refusing();
        EXPECT_TRUE(name != nullptr || refused);
        if (name != nullptr) {
            EXPECT_EQ(std::string(name).rfind("/var/log/app_", 0), 0u) << name;
        }
        OmxMemFree(name);
    });
}

// The text and the invariants of a string buffer.
std::string checked_text(const strbuf *sb) {
    EXPECT_TRUE(sb->length >= 0 && sb->length < sb->capacity) << sb->length << " " << sb->capacity;
    EXPECT_EQ(sb->capacity % sb->blockSize, 0);
    EXPECT_EQ(sb->end, sb->text + sb->length);
    EXPECT_EQ(sb->text[sb->length], '\0');
    return std::string(sb->text, static_cast<size_t>(sb->length));
}

TEST(AllocationFailure, StrbufOperationsKeepTheTextOrComplete) {
    sweep_both([] {
        start_refusing();
        strbuf *sb = strbuf_create(4, "initial text");
        bool refused = stop_refusing();
        EXPECT_TRUE(sb != nullptr || refused);
        if (sb != nullptr) {
            EXPECT_EQ(checked_text(sb), "initial text");
        }
        strbuf_destroy(sb);
    });

    const std::string longer(40, 'L');
    typedef void (*Operation)(strbuf *, const std::string &);
    const Operation operations[] = {
        [](strbuf *sb, const std::string &s) { strbuf_set_str(sb, s.c_str(), -1); },
        [](strbuf *sb, const std::string &s) { strbuf_append(sb, s.data(), 7); },
        [](strbuf *sb, const std::string &s) { strbuf_insert(sb, s.c_str(), -1, 2); },
        [](strbuf *sb, const std::string &s) { strbuf_format(sb, "<%s>", s.c_str()); },
        [](strbuf *sb, const std::string &s) { strbuf_append_format(sb, "%s!", s.c_str()); },
        [](strbuf *sb, const std::string &) { strbuf_reserve(sb, 100); },
        [](strbuf *sb, const std::string &s) {
            strbuf *other = strbuf_create(8, s.c_str());
            if (other != nullptr)
                strbuf_copy(sb, other);
            strbuf_destroy(other);
        },
        [](strbuf *sb, const std::string &) {
            if (char *work = strbuf_getBufferSetLength(sb, 64)) {
                memcpy(work + 3, "+work", 5);
                strbuf_releaseBuffer(sb, 1, -1);
            }
        },
        [](strbuf *sb, const std::string &) { OmxMemFree(strbuf_detach(sb)); },
    };
    for (const Operation &operation : operations) {
        std::string after;
        sweep_both([&] {
            strbuf *sb = strbuf_create(4, "abc");
            ASSERT_NE(sb, nullptr);
            start_refusing();
            operation(sb, longer);
            bool refused = stop_refusing();
            std::string text = checked_text(sb);
            if (!refused)
                after = text;
            EXPECT_TRUE(text == after || text == "abc") // whole, or the old text
                << "operation " << (&operation - operations) << ": " << text;
            EXPECT_EQ(sb->buffer, nullptr);
            strbuf_destroy(sb);
        });
    }
}

TEST(AllocationFailure, Base64GivesNullAndZeroOrTheWholeResult) {
    sweep_both([] {
        char *text = reinterpret_cast<char *>(&text);
        start_refusing();
        uint32_t length =
            OmxBase64Encode(reinterpret_cast<const unsigned char *>("Man!"), 4, &text);
        stop_refusing();
        if (text != nullptr) {
            EXPECT_EQ(std::string(text, length), "TWFuIQ==");
        } else {
            EXPECT_EQ(length, 0u);
        }
        OmxMemFree(text);
    });
    sweep_both([] {
        unsigned char *bytes = reinterpret_cast<unsigned char *>(&bytes);
        start_refusing();
        uint32_t length = OmxBase64Decode("TWFu IQ==", 9, &bytes);
        stop_refusing();
        if (bytes != nullptr) {
            EXPECT_EQ(std::string(reinterpret_cast<char *>(bytes), length), "Man!");
        } else {
            EXPECT_EQ(length, 0u);
        }
        OmxMemFree(bytes);
    });
}

// --- Configuration -----------------------------------------------------------

// Names the sweep configuration stores or exports.
const char *const NAMES[] = {"SWEEP_A",   "SWEEP_B",         "SWEEP_E",
                             "SWEEP_G",   "SWEEP_P",         "SWEEP_S",
                             "SWEEP_X",   "SWEEP_D",         "SWEEP_DP",
                             "SWEEP_U",   "QELS_CONF_DIR",   "QELS_FIRST_WEEKDAY",
                             "QELS_HOME", "QELS_BLOCK_SIZE", "__QELSCONF_NOENV"};

// What the configuration shows: the store's settings in list order (none
// without a store) and the environment variables it exports.
struct Snapshot {
    bool exists = false;
    std::vector<std::string> settings;
    std::vector<std::string> environment; // one entry per NAMES, "" when unset

    bool operator==(const Snapshot &other) const {
        return exists == other.exists && settings == other.settings &&
               environment == other.environment;
    }
};

std::ostream &operator<<(std::ostream &out, const Snapshot &snapshot) {
    out << (snapshot.exists ? "store:" : "no store:");
    for (const std::string &setting : snapshot.settings)
        out << " [" << setting << "]";
    out << " environment:";
    for (const std::string &variable : snapshot.environment)
        out << " [" << variable << "]";
    return out;
}

Snapshot snapshot() {
    Snapshot taken;
    taken.exists = vmrootp != nullptr;
    if (taken.exists)
        for (vmsect *s = vmrootp->next; s != vmrootp; s = s->next)
            for (vmitem *i = s->items->next; i != s->items; i = i->next)
                taken.settings.push_back(std::to_string(s->level) + " " + i->name + "=" + i->value);
    for (const char *name : NAMES) {
        const char *value = getenv(name);
        taken.environment.push_back(value != nullptr ? std::string(name) + "=" + value : "");
    }
    return taken;
}

// The settings exactly as in one of the states; each variable as in one of them, or unset.
void expect_one_of(const Snapshot &now, const std::vector<Snapshot> &states) {
    bool settings = false;
    for (const Snapshot &state : states)
        settings = settings || (now.exists == state.exists && now.settings == state.settings);
    EXPECT_TRUE(settings) << "now " << now << "\nbefore " << states[0] << "\nafter " << states[1];
    for (size_t i = 0; i < now.environment.size(); i++) {
        bool known = now.environment[i].empty();
        for (const Snapshot &state : states)
            known = known || now.environment[i] == state.environment[i];
        EXPECT_TRUE(known) << NAMES[i] << ": " << now.environment[i];
    }
}

void write(const std::string &path, const std::string &text) {
    std::ofstream(path) << text;
}

class ConfigurationSweep : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/vaxo-sweep-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        snprintf(g_home, sizeof g_home, "%s/home", pattern);
        for (const char *sub : {"/home", "/drop", "/sys", "/sys/qels.d"})
            ASSERT_EQ(mkdir((dir_ + sub).c_str(), 0700), 0);
        file_ = dir_ + "/sys/qels.conf";
        write(file_, "SWEEP_A = one\n"
                     "[privileged]\n"
                     "SWEEP_P = priv\n"
                     "SWEEP_X = priv-x\n"
                     "QELS_CONF_DIR = " +
                         dir_ +
                         "/drop\n"
                         "QELS_FIRST_WEEKDAY = sun\n"
                         "[Group: nobody, sweepers]\n"
                         "SWEEP_G = group-$SWEEP_A\n"
                         "[GROUP:strangers]\n"
                         "SWEEP_S = never\n"
                         "[NONPRIVILEGED]\n"
                         "SWEEP_X = nonpriv-x\n"
                         "SWEEP_B = ${SWEEP_A}-two\n"
                         "SWEEP_A = one-again\n"
                         "SWEEP_E = $SWEEP_ENV\n");
        write(dir_ + "/drop/extra.conf", "SWEEP_D = drop-in\n[PRIVILEGED]\nSWEEP_DP = drop-priv\n");
        write(dir_ + "/sys/qels.d/beside.conf", "SWEEP_D = beside\n");
        write(dir_ + "/home/.ZORALrcs", "SWEEP_U = user\n");
        setenv("SWEEP_ENV", "from-env", 1);
        setenv("TZ", "UTC0", 1);
        tzset();
        developer_mode(true);
        clean();
    }
    void TearDown() override {
        clean();
        unsetenv("__KERNEL_DEVELOPER");
        std::filesystem::remove_all(dir_);
    }

    // Developer mode reads the one sweep file; normal mode the given path,
    // the user's file and the drop-ins beside it.
    void developer_mode(bool on) {
        if (on)
            setenv("__KERNEL_DEVELOPER", file_.c_str(), 1);
        else
            unsetenv("__KERNEL_DEVELOPER");
    }

    // No store and nothing exported.
    static void clean() {
        QelsConfSetPath(nullptr);
        QelsConfRemove();
        for (const char *name : NAMES)
            unsetenv(name);
    }

    // Sweeps call (an operation on the configuration, prepared by prepare):
    // each run leaves the configuration as before, as the run without
    // refusals left it, or in also_, check accepts its result, and calling it
    // once more without refusals completes it.
    template <typename Prepare, typename Call, typename Check>
    void sweep(Prepare prepare, Call call, Check check) {
        sweep(prepare, call, check, call);
    }
    // The same, with retry in place of call for the run once more.
    template <typename Prepare, typename Call, typename Check, typename Retry>
    void sweep(Prepare prepare, Call call, Check check, Retry retry) {
        for (Mode mode : {ONCE, FROM_THEN_ON}) {
            SCOPED_TRACE(mode == ONCE ? "one refusal" : "refusals from then on");
            Snapshot after;
            failing_heap::sweep(mode, [&] {
                prepare();
                Snapshot before = snapshot();
                start_refusing();
                auto result = call();
                bool refused = stop_refusing();
                check(result, refused);
                Snapshot now = snapshot();
                if (!refused) {
                    after = now;
                } else {
                    std::vector<Snapshot> states = {before, after};
                    if (also_ != nullptr)
                        states.push_back(*also_);
                    expect_one_of(now, states);
                    retry();
                    EXPECT_EQ(snapshot(), after) << "once more without refusals";
                }
                clean();
            });
        }
    }

    std::string dir_, file_;
    const Snapshot *also_ = nullptr; // a further state a sweep may end in
};

const auto NOTHING = [] {};

TEST_F(ConfigurationSweep, QueryAndCreateLoadAllOrNothing) {
    sweep(
        NOTHING, [] { return QelsConfQuery("SWEEP_B", 7); },
        [](const char *value, bool refused) {
            if (value != nullptr)
                EXPECT_STREQ(value, "one-two");
            else
                EXPECT_TRUE(refused && vmrootp == nullptr);
        });
    sweep(
        NOTHING, [] { return QelsConfQuery("SWEEP_G", QELSCONF_GROUP); },
        [](const char *value, bool) {
            if (value != nullptr) {
                EXPECT_STREQ(value, "group-one");
            }
        });
    sweep(
        NOTHING,
        [] {
            QelsConfCreate();
            return vmrootp != nullptr;
        },
        [](bool loaded, bool refused) { EXPECT_TRUE(loaded || refused); });
    sweep(NOTHING, QelsConfExists, [](int exists, bool refused) {
        EXPECT_EQ(exists, vmrootp != nullptr);
        EXPECT_TRUE(exists == 1 || refused);
    });
}

TEST_F(ConfigurationSweep, SetPathLoadsTheGivenFileAllOrNothing) {
    sweep([this] { developer_mode(false); },
          [this] {
              QelsConfSetPath(file_.c_str());
              return fscheckrc("SWEEP_U", 7);
          },
          [](const char *value, bool refused) {
              if (value != nullptr)
                  EXPECT_STREQ(value, "user");
              else
                  EXPECT_TRUE(refused && vmrootp == nullptr);
          });
}

// Up to 32 settings as a listing hands them out, without allocating.
struct Listed {
    int count = 0;
    int levels[32];
    const char *names[32];
    char *values[32];
};

TEST_F(ConfigurationSweep, ListingIsWholeOrEmpty) {
    sweep(
        NOTHING,
        [] {
            Listed listed;
            QelsConfStart();
            while (listed.count < 32 &&
                   (listed.names[listed.count] =
                        QelsConfNext(&listed.levels[listed.count], &listed.values[listed.count])))
                listed.count++;
            return listed;
        },
        [](const Listed &listed, bool refused) {
            std::vector<std::string> settings;
            for (int i = 0; i < listed.count; i++)
                settings.push_back(std::to_string(listed.levels[i]) + " " + listed.names[i] + "=" +
                                   listed.values[i]);
            EXPECT_EQ(settings, snapshot().settings);
            EXPECT_TRUE(!settings.empty() || refused);
        });
}

TEST_F(ConfigurationSweep, PrintIsWholeOrEmpty) {
    std::string whole;
    auto print = [] {
        QelsConfPrint();
        return fflush(stdout);
    };
    sweep([] { ::testing::internal::CaptureStdout(); }, print,
          [&whole](int, bool refused) {
              std::string printed = ::testing::internal::GetCapturedStdout();
              if (!refused)
                  whole = printed;
              EXPECT_TRUE(printed == whole || (printed.empty() && vmrootp == nullptr)) << printed;
          },
          [&print] {
              ::testing::internal::CaptureStdout();
              print();
              ::testing::internal::GetCapturedStdout();
          });
    EXPECT_NE(whole.find("\tSWEEP_B\tone-two\n"), std::string::npos) << whole;
}

// The non-privileged SWEEP_X as stored and as exported, "-" for none.
std::string stored_and_exported_x() {
    std::string stored = "-";
    for (vmsect *s = vmrootp->next; s != vmrootp; s = s->next)
        for (vmitem *i = s->items->next; s->level == QELSCONF_NONPRIVILEGED && i != s->items;
             i = i->next)
            if (strcmp(i->name, "SWEEP_X") == 0)
                stored = i->value;
    const char *exported = getenv("SWEEP_X");
    return stored + " " + (exported != nullptr ? exported : "-");
}

TEST_F(ConfigurationSweep, UpdateChangesAllOrKeepsTheOldValue) {
    auto load = [] { ASSERT_EQ(QelsConfExists(), 1); };
    sweep(
        load, [] { return QelsConfUpdate("SWEEP_X", "new-$SWEEP_A"), 0; },
        [](int, bool) {
            // A variable that could not be set is removed: it must never contradict the store.
            std::string state = stored_and_exported_x();
            EXPECT_TRUE(state == "nonpriv-x nonpriv-x" || state == "new-one-again new-$SWEEP_A" ||
                        state == "new-one-again -")
                << state;
        });
    // A removal whose emptied variable could not be set leaves it unset, and a
    // second removal finds nothing to do; it is tried again from the start.
    auto remove = [] { return QelsConfUpdate(" SWEEP_X\t", nullptr), 0; };
    sweep(
        load, remove,
        [](int, bool) {
            std::string state = stored_and_exported_x();
            EXPECT_TRUE(state == "nonpriv-x nonpriv-x" || state == "- " || state == "- -") << state;
        },
        [&] {
            clean();
            load();
            remove();
        });
    // Without a store the update loads one first; without memory for it nothing
    // changes, and not an empty store takes the configuration's place.
    ASSERT_EQ(QelsConfExists(), 1);
    Snapshot loaded = snapshot();
    clean();
    also_ = &loaded;
    sweep(
        NOTHING, [] { return QelsConfUpdate("SWEEP_X", "new"), 0; },
        [](int, bool refused) {
            if (vmrootp == nullptr)
                EXPECT_TRUE(refused);
            else
                EXPECT_TRUE(stored_and_exported_x() == "new new" || refused);
        });
}

TEST_F(ConfigurationSweep, DateDeltaByWeeksKnowsTheFirstWeekdayOrFails) {
    struct tm wednesday = {};
    wednesday.tm_year = 124;
    wednesday.tm_mon = 2;
    wednesday.tm_mday = 13;
    wednesday.tm_hour = 10;
    wednesday.tm_min = 30;
    const time_t when = timegm(&wednesday);
    time_t result_time;
    uint32_t packed;
    sweep(
        [&] {
            result_time = 1;
            packed = 1;
        },
        [&] { return OmxDateDelta(when, 0, OMX_PERIOD_WEEK, 0, 6, &result_time, &packed); },
        [&](int result, bool refused) {
            if (result == 0) {
                EXPECT_EQ(result_time, when - 3 * 86400); // weeks start on Sunday here
                EXPECT_EQ(packed, 2024u * 512 + 3 * 32 + 10);
            } else {
                EXPECT_TRUE(refused);
                EXPECT_EQ(result, -1);
                EXPECT_EQ(result_time, 1);
                EXPECT_EQ(packed, 1u);
            }
        });
}

TEST(AllocationFailure, GetZoralDataAreaAnswersAsWithoutRefusals) {
    char path[DATAAREA_PATH_SIZE], error[256];
    int expected =
        GetZoralDataArea(path, sizeof path, DATAAREA_CHECK_CONF_SYS, error, sizeof error);
    std::string expected_path = expected == 0 ? path : "", expected_error = error;
    sweep_both([&] {
        path[0] = '\0';
        start_refusing();
        int result =
            GetZoralDataArea(path, sizeof path, DATAAREA_CHECK_CONF_SYS, error, sizeof error);
        stop_refusing();
        EXPECT_EQ(result, expected);
        EXPECT_EQ(error, expected_error);
        if (result == 0) {
            EXPECT_EQ(path, expected_path);
        }
    });
}

} // namespace
