/*
 * The configuration store's name index, internal to the library: for every
 * name the store holds at any level, that name's item at each level.
 *
 * A dense array of entries, in no particular order, and beside it a
 * power-of-two table of slots probed linearly; a slot holds a name's hash and
 * the position of its entry, so that growing zeroes and rehashes 8 bytes a
 * name and a probe compares hashes within a cache line of slots before it
 * reads an entry and its name. Invariants:
 *  - entries[0 .. used) are in use: at least one of an entry's items is set,
 *    and name is the name text of one of them;
 *  - a slot is free exactly when its entry is 0; otherwise entry - 1 is the
 *    position of the one entry it stands for, and hash the hash of its name;
 *    every entry in use has one slot;
 *  - at most three quarters of the slots are in use, so every probe ends at a
 *    free slot;
 *  - the index owns its two arrays only; items and their names belong to the
 *    store.
 * An index of capacity 0 holds nothing and allocates on the first addition.
 */
#ifndef ZORALRCS_NAMES_H
#define ZORALRCS_NAMES_H

#include <stddef.h>
#include <stdint.h>

#include "zoralrcs_internal.h"

enum { NAME_SLOTS = 3 }; /* privileged, group, non-privileged */

struct vmname {
    const char *name;
    vmitem *items[NAME_SLOTS];
};

struct vmslot {
    uint32_t hash;
    uint32_t entry; /* the entry's position + 1; 0 when free */
};

struct vmnames {
    vmslot *slots;
    size_t capacity; /* slots */
    vmname *entries;
    size_t room; /* entries allocated */
    size_t used; /* entries in use */
};

/* Where a name is or would be recorded: its entry (NULL when no level holds the name) and its
 * slot, or the free slot psaddname would take (NULL while the index is empty). */
struct vmprobe {
    vmname *entry;
    vmslot *slot;
};

/* The hash the index files name under; the calls below take it so that a name is hashed once. */
uint32_t pshashname(const char *name);
/* Makes room for count more names, so that adding them never grows the table of slots; false,
 * changing nothing, when memory runs out. */
bool psreservenames(vmnames *names, size_t count);
/* Starts bringing the slot of hash into the cache for a lookup soon after. */
void psprefetchname(const vmnames *names, uint32_t hash);
/* The entry of name, or NULL when no level holds it. */
const vmname *psfindname(const vmnames *names, const char *name);
/* Where name (of that hash) is or would be recorded. Valid until the index next changes. */
vmprobe psprobename(const vmnames *names, const char *name, uint32_t hash);
/* Records item, whose name (of that hash) has no item at slot yet, where probe (what
 * psprobename gave for it since the index last changed) says; false when out of memory. */
bool psaddname(vmnames *names, vmprobe probe, uint32_t hash, int slot, vmitem *item);
/* Forgets item, at whichever level it is recorded; nothing when it is not. */
void psdropname(vmnames *names, const vmitem *item);
/* Frees the arrays and leaves an empty index. */
void psfreenames(vmnames *names);

#endif
