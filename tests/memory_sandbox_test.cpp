// The memory service, and every service run with its first, second, third ... allocation
// failing in turn: no crash, no leak, and the whole result or a clean failure. The
// configuration cases read the shared sandbox installation, so they run one at a time.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "dynlib.h"
#include "logger.h"
#include "omx_base64.h"
#include "omx_datedelta.h"
#include "omx_error.h"
#include "omx_filestatus.h"
#include "omx_memory.h"
#include "qelsconf.h"
#include "scratch_dir.h"
#include "strbuf.h"
#include "zoralrcs_internal.h"

// This program's heap. Armed, it numbers allocations, fails the chosen one as if memory ran
// out, and counts blocks made less blocks freed. It forwards to the next heap (the C
// library's, a sanitizer's or valgrind's), and runs before a sanitizer is ready.
#define NO_ASAN __attribute__((no_sanitize("address")))
namespace heap {
bool armed, failed;
long fail_at, made, live;
size_t asked; // the size of the latest request
void *(*next_malloc)(size_t);
void *(*next_calloc)(size_t, size_t);
void *(*next_realloc)(void *, size_t);
void (*next_free)(void *);
alignas(max_align_t) unsigned char arena[1024]; // for the lookups of the next heap
size_t arena_used;

NO_ASAN bool ready() {
    static bool resolving;
    if (next_free == nullptr && !resolving) {
        resolving = true;
        next_malloc = reinterpret_cast<void *(*)(size_t)>(dlsym(RTLD_NEXT, "malloc"));
        next_calloc = reinterpret_cast<void *(*)(size_t, size_t)>(dlsym(RTLD_NEXT, "calloc"));
        next_realloc = reinterpret_cast<void *(*)(void *, size_t)>(dlsym(RTLD_NEXT, "realloc"));
        next_free = reinterpret_cast<void (*)(void *)>(dlsym(RTLD_NEXT, "free"));
    }
    return next_free != nullptr;
}
NO_ASAN void *from_arena(size_t size) {
    size_t at = arena_used;
    arena_used += (size + 15) & ~size_t{15};
    return arena_used <= sizeof arena ? arena + at : nullptr;
}
NO_ASAN bool refuse(size_t size) {
    asked = size;
    if (!armed || ++made != fail_at)
        return false;
    failed = true;
    errno = ENOMEM;
    return true;
}
NO_ASAN void *counted(void *block) {
    live += armed && block != nullptr;
    return block;
}
} // namespace heap

extern "C" NO_ASAN void *malloc(size_t size) {
    using namespace heap;
    return !ready() ? from_arena(size) : refuse(size) ? nullptr : counted(next_malloc(size));
}
extern "C" NO_ASAN void *calloc(size_t count, size_t size) {
    using namespace heap;
    if (!ready())
        return from_arena(count * size);
    return refuse(count * size) ? nullptr : counted(next_calloc(count, size));
}
extern "C" NO_ASAN void *realloc(void *block, size_t size) {
    using namespace heap;
    if (!ready() || refuse(size))
        return nullptr;
    void *moved = next_realloc(block, size);
    return block == nullptr ? counted(moved) : moved;
}
extern "C" NO_ASAN void free(void *block) {
    using namespace heap;
    if (block == nullptr || (block >= arena && block < arena + sizeof arena))
        return;
    live -= armed;
    next_free(block);
}
// A sanitizer's own strdup would allocate past this heap.
extern "C" char *strdup(const char *text) {
    char *copy = static_cast<char *>(malloc(strlen(text) + 1));
    return copy != nullptr ? strcpy(copy, text) : nullptr;
}

namespace {
int verdict(bool whole, bool clean) {
    return whole ? 1 : clean ? 0 : -1;
}
bool is(const char *text, const char *want) {
    return text != nullptr && strcmp(text, want) == 0;
}
// 1 for the whole result, 0 for a clean failure, -1 for neither; the block is freed.
int block(void *got, const void *want, size_t size) {
    int verdict = got == nullptr ? 0 : memcmp(got, want, size) == 0 ? 1 : -1;
    free(got);
    return verdict;
}

class Memory : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("__KERNEL_DEVELOPER", conf.c_str(), 1);
        setenv("TZ", "UTC0", 1); // else the zone's name is copied afresh at every tzset()
        tzset();
    }
    void TearDown() override {
        unsetenv("__KERNEL_DEVELOPER");
    }
    static void clean() {
        QelsConfRemove();
        for (const char *name : {"SWEEP_A", "SWEEP_X", "QELS_FIRST_WEEKDAY", "QELS_HOME"})
            unsetenv(name);
    }
    // Each row once, to let the C library make what it keeps for good, then with
    // allocation 1, 2, 3 ... failing until a run needs no failure.
    static void sweep(std::initializer_list<std::pair<const char *, int (*)()>> rows) {
        for (const auto &row : rows) {
            SCOPED_TRACE(row.first);
            EXPECT_EQ(row.second(), 1);
            clean();
            for (long n = 1; !HasFailure(); n++) {
                heap::armed = true, heap::failed = false, heap::fail_at = n;
                heap::made = heap::live = 0;
                int verdict = row.second();
                clean();
                heap::armed = false;
                EXPECT_TRUE(verdict == 1 || (verdict == 0 && heap::failed)) << n << ": " << verdict;
                EXPECT_EQ(heap::live, 0) << "leaked with allocation " << n << " failing";
                if (!heap::failed)
                    break;
            }
        }
    }
    ScratchDir d;
    std::string conf =
        d.write("qels.conf", "SWEEP_A = one\n[privileged]\nQELS_FIRST_WEEKDAY = sun\n"
                             "[NONPRIVILEGED]\nSWEEP_X = old\n");
};

