/*
 * The configuration store's name index, internal to the library: for every
 * name the store holds at any level, that name's item at each level.
 *
 * Open addressing with linear probing over a power-of-two array of entries.
 * Invariants:
 *  - an entry is free exactly when its name is NULL; otherwise at least one of
 *    its items is set, and name is the name text of one of them;
 *  - hash is the hash of name; a probe compares hashes before reading a name,
 *    so a lookup reads the array and, on a match, one string;
 *  - at most three quarters of the entries are in use, so every probe ends at
 *    a free entry;
 *  - the index owns its array only; items and their names belong to the store.
 * An index of capacity 0 holds nothing and allocates on the first addition.
 */
#ifndef ZORALRCS_NAMES_H
#define ZORALRCS_NAMES_H

#include <stddef.h>
#include <stdint.h>

#include "zoralrcs_internal.h"

enum { NAME_SLOTS = 3 }; /* privileged, group, non-privileged */

struct vmname {
    uint32_t hash;
    const char *name;
    vmitem *items[NAME_SLOTS];
};

struct vmnames {
    vmname *entries;
    size_t capacity;
    size_t used;
};

/* The hash the index files name under; the calls below take it so that a name is hashed once. */
uint32_t pshashname(const char *name);
/* Starts bringing the entry of hash into the cache for a lookup soon after. */
void psprefetchname(const vmnames *names, uint32_t hash);
/* The entry of name, or NULL when no level holds it. */
const vmname *psfindname(const vmnames *names, const char *name);
/* The entry of name (of that hash), or the free entry where psaddname would put it; NULL while
 * the index is empty. Valid until the index next changes. */
vmname *psprobename(const vmnames *names, const char *name, uint32_t hash);
/* Records item, whose name (of that hash) has no item at slot yet, in entry, what psprobename
 * gave for it since the index last changed; false when out of memory. */
bool psaddname(vmnames *names, vmname *entry, uint32_t hash, int slot, vmitem *item);
/* Forgets item, at whichever level it is recorded; nothing when it is not. */
void psdropname(vmnames *names, const vmitem *item);
/* Frees the array and leaves an empty index. */
void psfreenames(vmnames *names);

#endif
