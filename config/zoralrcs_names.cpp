// The configuration store's name index: a dense array of entries, each holding a name's items at
// every level, found through a table of small slots probed linearly.
#include "zoralrcs_names.h"

#include <string.h>

#include "omx_memory.h"

static const size_t FIRST_CAPACITY = 64; // slots
static const size_t FIRST_ROOM = 48;     // entries: as many as FIRST_CAPACITY slots take

// FNV-1a: cheap, and spreads the numbered names configuration files are full of.
uint32_t pshashname(const char *name) {
    uint32_t hash = 2166136261u;
    for (const unsigned char *c = reinterpret_cast<const unsigned char *>(name); *c; c++)
        hash = (hash ^ *c) * 16777619u;
    return hash;
}

// The slot of name, or the free slot where it would go.
static vmslot *__probe(const vmnames *names, const char *name, uint32_t hash) {
    size_t mask = names->capacity - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        vmslot *slot = &names->slots[i];
        if (slot->entry == 0 ||
            (slot->hash == hash && strcmp(names->entries[slot->entry - 1].name, name) == 0))
            return slot;
    }
}

// The free slot where a name of hash goes, in slots that do not hold it.
static vmslot *__free_slot(vmslot *slots, size_t capacity, uint32_t hash) {
    size_t mask = capacity - 1;
    size_t i = hash & mask;
    while (slots[i].entry != 0)
        i = (i + 1) & mask;
    return &slots[i];
}

// Moves every slot into a new table of capacity slots, a power of two that holds them.
static bool __rehash(vmnames *names, size_t capacity) {
    if (capacity > SIZE_MAX / sizeof(vmslot))
        return false;
    vmslot *slots = static_cast<vmslot *>(OmxMemAlloc(capacity * sizeof(vmslot)));
    if (slots == NULL)
        return false;
    for (size_t i = 0; i < names->capacity; i++)
        if (names->slots[i].entry != 0)
            *__free_slot(slots, capacity, names->slots[i].hash) = names->slots[i];
    OmxMemFree(names->slots);
    names->slots = slots;
    names->capacity = capacity;
    return true;
}

static bool __grow_slots(vmnames *names) {
    return __rehash(names, names->capacity == 0 ? FIRST_CAPACITY : names->capacity * 2);
}

static bool __grow_entries(vmnames *names) {
    size_t room = names->room == 0 ? FIRST_ROOM : names->room * 2;
    if (room > SIZE_MAX / sizeof(vmname))
        return false;
    vmname *entries = static_cast<vmname *>(OmxMemRealloc(names->entries, room * sizeof(vmname)));
    if (entries == NULL)
        return false;
    names->entries = entries;
    names->room = room;
    return true;
}

// Frees slot and its entry: later slots of the run move back so probes still find them, and the
// last entry takes the freed position so the entries stay dense.
static void __erase(vmnames *names, vmslot *slot) {
    size_t position = slot->entry - 1;
    size_t mask = names->capacity - 1;
    size_t i = static_cast<size_t>(slot - names->slots);
    for (size_t j = (i + 1) & mask; names->slots[j].entry != 0; j = (j + 1) & mask) {
        size_t home = names->slots[j].hash & mask;
        if (((j - home) & mask) >= ((j - i) & mask)) {
            names->slots[i] = names->slots[j];
            i = j;
        }
    }
    names->slots[i] = vmslot{};
    size_t last = --names->used;
    if (position == last)
        return;
    names->entries[position] = names->entries[last];
    uint32_t moved = static_cast<uint32_t>(last + 1);
    size_t k = pshashname(names->entries[position].name) & mask;
    while (names->slots[k].entry != moved)
        k = (k + 1) & mask;
    names->slots[k].entry = static_cast<uint32_t>(position + 1);
}

bool psreservenames(vmnames *names, size_t count) {
    if (count > SIZE_MAX / 8 - names->used)
        return false;
    size_t wanted = names->used + count;
    size_t capacity = names->capacity == 0 ? FIRST_CAPACITY : names->capacity;
    while (wanted * 4 > capacity * 3) {
        if (capacity > SIZE_MAX / 2)
            return false;
        capacity *= 2;
    }
    return capacity == names->capacity || __rehash(names, capacity);
}

void psprefetchname(const vmnames *names, uint32_t hash) {
    if (names->capacity != 0)
        __builtin_prefetch(&names->slots[hash & (names->capacity - 1)]);
}

const vmname *psfindname(const vmnames *names, const char *name) {
    return psprobename(names, name, pshashname(name)).entry;
}

vmprobe psprobename(const vmnames *names, const char *name, uint32_t hash) {
    if (names->capacity == 0)
        return vmprobe{NULL, NULL};
    vmslot *slot = __probe(names, name, hash);
    return vmprobe{slot->entry != 0 ? &names->entries[slot->entry - 1] : NULL, slot};
}

bool psaddname(vmnames *names, vmprobe probe, uint32_t hash, int slot, vmitem *item) {
    vmname *entry = probe.entry;
    if (entry == NULL) {
        if (names->used >= UINT32_MAX) // a slot numbers its entry in 32 bits
            return false;
        if (names->used == names->room && !__grow_entries(names))
            return false;
        vmslot *free_slot = probe.slot;
        if ((names->used + 1) * 4 > names->capacity * 3) {
            if (!__grow_slots(names))
                return false;
            free_slot = __free_slot(names->slots, names->capacity, hash);
        }
        entry = &names->entries[names->used++];
        *entry = vmname{item->name, {}};
        free_slot->hash = hash;
        free_slot->entry = static_cast<uint32_t>(names->used);
    }
    entry->items[slot] = item;
    return true;
}

void psdropname(vmnames *names, const vmitem *item) {
    if (names->capacity == 0)
        return;
    vmslot *slot = __probe(names, item->name, pshashname(item->name));
    if (slot->entry == 0)
        return;
    vmname *entry = &names->entries[slot->entry - 1];
    const vmitem *rest = NULL;
    for (vmitem *&recorded : entry->items) {
        if (recorded == item)
            recorded = NULL;
        else if (recorded != NULL)
            rest = recorded;
    }
    if (rest == NULL)
        __erase(names, slot);
    else if (entry->name == item->name)
        entry->name = rest->name; // the dropped item's name is about to be freed
}

void psfreenames(vmnames *names) {
    OmxMemFree(names->slots);
    OmxMemFree(names->entries);
    *names = vmnames{};
}
