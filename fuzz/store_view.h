// The configuration store as its lists show it, taken without its lookups and
// checked for the invariants every store keeps.
#ifndef STORE_VIEW_H
#define STORE_VIEW_H

#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "zoralrcs_internal.h"

struct StoredSetting {
    int level;
    const vmitem *item;
    std::string name;
    std::string value;
};

struct StoreView {
    std::vector<int> levels;             // of the sections, in list order
    std::vector<StoredSetting> settings; // section by section, each in list order
};

static inline bool operator==(const StoredSetting &a, const StoredSetting &b) {
    return a.level == b.level && a.name == b.name && a.value == b.value;
}

// Walks the store both ways round; aborts on a broken link or invariant.
static inline StoreView store_view(void) {
    StoreView view;
    FUZZ_CHECK(vmrootp != NULL && vmrootp->level == 0 && vmrootp->items == NULL);
    int previous = 0;
    for (const vmsect *sect = vmrootp->next; sect != vmrootp; sect = sect->next) {
        FUZZ_CHECK(sect->next->prev == sect && sect->prev->next == sect);
        FUZZ_CHECK(sect->level == QELSCONF_PRIVILEGED || sect->level == QELSCONF_GROUP ||
                   sect->level == QELSCONF_NONPRIVILEGED);
        FUZZ_CHECK(sect->level > previous);
        previous = sect->level;
        view.levels.push_back(sect->level);

        const vmitem *sentinel = sect->items;
        FUZZ_CHECK(sentinel != NULL && sentinel->name == NULL && sentinel->value == NULL);
        std::set<std::string> names;
        for (const vmitem *item = sentinel->next; item != sentinel; item = item->next) {
            FUZZ_CHECK(item->next->prev == item && item->prev->next == item);
            FUZZ_CHECK(item->name != NULL && item->value != NULL);
            size_t length = strlen(item->value);
            FUZZ_CHECK(length > 0 && length < CONF_VALUE_SIZE);
            FUZZ_CHECK(names.insert(item->name).second);
            view.settings.push_back({sect->level, item, item->name, item->value});
        }
    }
    return view;
}

#endif
