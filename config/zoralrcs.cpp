// The configuration store and the reader of configuration files: sections of
// three levels, settings whose values expand $NAME and ${NAME}, and lookup of
// a name under a mask of levels.
#include "zoralrcs_internal.h"

#include <errno.h>
#include <grp.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "helpers.h"
#include "omx_memory.h"
#include "zoralrcs_names.h"

vmsect *vmrootp = NULL;
int vmready = 0;
unsigned long vmgeneration = 0;
unsigned long vmlost = 0;

// Each level's items by name, beside the lists, so that storing, expanding
// and looking up stay cheap however long the files are. Empty while no store exists.
static vmnames m_names = {NULL, 0, 0};

static const int LEVELS[] = {QELSCONF_PRIVILEGED, QELSCONF_GROUP, QELSCONF_NONPRIVILEGED};
enum { LEVEL_COUNT = sizeof LEVELS / sizeof LEVELS[0] };
static_assert(static_cast<int>(LEVEL_COUNT) == static_cast<int>(NAME_SLOTS),
              "the index keeps one item per level");

// What reading one file carries from line to line.
struct reader {
    int mask;
    int level;
    vmsect *section; // NULL until a setting or a header in the mask needs one
};

static int __slot(int level) {
    for (int slot = 0; slot < LEVEL_COUNT; slot++)
        if (LEVELS[slot] == level)
            return slot;
    return -1;
}

static vmitem *__find(int slot, const char *name) {
    const vmname *entry = psfindname(&m_names, name);
    return entry != NULL ? entry->items[slot] : NULL;
}

template <typename T> static T *__new_node() {
    return static_cast<T *>(OmxMemAlloc(sizeof(T)));
}

// An item, its name and its first value share one block; a replaced value
// lives in a block of its own.
static vmitem *__new_item(const char *name, const char *value) {
    size_t name_size = strlen(name) + 1;
    size_t value_size = strlen(value) + 1;
    vmitem *item = static_cast<vmitem *>(OmxMemAlloc(sizeof(vmitem) + name_size + value_size));
    if (item != NULL) {
        item->name = reinterpret_cast<char *>(item + 1);
        item->value = item->name + name_size;
        memcpy(item->name, name, name_size);
        memcpy(item->value, value, value_size);
    }
    return item;
}

static bool __value_inline(const vmitem *item) {
    return item->value == item->name + strlen(item->name) + 1;
}

static void __free_item(vmitem *item) {
    if (!__value_inline(item))
        OmxMemFree(item->value);
    OmxMemFree(item);
}

static void __free_items(vmitem *sentinel) {
    vmitem *item = sentinel->next;
    while (item != sentinel) {
        vmitem *next = item->next;
        __free_item(item);
        item = next;
    }
    OmxMemFree(sentinel);
}

static bool __is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

static char *__skip_blanks(char *text) {
    while (__is_blank(*text))
        text++;
    return text;
}

static void __trim_end(char *text) {
    size_t length = strlen(text);
    while (length > 0 && __is_blank(text[length - 1]))
        text[--length] = '\0';
}

// The store's item of the highest level, else the environment, else "".
static const char *__resolve(const char *name) {
    if (const vmname *entry = psfindname(&m_names, name))
        for (int slot = LEVEL_COUNT - 1; slot >= 0; slot--)
            if (entry->items[slot] != NULL)
                return entry->items[slot]->value;
    const char *value = getenv(name);
    return value != NULL ? value : "";
}

void psinitrc(void) {
    psdeleterc();
    vmlost = 0;
    vmsect *root = __new_node<vmsect>();
    if (root == NULL) {
        vmlost++;
        return;
    }
    root->next = root->prev = root;
    vmrootp = root;
}

void psdeleterc(void) {
    if (vmrootp == NULL)
        return;
    __atomic_store_n(&vmready, 0, __ATOMIC_RELEASE);
    vmsect *sect = vmrootp->next;
    while (sect != vmrootp) {
        vmsect *next = sect->next;
        __free_items(sect->items);
        OmxMemFree(sect);
        sect = next;
    }
    OmxMemFree(vmrootp);
    vmrootp = NULL;
    vmgeneration++;
    psfreenames(&m_names);
}