TEST_F(Memory, EveryServiceFailsCleanlyWithoutMemory) {
    sweep({
        {"OmxMemAlloc", [] { return block(OmxMemAlloc(5), "\0\0\0\0\0\0\0", 8); }},
        {"OmxStrDup", [] { return block(OmxStrDup("text"), "text", 5); }},
        {"OmxMemRealloc keeps the old block",
         [] {
             char *old = OmxStrDup("kept");
             if (old == nullptr)
                 return 0;
             char *grown = static_cast<char *>(OmxMemRealloc(old, 4096));
             return grown != nullptr ? block(grown, "kept", 5) : block(old, "kept", 5) - 1;
         }},
        {"LoadDynLib",
         [] {
             DynLibHandle *lib = reinterpret_cast<DynLibHandle *>(&lib);
             int result = LoadDynLib(FAKE_ACCOUNT_LIBRARY, &lib);
             int v =
                 verdict(result == 0 && is(lib->path, FAKE_ACCOUNT_LIBRARY), result == 4 && !lib);
             UnloadDynLib(lib);
             char text[256];
             GetDynLoadError(text, sizeof text); // consumed, so that the linker frees it
             return v;
         }},
        {"Logger line: whole or none, released right after the callback",
         [] {
             static char line[64];
             Logger *logger = Logger_New(LOGGER_DEBUG, nullptr, 0);
             Logger_SetCallback(
                 logger, [](void *, const char *text) { strcpy(line, text); }, nullptr);
             long live = heap::live;
             line[0] = '\0';
             Logger_LogError(logger, "sweep", 12, "%s %d", "text", 7);
             bool whole = is(strchr(line, ']'), "] sweep: #12 text 7\n");
             Logger_Delete(logger);
             return heap::live > live ? -1 : verdict(whole, !logger || line[0] == '\0');
         }},
        {"strbuf_format keeps the old text without storage for the new",
         [] {
             strbuf *sb = strbuf_create(4, "abc");
             if (sb == nullptr)
                 return 0;
             strbuf_format(sb, "<%s>", "LLLLLLL");
             int v = verdict(is(sb->text, "<LLLLLLL>"), is(sb->text, "abc") && !sb->buffer);
             strbuf_destroy(sb);
             return v;
         }},
        {"OmxBase64Encode",
         [] {
             char *text = reinterpret_cast<char *>(&text);
             auto man = reinterpret_cast<const unsigned char *>("Man!");
             return OmxBase64Encode(man, 4, &text) == 8 ? block(text, "TWFuIQ==", 8) : -!!text;
         }},
        {"QelsConfQuery", [] { return verdict(is(QelsConfQuery("SWEEP_A", 7), "one"), !vmrootp); }},
        {"QelsConfUpdate without a store loads it whole first",
         [] {
             QelsConfUpdate("SWEEP_X", "new");
             bool whole = is(QelsConfQuery("SWEEP_X", 7), "new") && is(getenv("SWEEP_X"), "new");
             // A failed update keeps the old value, or leaves the variable unset; never an empty
             // store.
             bool kept = is(QelsConfQuery("SWEEP_X", 7), "old") || !getenv("SWEEP_X");
             bool loaded = is(QelsConfQuery("SWEEP_A", 7), "one");
             return verdict(whole && loaded, !vmrootp || (kept && loaded));
         }},
        {"OmxDateDelta by weeks",
         [] {
             time_t wednesday = 1710325800, start = 1; // 2024-03-13 10:30
             uint32_t packed = 1;
             int result = OmxDateDelta(wednesday, 0, OMX_PERIOD_WEEK, 0, 6, &start, &packed);
             return verdict(result == 0 && start == wednesday - 3 * 86400 && packed == 1036394,
                            result == -1 && start == 1 && packed == 1);
         }},
    });
}

