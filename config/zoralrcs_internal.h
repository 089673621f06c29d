/*
 * The configuration store and the reader of configuration files, internal to
 * the library.
 *
 * The store is a circular, doubly linked list of sections headed by a root
 * sentinel (vmrootp, NULL while no store exists). Each section holds one
 * level (QELSCONF_PRIVILEGED, QELSCONF_GROUP or QELSCONF_NONPRIVILEGED) and a
 * circular, doubly linked list of items headed by a sentinel whose strings are
 * NULL. Invariants:
 *  - sections are in ascending order of level, at most one per level;
 *  - within a section a name occurs once, and new items are appended at the
 *    end; replacing a value keeps the item in its place;
 *  - every value is stored expanded, at most CONF_VALUE_SIZE - 1 bytes, and
 *    never empty;
 *  - the store owns every node and string; an item's name, and its value
 *    until replaced, lie with the item: in a block of its own, or for an item
 *    read from a file in one of the store's blocks, which are freed with the
 *    store (a deleted item's room there stays taken, which a file's lines
 *    bound). Pointers into the store stay valid until their item is replaced
 *    or deleted or the store is freed;
 *  - an item's origin is the path of a file the store has read (a copy the
 *    store owns, made once per file) or one of the VM_ORIGIN texts.
 * Change the store only through these operations: they keep a name index
 * beside the lists.
 *
 * Only the first build of a store (fscreconf) takes a lock; otherwise the
 * store serves one thread at a time.
 */
#ifndef ZORALRCS_INTERNAL_H
#define ZORALRCS_INTERNAL_H

#include <stdio.h>

#include "qelsconf.h"
#include "zoralrcs_report.h"

enum {
    CONF_LINE_SIZE = 2048,  /* one physical read of a line */
    CONF_VALUE_SIZE = 1024, /* one expanded value */
};

struct vmitem {
    vmitem *next;
    vmitem *prev;
    char *name;         /* NULL in the sentinel */
    char *value;        /* NULL in the sentinel */
    const char *origin; /* where the value came from: a file's path or a VM_ORIGIN text */
    int line;           /* the file's line (from 1), or 0 for a VM_ORIGIN text */
    bool pooled;        /* read from a file: lies in a block of the store's, freed with the store */
    bool value_apart;   /* the value was replaced and lies in a block of its own */
};

struct vmsect {
    vmsect *next;
    vmsect *prev;
    int level;     /* 0 in the root */
    vmitem *items; /* the item-list sentinel; NULL in the root */
};

extern vmsect *vmrootp;
/* 1 once fscreconf has finished with the store in vmrootp, 0 from its freeing on; read and
 * written atomically, so that later calls need no lock. */
extern int vmready;
/* Counts the nodes the store has lost (deleted items, freed stores): a pointer
 * kept across a change of it may point at nothing alive. */
extern unsigned long vmgeneration;
/* Counts what the store could not take for lack of memory since psinitrc:
 * settings, sections, files that could not be opened, exports. A store that
 * lost anything is not the whole configuration. */
extern unsigned long vmlost;

/* Creates an empty store in vmrootp, freeing one that was there, and clears vmlost. Leaves
 * vmrootp NULL when out of memory. */
void psinitrc(void);
/* How many distinct names the store holds, at any level. */
size_t fsnamecount(void);
/* Frees the whole store; vmrootp becomes NULL. */
void psdeleterc(void);
/*
 * The section of level (one of the three levels), created and linked in its
 * place when absent. NULL without a store, for another level, or when out of
 * memory.
 */
vmsect *fsgetsect(int level);
/*
 * Appends name with value expanded to sect. NULL, storing nothing, when the
 * expansion is empty, sect holds name already, or memory runs out.
 */
vmitem *fsnewitem(vmsect *sect, const char *name, const char *value);
/*
 * 0 when item is not named name. Otherwise replaces the item's value by the
 * expansion of value, or deletes the item when that is empty, and returns 1.
 * When memory runs out the old value stays. The origin of items these two
 * make or change is VM_ORIGIN_PROGRAM.
 */
int fsrepitem(vmitem *item, const char *name, const char *value);
/* Unlinks and frees item; does nothing for NULL or a sentinel. */
void psdelitem(vmitem *item);
/*
 * Stores a setting into sect: replaces the item of that name in place, or
 * deletes it when value expands to nothing, or else appends a new item; what
 * it stores comes from origin (a text the store keeps alive) at line (0 for
 * none). Whatever memory does not allow is counted in vmlost. True when the
 * store changed. With a line, what expanding and replacing find is told to
 * vmobserve as findings on that line of origin.
 */
bool psstoreitem(vmsect *sect, const char *name, const char *value, const char *origin, int line);
/*
 * Expands $NAME and ${NAME} in source into destination (size bytes, size - 1
 * characters at most; a size below 1 writes nothing). A name resolves to the
 * store's item of the highest level, else to the environment, else to "".
 * Inserted text is not expanded again. Returns 1 when the result is
 * non-empty, else 0.
 */
int fsevalval(const char *source, char *destination, int size);
/*
 * Reads stream to its end, storing the settings of the sections whose level is
 * in mask as coming from path (copied into the store; NULL: VM_ORIGIN_PROGRAM)
 * and telling vmobserve its findings. The number of settings stored, replaced
 * or deleted; -1, reading nothing, when memory for the path runs out (counted
 * in vmlost).
 */
int psreadnamed(FILE *stream, int mask, const char *path);
/* Makes room in the name index for the names a file of size bytes may add, so that reading it
 * does not grow the index name by name. Only speed depends on it. */
void psreserverc(long long size);
/* psreadnamed without a path. */
int psreadfile(FILE *stream, int mask);
/*
 * The value of name under mask: the environment's first when the mask holds
 * QELSCONF_NONPRIVILEGED, then the highest admitted level's. NULL when none
 * holds it. The text belongs to the environment or the store.
 */
char *fscheckrc(const char *name, int mask);

#endif