vmsect *fsgetsect(int level) {
    if (vmrootp == NULL || __slot(level) < 0)
        return NULL;
    vmsect *next = vmrootp->next;
    while (next != vmrootp && next->level < level)
        next = next->next;
    if (next != vmrootp && next->level == level)
        return next;

    vmsect *sect = __new_node<vmsect>();
    vmitem *items = __new_node<vmitem>();
    if (sect == NULL || items == NULL) {
        OmxMemFree(sect);
        OmxMemFree(items);
        vmlost++;
        return NULL;
    }
    items->next = items->prev = items;
    sect->level = level;
    sect->items = items;
    sect->next = next;
    sect->prev = next->prev;
    next->prev->next = sect;
    next->prev = sect;
    return sect;
}

// Appends name with its already expanded, non-empty value.
static vmitem *__append(vmsect *sect, int slot, const char *name, const char *expanded) {
    vmitem *item = __new_item(name, expanded);
    if (item == NULL) {
        vmlost++;
        return NULL;
    }
    if (!psaddname(&m_names, slot, item)) {
        __free_item(item);
        vmlost++;
        return NULL;
    }
    vmitem *sentinel = sect->items;
    item->next = sentinel;
    item->prev = sentinel->prev;
    sentinel->prev->next = item;
    sentinel->prev = item;
    return item;
}

// Gives item its already expanded value, or deletes it when that is empty.
static void __replace(vmitem *item, const char *expanded) {
    if (expanded[0] == '\0') {
        psdelitem(item);
        return;
    }
    char *copy = OmxStrDup(expanded);
    if (copy == NULL) {
        vmlost++;
        return;
    }
    if (!__value_inline(item))
        OmxMemFree(item->value);
    item->value = copy;
}

vmitem *fsnewitem(vmsect *sect, const char *name, const char *value) {
    if (sect == NULL || name == NULL || vmrootp == NULL)
        return NULL;
    int slot = __slot(sect->level);
    char expanded[CONF_VALUE_SIZE];
    if (slot < 0 || __find(slot, name) != NULL || !fsevalval(value, expanded, sizeof expanded))
        return NULL;
    return __append(sect, slot, name, expanded);
}

int fsrepitem(vmitem *item, const char *name, const char *value) {
    if (item == NULL || item->name == NULL || name == NULL || strcmp(item->name, name) != 0)
        return 0;
    // Expanded before the old value goes: the value may refer to its own name.
    char expanded[CONF_VALUE_SIZE];
    fsevalval(value, expanded, sizeof expanded);
    __replace(item, expanded);
    return 1;
}

void psdelitem(vmitem *item) {
    if (item == NULL || item->name == NULL)
        return;
    psdropname(&m_names, item);
    item->prev->next = item->next;
    item->next->prev = item->prev;
    __free_item(item);
    vmgeneration++;
}

void psstoreitem(vmsect *sect, const char *name, const char *value) {
    if (sect == NULL || name == NULL || vmrootp == NULL)
        return;
    int slot = __slot(sect->level);
    if (slot < 0)
        return;
    // The value is expanded before the lookup (it reads the store as it was either
    // way), so that the name's index entry arrives from memory meanwhile.
    psprefetchname(&m_names, name);
    char expanded[CONF_VALUE_SIZE];
    fsevalval(value, expanded, sizeof expanded);
    if (vmitem *item = __find(slot, name))
        __replace(item, expanded);
    else if (expanded[0] != '\0')
        __append(sect, slot, name, expanded);
}

int fsevalval(const char *source, char *destination, int size) {
    if (destination == NULL || size < 1)
        return 0;
    destination[0] = '\0';
    if (source == NULL || source[0] == '\0')
        return 0;

    const size_t limit = static_cast<size_t>(size) - 1;
    size_t length = strnlen(source, limit);
    memcpy(destination, source, length);
    destination[length] = '\0';

    size_t scan = 0;
    while (char *dollar = strchr(destination + scan, '$')) {
        size_t start = static_cast<size_t>(dollar - destination);
        bool braced = destination[start + 1] == '{';
        size_t name = start + (braced ? 2 : 1);
        size_t end = name;
        while (__is_name_char(destination[end]))
            end++;
        if (end == name) { // "$-", "${}", a lone "$": no reference
            scan = name;
            continue;
        }
        if (braced && destination[end] != '}') {
            scan = end;
            continue;
        }
        size_t after = braced ? end + 1 : end;

        // The name is terminated in place for the lookup; the text found
        // lies in the store or the environment, never in destination.
        char saved = destination[end];
        destination[end] = '\0';
        const char *text = __resolve(destination + name);
        destination[end] = saved;

        size_t inserted = strlen(text);
        if (inserted > limit - start)
            inserted = limit - start;
        size_t tail = length - after;
        if (tail > limit - start - inserted)
            tail = limit - start - inserted;
        memmove(destination + start + inserted, destination + after, tail);
        memcpy(destination + start, text, inserted);
        length = start + inserted + tail;
        destination[length] = '\0';
        scan = start + inserted; // inserted text is never expanded again
    }
    return length > 0;
}