TEST_F(Memory, EdgesOfTheMemoryService) {
    char dest[4] = "xyz", buf[32];
    void *zero = OmxMemRealloc(OmxMemAlloc(1), 0);
    size_t zero_asked = heap::asked;
    OmxFileStatus st;
    errno = EACCES;
    struct {
        const char *what;
        bool holds;
    } cases[] = {
        {"a size that wraps when rounded", OmxMemAlloc(SIZE_MAX - 2) == nullptr},
        {"sizes are rounded to 4", (OmxMemFree(OmxMemAlloc(5)), heap::asked == 8)},
        {"size 0 keeps a live block", zero != nullptr && (free(zero), zero_asked == 1)},
        {"NULL is neither readable nor writeable",
         !OmxMemReadable(nullptr, 1) && !OmxMemWriteable(nullptr, 1)},
        {"a pointer is", OmxMemReadable(dest, 0) && OmxMemWriteable(dest, 9)},
        {"copying from NULL copies nothing",
         OmxMemCopy(dest, nullptr, 3) == dest && is(dest, "xyz")},
        {"copying to NULL copies nothing", OmxMemCopy(nullptr, "ab", 2) == nullptr},
        {"copying", OmxMemCopy(dest, "ab", 2) == dest && is(dest, "abz")},
        {"OmxStrDup(NULL)", OmxStrDup(nullptr) == nullptr},
        {"OmxStrDup(\"\")", block(OmxStrDup(""), "", 1) == 1},
        {"the current errno", OmxGetErrorNumber() == EACCES && OmxGetErrorText(-1, buf, 32) == 17},
        {"a NULL or empty text buffer",
         !OmxGetErrorText(ENOENT, nullptr, 9) && !OmxGetErrorText(2, buf, 0)},
        {"no record", OmxStatFile(nullptr, "/") == EINVAL && OmxStatFile(&st, nullptr) == EINVAL},
    };
    for (const auto &c : cases)
        EXPECT_TRUE(c.holds) << c.what;
}

// The text is cut to the buffer; a text as long as the buffer too: the terminator needs its byte.
TEST_F(Memory, ErrorTextIsCutToTheBuffer) {
    for (int size : {64, 26, 25, 10, 1}) {
        char buf[65];
        memset(buf, 'x', sizeof buf);
        int kept = std::min(size - 1, 25);
        EXPECT_EQ(OmxGetErrorText(ENOENT, buf, size), kept) << size;
        EXPECT_EQ(std::string("No such file or directory").substr(0, kept), buf) << size;
        EXPECT_EQ(buf[size], 'x') << "written past " << size;
    }
}

// Links are followed; group-execute alone is no executable; sizes beyond 4 GiB and times
// beyond 2038 come whole, or as EOVERFLOW where time_t cannot hold them.
TEST_F(Memory, StatFileReducesTheStatusRecord) {
    std::string plain = d.write("plain", "twelve bytes"), link = d / "link", fifo = d / "fifo";
    ASSERT_EQ(symlink(plain.c_str(), link.c_str()) | mkfifo(fifo.c_str(), 0600), 0);
    std::string big = d.write("big", "", 0644), late = d.write("late", "");
    ASSERT_EQ(truncate(big.c_str(), int64_t{5} << 30), 0);
    ASSERT_EQ(system(("touch -m -d @2208988800 " + late).c_str()), 0);
    bool wide = sizeof(time_t) > 4;
    struct {
        std::string path;
        mode_t mode;
        int result;
        uint32_t flags;
        int64_t size, mtime;
    } cases[] = {
        {d.path, 0700, 0, OMX_FILE_DIRECTORY | OMX_FILE_EXECUTABLE, -1, -1},
        {link, 0644, 0, OMX_FILE_REGULAR, 12, -1},
        {"/dev/null", 0, 0, OMX_FILE_DEVICE | OMX_FILE_EXECUTABLE * 0, -1, -1},
        {fifo, 0600, 0, OMX_FILE_PIPE, 0, -1},
        {plain, 0750, 0, OMX_FILE_REGULAR | OMX_FILE_EXECUTABLE, 12, -1},
        {plain, 0610, 0, OMX_FILE_REGULAR, 12, -1},
        {plain, 0601, 0, OMX_FILE_REGULAR | OMX_FILE_EXECUTABLE, 12, -1},
        {big, 0644, 0, OMX_FILE_REGULAR, int64_t{5} << 30, -1},
        {late, 0644, wide ? 0 : EOVERFLOW, wide ? OMX_FILE_REGULAR : 0, 0, wide ? 2208988800 : 0},
        {d / "missing", 0, ENOENT, 0, 0, 0},
        {plain + "/below", 0, ENOTDIR, 0, 0, 0},
    };
    for (const auto &c : cases) {
        if (c.mode != 0 && c.path != "/dev/null")
            chmod(c.path.c_str(), c.mode);
        OmxFileStatus st, raw{};
        memset(&st, 0xA5, sizeof st);
        EXPECT_EQ(OmxStatFile(&st, c.path.c_str()), c.result) << c.path;
        EXPECT_EQ(st.flags & (c.path == "/dev/null" ? ~OMX_FILE_EXECUTABLE : ~0u), c.flags)
            << c.path;
        EXPECT_EQ(c.size < 0 ? st.size : c.size, st.size) << c.path;
        EXPECT_EQ(c.mtime < 0 ? st.modifyTime : c.mtime, st.modifyTime) << c.path;
        EXPECT_TRUE(c.result == 0 || memcmp(&st, &raw, sizeof st) == 0) << "not zeroed: " << c.path;
    }
}

} // namespace
