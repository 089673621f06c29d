// Arbitrary bytes read as a configuration file under every level mask. Each
// store must keep its invariants (non-empty values of at most 1023 characters,
// one item per name and section), answer lookups as its lists say, and list
// exactly what it holds. Without references to expand, a store read under a
// mask holds exactly the sections and settings of the full store's admitted
// levels.
#include <errno.h>
#include <grp.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <map>
#include <string>
#include <vector>

#include "qelsconf.h"
#include "store_view.h"

// The process belongs to groups 100 and 50, whatever machine runs the fuzzer.
extern "C" int getgroups(int size, gid_t list[]) noexcept {
    static const gid_t groups[] = {100, 50};
    const int count = sizeof groups / sizeof groups[0];
    if (size == 0)
        return count;
    if (size < count) {
        errno = EINVAL;
        return -1;
    }
    memcpy(list, groups, sizeof groups);
    return count;
}

extern "C" struct group *getgrnam(const char *name) {
    static const struct {
        const char *name;
        gid_t gid;
    } known[] = {{"users", 100}, {"staff", 50}, {"dba", 60}, {"wheel", 0}};
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

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    // Lookups with the non-privileged bit ask the environment first; an empty
    // one leaves the answers to the store.
    clearenv();
    return 0;
}

static StoreView __read(const uint8_t *data, size_t size, int mask) {
    psinitrc();
    FUZZ_CHECK(vmrootp != NULL);
    if (size > 0) {
        FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "r");
        FUZZ_CHECK(stream != NULL);
        psreadfile(stream, mask);
        fclose(stream);
    }
    StoreView view = store_view();
    for (int level : view.levels)
        FUZZ_CHECK(level & mask);
    return view;
}

// The lookup of every stored name, and of the start of every input line, under
// every mask: the item of the highest admitted level, else NULL.
static void __check_lookups(const StoreView &view, const uint8_t *data, size_t size) {
    std::map<std::string, std::map<int, const vmitem *>> by_name;
    for (const StoredSetting &s : view.settings)
        by_name[s.name][s.level] = s.item;
    const char *text = reinterpret_cast<const char *>(data);
    for (size_t start = 0, lines = 0; start < size && lines < 16; lines++) {
        const char *end = static_cast<const char *>(memchr(text + start, '\n', size - start));
        size_t length = end == NULL ? size - start : static_cast<size_t>(end - text) - start;
        std::string name(text + start, length);
        name.resize(strlen(name.substr(0, name.find('=')).c_str())); // as a C string sees it
        by_name[name];
        start += length + 1;
    }
    for (const auto &[name, items] : by_name) {
        for (int mask = 0; mask < 8; mask++) {
            const char *expected = NULL;
            for (const auto &[level, item] : items)
                if (level & mask)
                    expected = item->value; // levels ascend: the highest admitted wins
            FUZZ_CHECK(fscheckrc(name.c_str(), mask) == expected);
        }
    }
}

static void __check_listing(const StoreView &view) {
    QelsConfStart();
    for (const StoredSetting &s : view.settings) {
        int level = -1;
        char *value = NULL;
        char *name = QelsConfNext(&level, &value);
        FUZZ_CHECK(name == s.item->name && level == s.level && value == s.item->value);
    }
    for (int i = 0; i < 2; i++)
        FUZZ_CHECK(QelsConfNext(NULL, NULL) == NULL);
}

// A listing during which a setting is deleted hands out live settings only.
static void __check_listing_across_delete(const StoreView &view, size_t taken, size_t victim) {
    if (view.settings.empty())
        return;
    QelsConfStart();
    for (size_t i = 0; i < taken % (view.settings.size() + 1); i++)
        FUZZ_CHECK(QelsConfNext(NULL, NULL) != NULL);
    psdelitem(const_cast<vmitem *>(view.settings[victim % view.settings.size()].item));

    StoreView after = store_view();
    size_t handed = 0;
    while (char *name = QelsConfNext(NULL, NULL)) {
        FUZZ_CHECK(++handed <= after.settings.size());
        bool live = false;
        for (const StoredSetting &s : after.settings)
            live = live || s.item->name == name;
        FUZZ_CHECK(live);
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const StoreView full = __read(data, size, 7);
    __check_lookups(full, data, size);
    __check_listing(full);
    const bool plain = memchr(data, '$', size) == NULL;

    for (int mask = 0; mask < 7; mask++) {
        StoreView view = __read(data, size, mask);
        if (!plain)
            continue;
        StoreView expected;
        for (int level : full.levels)
            if (level & mask)
                expected.levels.push_back(level);
        for (const StoredSetting &s : full.settings)
            if (s.level & mask)
                expected.settings.push_back(s);
        FUZZ_CHECK(view.levels == expected.levels);
        FUZZ_CHECK(view.settings == expected.settings);
    }

    __check_listing_across_delete(__read(data, size, 7), size, size > 0 ? data[0] : 0);
    psdeleterc();
    return 0;
}
