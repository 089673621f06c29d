/*
 * A heap that refuses allocations on request, for sweeps that run an
 * operation again and again with its first, second, third ... allocation
 * refused (alone, or with all later ones) until a run completes without a
 * refusal.
 *
 * Include this header in exactly one source of a test executable: its
 * malloc, calloc, realloc, free, strdup and operator new/delete then take the
 * place of the C library's for the whole process, the C library's own calls
 * (fopen, opendir, setenv, dlopen, ...) included. They forward to the next
 * definitions, which are the C library's, or the sanitizer's or valgrind's
 * when one of those runs the process.
 *
 * While a sweep step counts, every allocation is numbered and the chosen one
 * fails as if memory were exhausted (errno ENOMEM). Blocks made while
 * counting are remembered until freed, so a step can tell what it leaked.
 * Blocks the C library made earlier and grows later (the environment array)
 * stay its own and are not counted as leaks.
 *
 * Not thread-safe: sweeps run on one thread.
 */
#ifndef FAILING_HEAP_H
#define FAILING_HEAP_H

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <new>

// The hooks run from the first allocation on, before a sanitizer's start-up
// is done: they and what they call must not be instrumented.
#define FAILING_HEAP_HOOK __attribute__((no_sanitize("address")))

namespace failing_heap {

enum Mode { ONCE, FROM_THEN_ON }; // refuse the n-th allocation only, or it and all later ones

struct State {
    bool counting; // number allocations, refuse the chosen one, remember blocks
    Mode mode;
    long refuse_at; // 1-based number of the allocation to refuse; 0 for none
    long made;      // allocations numbered since the step began
    bool refused;   // whether the step had an allocation refused
    long live;      // remembered blocks not yet freed
};
inline State state;
inline bool warming; // a sweep's first run: nothing is counted

// Remembered blocks: open addressing in static storage, since it must not allocate.
enum { SLOTS = 1 << 16 };
inline void *slots[SLOTS];
inline void *const GONE = &slots; // a freed slot; probing continues past it

FAILING_HEAP_HOOK inline size_t home_slot(const void *block) {
    return (reinterpret_cast<uintptr_t>(block) >> 4) * 2654435761u % SLOTS;
}

FAILING_HEAP_HOOK inline void remember(void *block) {
    for (size_t i = home_slot(block), probes = 0; probes < SLOTS; i = (i + 1) % SLOTS, probes++) {
        if (slots[i] == nullptr || slots[i] == GONE) {
            slots[i] = block;
            state.live++;
            return;
        }
    }
    abort(); // a step that keeps this many blocks is no sweep step
}

// True when the block was remembered; it is then forgotten.
FAILING_HEAP_HOOK inline bool forget(void *block) {
    if (state.live == 0 || block == nullptr)
        return false;
    for (size_t i = home_slot(block), probes = 0; slots[i] != nullptr && probes < SLOTS;
         i = (i + 1) % SLOTS, probes++) {
        if (slots[i] == block) {
            slots[i] = GONE;
            state.live--;
            return true;
        }
    }
    return false;
}

// Whether the allocation about to be made is to fail.
FAILING_HEAP_HOOK inline bool refuse_next() {
    if (!state.counting)
        return false;
    long number = ++state.made;
    bool refuse = state.refuse_at > 0 && (number == state.refuse_at ||
                                          (state.mode == FROM_THEN_ON && number > state.refuse_at));
    if (refuse) {
        state.refused = true;
        errno = ENOMEM;
    }
    return refuse;
}

FAILING_HEAP_HOOK inline void *counted(void *block) {
    if (block != nullptr && state.counting)
        remember(block);
    return block;
}

// The next definitions, found once. The lookup itself may allocate; those
// few early blocks come from a static arena and are never released.
struct Next {
    void *(*malloc)(size_t);
    void *(*calloc)(size_t, size_t);
    void *(*realloc)(void *, size_t);
    void (*free)(void *);
};
inline Next next;
inline bool resolving;
alignas(max_align_t) inline unsigned char arena[4096];
inline size_t arena_used;

FAILING_HEAP_HOOK inline void *from_arena(size_t size) {
    size_t rounded =
        (size + alignof(max_align_t) - 1) / alignof(max_align_t) * alignof(max_align_t);
    if (rounded > sizeof arena - arena_used)
        return nullptr;
    void *block = arena + arena_used;
    arena_used += rounded;
    return memset(block, 0, size);
}

FAILING_HEAP_HOOK inline bool in_arena(const void *block) {
    const unsigned char *p = static_cast<const unsigned char *>(block);
    return p >= arena && p < arena + sizeof arena;
}

FAILING_HEAP_HOOK inline bool resolved() {
    if (next.free != nullptr)
        return true;
    if (resolving)
        return false;
    resolving = true;
    Next found;
    found.malloc = reinterpret_cast<void *(*)(size_t)>(dlsym(RTLD_NEXT, "malloc"));
    found.calloc = reinterpret_cast<void *(*)(size_t, size_t)>(dlsym(RTLD_NEXT, "calloc"));
    found.realloc = reinterpret_cast<void *(*)(void *, size_t)>(dlsym(RTLD_NEXT, "realloc"));
    found.free = reinterpret_cast<void (*)(void *)>(dlsym(RTLD_NEXT, "free"));
    next = found;
    resolving = false;
    return true;
}

// Prepares a step: refuse allocation number n (0: none) once counting starts.
inline void begin(long n, Mode mode) {
    memset(slots, 0, sizeof slots);
    state = State{false, mode, n, 0, false, 0};
}

// Counting starts: from here allocations are numbered and may be refused.
inline void start_refusing() {
    state.counting = !warming;
}

// Counting ends; true when an allocation was refused. Blocks made from now on
// are not remembered, but frees are still seen.
inline bool stop_refusing() {
    state.counting = false;
    return state.refused;
}

// Runs step, which prepares, brackets the operation with start_refusing() and
// stop_refusing(), checks the result and releases what it got: once with no
// refusal, then with allocation 1, 2, 3 ... refused in turn until a run
// refuses none, or up to the first failure. Checks that no run leaked.
// Returns the number of allocations the operation makes when none is refused.
template <typename Step> long sweep(Mode mode, Step step) {
    {
        // A first run lets the C library make the blocks it keeps for good (stdio
        // buffers, time zone, linker state); they are not the operation's.
        SCOPED_TRACE("first run, not counted");
        begin(0, mode);
        warming = true;
        step();
        warming = false;
    }
    {
        SCOPED_TRACE("run without refusals");
        begin(0, mode);
        step();
        EXPECT_EQ(state.live, 0) << "blocks leaked";
    }
    long made = state.made;
    for (long n = 1; !::testing::Test::HasFailure(); n++) {
        SCOPED_TRACE("allocation " + std::to_string(n) + (mode == ONCE ? "" : " and later") +
                     " refused");
        begin(n, mode);
        step();
        EXPECT_EQ(state.live, 0) << "blocks leaked";
        if (!state.refused)
            break;
    }
    return made;
}

} // namespace failing_heap

