// Every service with its 1st, 2nd ... allocation failing in turn: no crash, no leak, the whole
// result or a clean failure (it reads the sandbox installation, so runs alone); the memory service.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <malloc.h>

#include "dynlib.h"
#include "logger.h"
#include "omx_base64.h"
#include "omx_datedelta.h"
#include "omx_error.h"
#include "omx_filestatus.h"
#include "omx_memory.h"
#include "omx_osuser.h"
#include "qelsconf.h"
#include "scratch_dir.h"
#include "strbuf.h"
#include "zoralrcs_internal.h"

// The heap at the end: armed, it fails allocation fail_at as if memory ran out; counts live blocks.
namespace {
long armed, failed, fail_at, made, live, arena_used;
const unsigned char zeros[4096] = {};

// 1 for the whole result, 0 for a clean failure, -1 for neither (block frees the block).
int verdict(bool whole, bool clean) {
    return whole ? 1 : clean ? 0 : -1;
}
bool is(const char *text, const char *want) {
    return text != nullptr && strcmp(text, want) == 0;
}
int block(void *got, const void *want, size_t size) { // the bytes, no more than a page extra
    bool same = got && !memcmp(got, want, size) && malloc_usable_size(got) < size + 4096;
    int verdict = !got ? 0 : same ? 1 : -1;
    free(got);
    return verdict;
}

// Each row once (the C library keeps what it makes), then with allocation 1, 2 ... failing.
void sweep(std::initializer_list<int (*)()> rows) {
    for (size_t row = 0; row < rows.size(); row++)
        for (long n = 0; (n < 2 || failed) && !testing::Test::HasFailure(); n++) {
            armed = n > 0, failed = false, fail_at = n, made = live = 0;
            int verdict = rows.begin()[row]();
            QelsConfRemove(), unsetenv("SWEEP_A"), unsetenv("SWEEP_X"), armed = false;
            EXPECT_TRUE((verdict == 1 || (verdict == 0 && failed)) && live <= 0)
                << "row " << row << ", allocation " << n << ": " << verdict << ", leaked " << live;
        }
}

TEST(Memory, EveryServiceFailsCleanlyWithoutMemory) {
    ScratchDir d;
    d.write("in/d.conf", "SWEEP_A = one\n"); // a drop-in file
    std::string conf =
        d.write("qels.conf", "[privileged]\nQELS_CONF_DIR = " + d / "in" +
                                 "\nQELS_FIRST_WEEKDAY = tue\n[NONPRIVILEGED]\nSWEEP_X = old\n");
    setenv("__KERNEL_DEVELOPER", conf.c_str(), 1);
    setenv("TZ", "UTC0", 1), tzset(); // else the zone's name is copied afresh at every tzset()
    static std::string log = d / "sweep.log";
    sweep({
        [] { return block(OmxMemAlloc(4093), zeros, 4096); },
        [] { // no logger, no file; a line whole or not at all, and freed after the callback
            char line[64] = "";
            Logger *logger = Logger_New(LOGGER_DEBUG, log.c_str(), 0);
            bool opened = Logger_GetLogFileno(logger) >= 0, absent = access(log.c_str(), 0) != 0;
            Logger_SetCallback(
                logger, [](void *to, const char *t) { strcpy(static_cast<char *>(to), t); }, line);
            long before = live;
            Logger_LogError(logger, "sweep", 12, "%s %d", "text", 7);
            bool whole = opened && is(strchr(line, ']'), "] sweep: #12 text 7\n");
            Logger_Delete(logger), unlink(log.c_str());
            return live > before ? -1 : verdict(whole, logger ? !opened || !line[0] : absent);
        },
        [] { // strbuf_format keeps the old text without storage for the new; a lent buffer goes
            strbuf *sb = strbuf_create(4, "abc");
            int v = sb ? strbuf_format(sb, "<%s>", "LLLLLLL"),
                verdict(is(sb->text, "<LLLLLLL>"), is(sb->text, "abc") && !sb->buffer) : 0;
            return strbuf_getBufferSetLength(sb, 9), strbuf_destroy(sb), v;
        },
        [] { // the whole text or bytes with their count, or none and 0
            char *text = nullptr;
            unsigned char *bytes = nullptr;
            uint32_t length = OmxBase64Encode(zeros, 5, &text),
                     count = OmxBase64Decode("c3dlZXA=", 8, &bytes);
            bool counted = length == (text ? 8u : 0u) && count == (bytes ? 5u : 0u);
            int verdicts[] = {block(text, "AAAAAAA=", 9), block(bytes, "sweep", 5)};
            return counted ? std::min(verdicts[0], verdicts[1]) : -1;
        },
        [] { // a handle, or none and a reason (the library stays loaded after the first row)
            DynLibHandle *lib = nullptr;
            int rc = LoadDynLib(ZORALUKV_LIBRARY, &lib);
            bool said = strcmp(GetDLError(), "Unknown error.") != 0;
            return ReleaseDynLibHandle(lib), verdict(rc == 0 && lib, rc == DYNLIB_ERR_OPEN && said);
        },
        [] { // every name, or -1 and nothing to release
            static int32_t all;
            char **groups = reinterpret_cast<char **>(&groups), text[256] = "";
            int32_t count = -5, result = OmxGetUserGroups(&groups, &count, text, sizeof text);
            OmxFreeUserGroups(result == 0 ? groups : nullptr), all = armed ? all : count;
            return verdict(result == 0 && count == all, result == -1 && !groups && !count && *text);
        },
        [] { // a removed setting leaves nothing allocated
            bool found = is(QelsConfQuery("SWEEP_X", 7), "old");
            QelsConfUpdate("SWEEP_X", NULL);
            bool kept = is(QelsConfQuery("SWEEP_X", 7), "old"); // no room to delete it
            return verdict(found && !kept, !found || kept);
        },
        [] { // an update without a store loads and exports it whole first; never leaves it empty
            QelsConfUpdate("SWEEP_X", "new");
            bool whole = is(QelsConfQuery("SWEEP_X", 7), "new") && is(getenv("SWEEP_X"), "new") &&
                         is(getenv("SWEEP_A"), "one");
            bool kept = is(QelsConfQuery("SWEEP_X", 7), "old") || !getenv("SWEEP_X");
            bool loaded = is(QelsConfQuery("SWEEP_A", 7), "one");
            return verdict(whole && loaded, !vmrootp || (kept && loaded));
        },
        [] {
            time_t wednesday = 1710325800, start = 1; // 2024-03-13 10:30
            uint32_t packed = 1;
            int result = OmxDateDelta(wednesday, 0, OMX_PERIOD_WEEK, 0, 6, &start, &packed);
            return verdict(result == 0 && start == wednesday - 86400 && packed == 1036396,
                           result == -1 && start == 1 && packed == 1);
        },
    });
}

TEST(Memory, EdgesOfTheMemoryServiceErrorTextsAndFileStatus) {
    char buf[32];
    OmxFileStatus st;
    errno = EACCES;
    std::pair<const char *, bool> cases[] = {
        {"the current errno", OmxGetErrorNumber() == EACCES && OmxGetErrorText(-1, buf, 32) == 17},
        {"a size that wraps when rounded", OmxMemAlloc(SIZE_MAX - 2) == nullptr},
        {"grown, a block keeps its text", block(OmxMemRealloc(OmxStrDup("ab"), 9), "ab", 3) == 1},
        {"size 0 keeps a live block", block(OmxMemRealloc(OmxStrDup("a"), 0), "", 0) == 1},
        {"no block: a new one", block(OmxMemRealloc(nullptr, 3), zeros, 3) == 1},
        {"readable: not NULL", OmxMemReadable(buf, 1) && !OmxMemReadable(nullptr, 1)},
        {"no text buffer", !OmxGetErrorText(ENOENT, nullptr, 9) && !OmxGetErrorText(2, buf, 0)},
    };
    for (const auto &[what, holds] : cases)
        EXPECT_TRUE(holds) << what;
    memset(buf, 'x', sizeof buf); // cut when as long as the buffer: the terminator needs a byte
    EXPECT_EQ(OmxGetErrorText(ENOENT, buf, 25), 24);
    EXPECT_EQ(std::string(buf, 26), std::string("No such file or director\0x", 26));

    ScratchDir d; // 0700; links are followed; group-execute alone (plain) is no executable
    std::string plain = d.write("plain", "twelve bytes", 0610), link = d / "link", fifo = d / "p";
    std::string big = d.write("big", ""), run = d.write("x", "", 0601);
    ASSERT_EQ(symlink(plain.c_str(), link.c_str()) | mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(truncate(big.c_str(), int64_t{5} << 30), 0);
    const std::string late = d.write("late", ""); // beyond 2038: whole, or EOVERFLOW
    ASSERT_EQ(system(("touch -m -d @2208988800 " + late).c_str()), 0);
    const bool wide = sizeof(time_t) > 4;
    std::tuple<std::string, int, uint32_t, int64_t> files[] = {
        {d.path, 0, OMX_FILE_DIRECTORY | OMX_FILE_EXECUTABLE, -1},
        {link, 0, OMX_FILE_REGULAR, 12},
        {run, 0, OMX_FILE_REGULAR | OMX_FILE_EXECUTABLE, 0},
        {"/dev/null", 0, OMX_FILE_DEVICE, 0},
        {fifo, 0, OMX_FILE_PIPE, 0},
        {big, 0, OMX_FILE_REGULAR, int64_t{5} << 30},
        {late, wide ? 0 : EOVERFLOW, wide ? OMX_FILE_REGULAR : 0u, 0},
        {d / "missing", ENOENT, 0, 0}, // after a success: all of it cleared
    };
    for (const auto &[path, result, flags, size] : files) {
        EXPECT_EQ(OmxStatFile(&st, path.c_str()), result) << path;
        EXPECT_EQ(st.flags, flags) << path;
        EXPECT_EQ(size < 0 ? st.size : size, st.size) << path;
        EXPECT_EQ(st.changeTime > 0 && st.modifyTime > 0 && st.accessTime > 0, !result) << path;
    }
    EXPECT_EQ(OmxStatFile(&st, late.c_str()) == 0 ? st.modifyTime : 2208988800, 2208988800);
}

// Forwards to the next heap (C library, sanitizer, valgrind); an arena serves its own lookups.
#define NO_ASAN __attribute__((no_sanitize("address")))
#define NEXT(f) (next_##f = reinterpret_cast<decltype(next_##f)>(dlsym(RTLD_NEXT, #f)))
void *(*next_malloc)(size_t), *(*next_calloc)(size_t, size_t), *(*next_realloc)(void *, size_t);
void (*next_free)(void *);
alignas(max_align_t) unsigned char arena[1024];

NO_ASAN bool ready() {
    static int resolving;
    return next_free || (!resolving++ && (NEXT(malloc), NEXT(calloc), NEXT(realloc), NEXT(free)));
}
NO_ASAN void *from_arena(size_t size) {
    long at = arena_used;
    arena_used += (size + 15) & ~size_t{15};
    return arena_used <= long{sizeof arena} ? arena + at : nullptr;
}
NO_ASAN bool refuse(bool fresh = true) {
    bool refused = armed && ++made == fail_at;
    failed |= refused, live += armed && fresh && !refused;
    errno = refused ? ENOMEM : errno;
    return refused;
}
} // namespace

extern "C" NO_ASAN void *malloc(size_t size) {
    return !ready() ? from_arena(size) : refuse() ? nullptr : next_malloc(size);
}
extern "C" NO_ASAN void *calloc(size_t n, size_t size) {
    return !ready() ? from_arena(n * size) : refuse() ? nullptr : next_calloc(n, size);
}
extern "C" NO_ASAN void *realloc(void *block, size_t size) {
    return !ready() || refuse(!block) ? nullptr : next_realloc(block, size);
}
extern "C" NO_ASAN void free(void *block) {
    if (block != nullptr && (block < arena || block >= arena + sizeof arena))
        live -= armed, next_free(block);
}
// A sanitizer's own strdup would allocate past this heap.
extern "C" char *strdup(const char *text) {
    char *copy = static_cast<char *>(malloc(strlen(text) + 1));
    return copy != nullptr ? strcpy(copy, text) : nullptr;
}
