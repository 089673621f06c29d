// The configuration store's name index: open addressing with linear probing,
// each entry holding a name's items at every level.
#include "zoralrcs_names.h"

#include <string.h>

#include "omx_memory.h"

static const size_t FIRST_CAPACITY = 64;

// FNV-1a: cheap, and spreads the numbered names configuration files are full of.
uint32_t pshashname(const char *name) {
    uint32_t hash = 2166136261u;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; c++)
        hash = (hash ^ *c) * 16777619u;
    return hash;
}

// The entry holding name, or the free entry where it would go.
static vmname *__probe(vmname *entries, size_t capacity, const char *name, uint32_t hash) {
    size_t mask = capacity - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        vmname *entry = &entries[i];
        if (entry->name == NULL || (entry->hash == hash && strcmp(entry->name, name) == 0))
            return entry;
    }
}

static bool __grow(vmnames *names) {
    size_t capacity = names->capacity == 0 ? FIRST_CAPACITY : names->capacity * 2;
    if (capacity > SIZE_MAX / sizeof(vmname))
        return false;
    vmname *entries = static_cast<vmname *>(OmxMemAlloc(capacity * sizeof(vmname)));
    if (entries == NULL)
        return false;
    for (size_t i = 0; i < names->capacity; i++) {
        const vmname &entry = names->entries[i];
        if (entry.name != NULL)
            *__probe(entries, capacity, entry.name, entry.hash) = entry;
    }
    OmxMemFree(names->entries);
    names->entries = entries;
    names->capacity = capacity;
    return true;
}

// Frees the entry at i, moving later entries of the run back so probes still find them.
static void __erase(vmnames *names, size_t i) {
    size_t mask = names->capacity - 1;
    for (size_t j = (i + 1) & mask; names->entries[j].name != NULL; j = (j + 1) & mask) {
        size_t home = names->entries[j].hash & mask;
        if (((j - home) & mask) >= ((j - i) & mask)) {
            names->entries[i] = names->entries[j];
            i = j;
        }
    }
    names->entries[i] = vmname{};
    names->used--;
}

void psprefetchname(const vmnames *names, uint32_t hash) {
    if (names->capacity != 0)
        __builtin_prefetch(&names->entries[hash & (names->capacity - 1)]);
}

const vmname *psfindname(const vmnames *names, const char *name) {
    const vmname *entry = psprobename(names, name, pshashname(name));
    return entry != NULL && entry->name != NULL ? entry : NULL;
}

vmname *psprobename(const vmnames *names, const char *name, uint32_t hash) {
    return names->capacity != 0 ? __probe(names->entries, names->capacity, name, hash) : NULL;
}

bool psaddname(vmnames *names, vmname *entry, uint32_t hash, int slot, vmitem *item) {
    if (entry == NULL || entry->name == NULL) {
        if ((names->used + 1) * 4 > names->capacity * 3) {
            if (!__grow(names))
                return false;
            entry = __probe(names->entries, names->capacity, item->name, hash);
        }
        entry->hash = hash;
        entry->name = item->name;
        names->used++;
    }
    entry->items[slot] = item;
    return true;
}

void psdropname(vmnames *names, const vmitem *item) {
    if (names->capacity == 0)
        return;
    vmname *entry = __probe(names->entries, names->capacity, item->name, pshashname(item->name));
    if (entry->name == NULL)
        return;
    const vmitem *rest = NULL;
    for (vmitem *&recorded : entry->items) {
        if (recorded == item)
            recorded = NULL;
        else if (recorded != NULL)
            rest = recorded;
    }
    if (rest == NULL)
        __erase(names, static_cast<size_t>(entry - names->entries));
    else if (entry->name == item->name)
        entry->name = rest->name; // the dropped item's name is about to be freed
}

void psfreenames(vmnames *names) {
    OmxMemFree(names->entries);
    *names = vmnames{};
}