extern "C" {

FAILING_HEAP_HOOK void *malloc(size_t size) {
    using namespace failing_heap;
    if (!resolved())
        return from_arena(size);
    return refuse_next() ? nullptr : counted(next.malloc(size));
}

FAILING_HEAP_HOOK void *calloc(size_t count, size_t size) {
    using namespace failing_heap;
    if (!resolved())
        return count != 0 && size > sizeof arena / count ? nullptr : from_arena(count * size);
    return refuse_next() ? nullptr : counted(next.calloc(count, size));
}

FAILING_HEAP_HOOK void *realloc(void *block, size_t size) {
    using namespace failing_heap;
    if (!resolved() || in_arena(block))
        return nullptr;
    if (refuse_next())
        return nullptr;
    void *moved = next.realloc(block, size);
    if (moved == nullptr)
        return nullptr;
    // A counted block stays counted; a block made before counting began stays its owner's.
    if (forget(block) || block == nullptr)
        counted(moved);
    return moved;
}

FAILING_HEAP_HOOK void free(void *block) {
    using namespace failing_heap;
    if (block == nullptr || in_arena(block) || !resolved())
        return;
    forget(block);
    next.free(block);
}

char *strdup(const char *text) {
    size_t size = strlen(text) + 1;
    char *copy = static_cast<char *>(malloc(size));
    return copy != nullptr ? static_cast<char *>(memcpy(copy, text, size)) : nullptr;
}

} // extern "C"

// operator new and delete over the same heap, so that C++ containers fail too.
void *operator new(size_t size) {
    void *block = malloc(size != 0 ? size : 1);
    if (block == nullptr)
        throw std::bad_alloc();
    return block;
}
void *operator new[](size_t size) {
    return operator new(size);
}
void *operator new(size_t size, const std::nothrow_t &) noexcept {
    return malloc(size != 0 ? size : 1);
}
void *operator new[](size_t size, const std::nothrow_t &) noexcept {
    return malloc(size != 0 ? size : 1);
}
void operator delete(void *block) noexcept {
    free(block);
}
void operator delete[](void *block) noexcept {
    free(block);
}
void operator delete(void *block, size_t) noexcept {
    free(block);
}
void operator delete[](void *block, size_t) noexcept {
    free(block);
}
void operator delete(void *block, const std::nothrow_t &) noexcept {
    free(block);
}
void operator delete[](void *block, const std::nothrow_t &) noexcept {
    free(block);
}

#endif