// True when one of the names (split at commas and blanks) is a group of the process.
static bool __names_own_group(char *names) {
    int count = getgroups(0, NULL);
    if (count <= 0)
        return false;
    gid_t *groups = static_cast<gid_t *>(OmxMemAlloc(sizeof(gid_t) * static_cast<size_t>(count)));
    if (groups == NULL) {
        vmlost++;
        return false;
    }
    count = getgroups(count, groups);

    static const char separators[] = ", \t\n\v\f\r";
    bool member = false;
    char *rest = NULL;
    for (char *name = strtok_r(names, separators, &rest); name != NULL && !member && count > 0;
         name = strtok_r(NULL, separators, &rest)) {
        errno = 0;
        const struct group *group = getgrnam(name);
        if (group == NULL && errno == ENOMEM) // not "no such group": the section may apply
            vmlost++;
        for (int i = 0; group != NULL && i < count && !member; i++)
            member = groups[i] == group->gr_gid;
    }
    OmxMemFree(groups);
    return member;
}

// A header that is malformed or unknown leaves the level and section as they were.
static void __read_header(char *text, reader *state) {
    char *stop = strpbrk(text + 1, ":]");
    if (stop == NULL)
        return;
    for (char *c = text; c < stop; c++)
        if (*c >= 'a' && *c <= 'z')
            *c = static_cast<char>(*c - 'a' + 'A');

    int level;
    if (strncmp(text, "[PRIVILEGED]", 12) == 0) {
        level = QELSCONF_PRIVILEGED;
    } else if (strncmp(text, "[NONPRIVILEGED]", 15) == 0) {
        level = QELSCONF_NONPRIVILEGED;
    } else if (strncmp(text, "[GROUP", 6) == 0 && *stop == ':') {
        char *close = strchr(stop, ']');
        if (close == NULL)
            return;
        *close = '\0';
        level = __names_own_group(stop + 1) ? QELSCONF_GROUP : 0; // 0 is in no mask
    } else {
        return;
    }
    state->level = level;
    if (level & state->mask)
        state->section = fsgetsect(level);
}

static void __read_setting(char *text, reader *state) {
    // A "#" before the first "=" comments the "=" out with the rest of the line.
    char *equals = strpbrk(text, "=#");
    if (equals == NULL || *equals == '#' || (state->level & state->mask) == 0)
        return;
    if (state->section == NULL)
        state->section = fsgetsect(state->level);

    char *value = equals + 1;
    char *comment = strchr(value, '#');
    if (comment != NULL) {
        *comment = '\0';
        __trim_end(value);
    }
    *equals = '\0';
    __trim_end(text);
    psstoreitem(state->section, text, __skip_blanks(value));
}

void psreadfile(FILE *stream, int mask) {
    if (stream == NULL)
        return;
    reader state = {mask, QELSCONF_NONPRIVILEGED, NULL};
    char line[CONF_LINE_SIZE];
    while (fgets(line, sizeof line, stream) != NULL) {
        size_t length = strlen(line); // a NUL byte ends the line early
        if (length > 0 && line[length - 1] == '\n')
            line[--length] = '\0';
        if (length > 0 && line[length - 1] == '\r')
            line[--length] = '\0';
        char *text = __skip_blanks(line);
        if (*text == '#')
            continue;
        if (*text == '[')
            __read_header(text, &state);
        else
            __read_setting(text, &state);
    }
}

char *fscheckrc(const char *name, int mask) {
    if (name == NULL)
        return NULL;
    if (mask & QELSCONF_NONPRIVILEGED) {
        char *value = getenv(name);
        if (value != NULL)
            return value;
    }
    for (int slot = LEVEL_COUNT - 1; slot >= 0; slot--) {
        if ((LEVELS[slot] & mask) == 0)
            continue;
        if (vmitem *item = __find(slot, name))
            return item->value;
    }
    return NULL;
}
