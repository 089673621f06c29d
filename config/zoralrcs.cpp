// The configuration store and the reader of configuration files: sections of
// three levels, settings whose values expand $NAME and ${NAME}, and lookup of
// a name under a mask of levels. The reader tells an observer what it finds
// wrong in a file as it reads it.
#include "zoralrcs_internal.h"

#include <errno.h>
#include <grp.h>
#include <limits.h>
#include <stdarg.h>
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
const vmobserver *vmobserve = NULL;

const char VM_ORIGIN_DERIVED[] = "derived";
const char VM_ORIGIN_BLOCK_SIZE[] = "block size";
const char VM_ORIGIN_PROGRAM[] = "program";

enum {
    FINDING_SIZE = 512, // one finding's text
    QUOTE_SIZE = 40,    // at most this much of a file's text is quoted in a finding
    KEYWORD_SIZE = 24,  // longer section names are too far from any to suggest one
    READ_SIZE = 8192,   // one read from a file, whose lines are handed out in place
};

// Items read from files are taken one after another from blocks that grow from the first size
// to the largest, which stays below the size the C library maps apart from its heap.
static const size_t FIRST_BLOCK = 4096;
static const size_t LARGEST_BLOCK = 64 * 1024;

// A copy of the path of a file read into the store, which items name as their origin.
struct vmorigin {
    vmorigin *next;
};

// The origins of the store, newest first; freed with it.
static vmorigin *m_origins = NULL;

// A block of items read from files; its room follows the header.
struct vmblock {
    vmblock *next;
    size_t used; // bytes of room taken
    size_t size; // bytes of room
};
static_assert(sizeof(vmblock) % alignof(vmitem) == 0, "items in a block are aligned");

// The blocks of the store, newest first; freed with it.
static vmblock *m_blocks = NULL;

// Each level's items by name, beside the lists, so that storing, expanding
// and looking up stay cheap however long the files are. Empty while no store exists.
static vmnames m_names = {NULL, 0, NULL, 0, 0};

static const int LEVELS[] = {QELSCONF_PRIVILEGED, QELSCONF_GROUP, QELSCONF_NONPRIVILEGED};
enum { LEVEL_COUNT = sizeof LEVELS / sizeof LEVELS[0] };
static_assert(static_cast<int>(LEVEL_COUNT) == static_cast<int>(NAME_SLOTS),
              "the index keeps one item per level");

// What reading one file carries from line to line.
struct reader {
    int mask;
    int level;
    vmsect *section; // NULL until a setting or a header in the mask needs one
    const char *origin;
    int line;
    int settings; // stored, replaced or deleted
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

// The item at slot of a probed name, or NULL.
static vmitem *__probed_item(vmprobe probe, int slot) {
    return probe.entry != NULL ? probe.entry->items[slot] : NULL;
}

template <typename T> static T *__new_node() {
    return static_cast<T *>(OmxMemAlloc(sizeof(T)));
}

// size bytes of the newest block, taking a new block when it lacks them; NULL when out of memory.
static void *__take_room(size_t size) {
    size = (size + alignof(vmitem) - 1) / alignof(vmitem) * alignof(vmitem);
    vmblock *block = m_blocks;
    if (block == NULL || block->size - block->used < size) {
        size_t room = block == NULL ? FIRST_BLOCK : block->size * 2;
        if (room > LARGEST_BLOCK)
            room = LARGEST_BLOCK;
        if (room < size)
            room = size;
        // Every byte is written by the items taken from it, so the block is not zero-filled.
        block = static_cast<vmblock *>(malloc(sizeof(vmblock) + room));
        if (block == NULL)
            return NULL;
        block->next = m_blocks;
        block->used = 0;
        block->size = room;
        m_blocks = block;
    }
    void *taken = reinterpret_cast<char *>(block + 1) + block->used;
    block->used += size;
    return taken;
}

static void __free_blocks(void) {
    while (vmblock *block = m_blocks) {
        m_blocks = block->next;
        free(block);
    }
}

// An item, its name and its first value lie together: an item read from a file (line above 0)
// in a block of the store's, any other in a block of its own; a replaced value lives in a block
// of its own.
static vmitem *__new_item(const char *name, const char *value, size_t value_length,
                          const char *origin, int line) {
    size_t name_size = strlen(name) + 1;
    size_t size = sizeof(vmitem) + name_size + value_length + 1;
    bool pooled = line > 0;
    // Every byte is written here or by __append, so the block is not zero-filled first.
    vmitem *item = static_cast<vmitem *>(pooled ? __take_room(size) : malloc(size));
    if (item != NULL) {
        item->name = reinterpret_cast<char *>(item + 1);
        item->value = item->name + name_size;
        memcpy(item->name, name, name_size);
        memcpy(item->value, value, value_length + 1);
        item->origin = origin;
        item->line = line;
        item->pooled = pooled;
        item->value_apart = false;
    }
    return item;
}

static void __free_item(vmitem *item) {
    if (item->value_apart)
        OmxMemFree(item->value);
    if (!item->pooled)
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

// Terminates text where the blanks that end text[0 .. end) begin.
static void __trim_end(char *text, char *end) {
    while (end > text && __is_blank(end[-1]))
        end--;
    *end = '\0';
}

static char __upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// How much of text a finding quotes, and what marks it as cut.
static int __shown(const char *text) {
    return static_cast<int>(strnlen(text, QUOTE_SIZE));
}

static const char *__more(const char *text) {
    return strnlen(text, QUOTE_SIZE + 1) > QUOTE_SIZE ? "..." : "";
}

// Tells the observer a finding on line of origin; nothing outside a file's line.
__attribute__((format(printf, 4, 5))) static void __report(const char *origin, int line,
                                                           int severity, const char *format, ...) {
    if (vmobserve == NULL || line <= 0)
        return;
    char text[FINDING_SIZE];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    for (char *c = text; *c != '\0'; c++) // a file's bytes must not drive the observer's terminal
        if (static_cast<unsigned char>(*c) < ' ' || *c == '\x7f')
            *c = '?';
    vmobserve->finding(vmobserve->data, origin, line, severity, text);
}

// A copy of path that lives as long as the store, or NULL when out of memory.
static const char *__intern(const char *path) {
    size_t size = strlen(path) + 1;
    vmorigin *node = static_cast<vmorigin *>(OmxMemAlloc(sizeof(vmorigin) + size));
    if (node == NULL)
        return NULL;
    char *copy = reinterpret_cast<char *>(node + 1);
    memcpy(copy, path, size);
    node->next = m_origins;
    m_origins = node;
    return copy;
}

static void __free_origins(void) {
    while (vmorigin *node = m_origins) {
        m_origins = node->next;
        OmxMemFree(node);
    }
}

// The store's item of the highest level, else the environment, else "".
static const char *__resolve(const char *name, const char *origin, int line) {
    if (const vmname *entry = psfindname(&m_names, name))
        for (int slot = LEVEL_COUNT - 1; slot >= 0; slot--)
            if (entry->items[slot] != NULL)
                return entry->items[slot]->value;
    const char *value = getenv(name);
    if (value != NULL)
        return value;
    __report(origin, line, VM_WARNING, "'$%.*s%s' is not set here: it expands to nothing",
             __shown(name), name, __more(name));
    return "";
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

// A file is taken to add one name for every so many of its bytes, as settings of an ordinary
// length do; a reservation covers at most so many names, whatever the file.
static const long long FILE_BYTES_PER_NAME = 32;
static const long long MOST_NAMES_RESERVED = 1 << 20;

void psreserverc(long long size) {
    if (vmrootp == NULL || size < FILE_BYTES_PER_NAME)
        return;
    long long names = size / FILE_BYTES_PER_NAME;
    // Without the room the index grows name by name as before.
    psreservenames(&m_names,
                   static_cast<size_t>(names < MOST_NAMES_RESERVED ? names : MOST_NAMES_RESERVED));
}

size_t fsnamecount(void) {
    return m_names.used;
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
    __free_origins();
    __free_blocks();
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

// Appends name with its already expanded, non-empty value of length bytes; probe is what probing
// the index for name (of that hash) gave.
static vmitem *__append(vmsect *sect, int slot, const char *name, const char *expanded,
                        size_t length, const char *origin, int line, vmprobe probe, uint32_t hash) {
    vmitem *item = __new_item(name, expanded, length, origin, line);
    if (item == NULL) {
        vmlost++;
        return NULL;
    }
    if (!psaddname(&m_names, probe, hash, slot, item)) {
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

// Gives item its already expanded value, or deletes it when that is empty; false when
// memory ran out and the old value stays.
static bool __replace(vmitem *item, const char *expanded, const char *origin, int line) {
    if (expanded[0] == '\0') {
        psdelitem(item);
        return true;
    }
    char *copy = OmxStrDup(expanded);
    if (copy == NULL) {
        vmlost++;
        return false;
    }
    if (item->value_apart)
        OmxMemFree(item->value);
    item->value = copy;
    item->value_apart = true;
    item->origin = origin;
    item->line = line;
    return true;
}

// Tells that a setting on line of origin replaces or deletes item.
static void __report_replacing(const vmitem *item, const char *expanded, const char *origin,
                               int line) {
    if (vmobserve == NULL || line <= 0)
        return;
    char earlier[FINDING_SIZE];
    if (item->line > 0)
        snprintf(earlier, sizeof earlier, "the value from %s:%d", item->origin, item->line);
    else
        snprintf(earlier, sizeof earlier, "the %s value", item->origin);
    const char *name = item->name;
    if (expanded[0] == '\0')
        __report(origin, line, VM_NOTE, "'%.*s%s' is empty: it deletes %s", __shown(name), name,
                 __more(name), earlier);
    else
        __report(origin, line, VM_NOTE, "'%.*s%s' replaces %s", __shown(name), name, __more(name),
                 earlier);
}

// fsevalval, telling what it finds on line of origin; the length of the result.
static size_t __expand(const char *source, char *destination, int size, const char *origin,
                       int line);

vmitem *fsnewitem(vmsect *sect, const char *name, const char *value) {
    if (sect == NULL || name == NULL || vmrootp == NULL)
        return NULL;
    int slot = __slot(sect->level);
    char expanded[CONF_VALUE_SIZE];
    size_t length = slot < 0 ? 0 : __expand(value, expanded, sizeof expanded, NULL, 0);
    if (length == 0)
        return NULL;
    uint32_t hash = pshashname(name);
    vmprobe probe = psprobename(&m_names, name, hash);
    if (__probed_item(probe, slot) != NULL)
        return NULL;
    return __append(sect, slot, name, expanded, length, VM_ORIGIN_PROGRAM, 0, probe, hash);
}

int fsrepitem(vmitem *item, const char *name, const char *value) {
    if (item == NULL || item->name == NULL || name == NULL || strcmp(item->name, name) != 0)
        return 0;
    // Expanded before the old value goes: the value may refer to its own name.
    char expanded[CONF_VALUE_SIZE];
    fsevalval(value, expanded, sizeof expanded);
    __replace(item, expanded, VM_ORIGIN_PROGRAM, 0);
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

bool psstoreitem(vmsect *sect, const char *name, const char *value, const char *origin, int line) {
    if (sect == NULL || name == NULL || vmrootp == NULL)
        return false;
    int slot = __slot(sect->level);
    if (slot < 0)
        return false;
    // The value is expanded before the lookup (it reads the store as it was either
    // way), so that the name's index entry arrives from memory meanwhile.
    uint32_t hash = pshashname(name);
    psprefetchname(&m_names, hash);
    char expanded[CONF_VALUE_SIZE];
    size_t length = __expand(value, expanded, sizeof expanded, origin, line);
    vmprobe probe = psprobename(&m_names, name, hash);
    if (vmitem *item = __probed_item(probe, slot)) {
        __report_replacing(item, expanded, origin, line);
        return __replace(item, expanded, origin, line);
    }
    return length > 0 &&
           __append(sect, slot, name, expanded, length, origin, line, probe, hash) != NULL;
}

int fsevalval(const char *source, char *destination, int size) {
    return __expand(source, destination, size, NULL, 0) > 0;
}

static size_t __expand(const char *source, char *destination, int size, const char *origin,
                       int line) {
    if (destination == NULL || size < 1)
        return 0;
    destination[0] = '\0';
    if (source == NULL || source[0] == '\0')
        return 0;

    const size_t limit = static_cast<size_t>(size) - 1;
    size_t length = strnlen(source, limit);
    memcpy(destination, source, length);
    destination[length] = '\0';
    bool cut = length == limit && source[length] != '\0';

    size_t scan = 0;
    while (char *dollar = static_cast<char *>(memchr(destination + scan, '$', length - scan))) {
        size_t start = static_cast<size_t>(dollar - destination);
        bool braced = destination[start + 1] == '{';
        size_t name = start + (braced ? 2 : 1);
        size_t end = name;
        while (__is_name_char(destination[end]))
            end++;
        if (braced && destination[end] != '}') { // "${NAME" without "}", or "${" without a name
            size_t shown = end - name;
            if (shown > QUOTE_SIZE)
                shown = QUOTE_SIZE;
            __report(origin, line, VM_ERROR, "unclosed '${%.*s%s': it stays as written",
                     static_cast<int>(shown), destination + name, end - name > shown ? "..." : "");
            scan = end;
            continue;
        }
        if (end == name) { // "$-", "${}", a lone "$": no reference
            scan = name;
            continue;
        }
        size_t after = braced ? end + 1 : end;

        // The name is terminated in place for the lookup; the text found
        // lies in the store or the environment, never in destination.
        char saved = destination[end];
        destination[end] = '\0';
        const char *text = __resolve(destination + name, origin, line);
        destination[end] = saved;

        size_t inserted = strlen(text);
        if (inserted > limit - start) {
            inserted = limit - start;
            cut = true;
        }
        size_t tail = length - after;
        if (tail > limit - start - inserted) {
            tail = limit - start - inserted;
            cut = true;
        }
        memmove(destination + start + inserted, destination + after, tail);
        memcpy(destination + start, text, inserted);
        length = start + inserted + tail;
        destination[length] = '\0';
        scan = start + inserted; // inserted text is never expanded again
    }
    if (cut)
        __report(origin, line, VM_WARNING, "the value is cut at %zu characters", limit);
    return length;
}

// True when one of the names (split at commas and blanks) is a group of the process. With an
// observer every name is looked up, so that each unknown one is told; only the lookups made
// without one decide, and count what memory does not allow.
static bool __names_own_group(char *names, const reader *state) {
    int count = getgroups(0, NULL);
    bool observed = vmobserve != NULL;
    if (count <= 0 && !observed)
        return false;
    gid_t *groups = NULL;
    if (count > 0) {
        groups = static_cast<gid_t *>(OmxMemAlloc(sizeof(gid_t) * static_cast<size_t>(count)));
        if (groups == NULL) {
            vmlost++;
            return false;
        }
        count = getgroups(count, groups);
    }

    static const char separators[] = ", \t\n\v\f\r";
    bool member = false;
    char *rest = NULL;
    for (char *name = strtok_r(names, separators, &rest);
         name != NULL && ((!member && count > 0) || observed);
         name = strtok_r(NULL, separators, &rest)) {
        bool deciding = !member && count > 0;
        errno = 0;
        const struct group *group = getgrnam(name);
        if (group == NULL && errno == ENOMEM) { // not "no such group": the section may apply
            if (deciding)
                vmlost++;
        } else if (group == NULL) {
            __report(state->origin, state->line, VM_WARNING, "no group '%.*s%s' is known here",
                     __shown(name), name, __more(name));
        }
        for (int i = 0; deciding && group != NULL && i < count && !member; i++)
            member = groups[i] == group->gr_gid;
    }
    OmxMemFree(groups);
    return member;
}

// Whether text begins with pattern, ASCII letters of text compared as capitals.
static bool __begins_upper(const char *text, const char *pattern) {
    for (; *pattern != '\0'; text++, pattern++)
        if (__upper(*text) != *pattern)
            return false;
    return true;
}

// Edits (insertions, deletions, substitutions) that turn a, of length shorter than
// KEYWORD_SIZE, compared as capitals, into the shorter known word b.
static int __distance(const char *a, int length, const char *b) {
    int width = static_cast<int>(strlen(b));
    int row[KEYWORD_SIZE];
    for (int j = 0; j <= width; j++)
        row[j] = j;
    for (int i = 1; i <= length; i++) {
        int diagonal = row[0];
        row[0] = i;
        for (int j = 1; j <= width; j++) {
            int above = row[j];
            int best = diagonal + (__upper(a[i - 1]) != b[j - 1]);
            if (above + 1 < best)
                best = above + 1;
            if (row[j - 1] + 1 < best)
                best = row[j - 1] + 1;
            row[j] = best;
            diagonal = above;
        }
    }
    return row[width];
}

// The known header nearest to the section name of length letters, or NULL when none is near.
static const char *__nearest_header(const char *name, int length) {
    static const struct {
        const char *name;
        const char *header;
    } KNOWN[] = {{"PRIVILEGED", "[PRIVILEGED]"},
                 {"NONPRIVILEGED", "[NONPRIVILEGED]"},
                 {"GROUP", "[GROUP:...]"}};
    if (length >= KEYWORD_SIZE)
        return NULL;
    const char *nearest = NULL;
    int nearest_distance = INT_MAX;
    for (const auto &known : KNOWN) {
        int distance = __distance(name, length, known.name);
        // A third of the word may be mistyped: "[GENERAL]" or "[PRIV]" is no typing error.
        if (distance * 3 <= static_cast<int>(strlen(known.name)) && distance < nearest_distance) {
            nearest = known.header;
            nearest_distance = distance;
        }
    }
    return nearest;
}

// Where the settings after an ignored header go, as a finding says it.
static const char *__settings_after(const reader *state) {
    if ((state->level & state->mask) == 0)
        return "are skipped, as before it";
    return state->level == QELSCONF_PRIVILEGED ? "stay in the privileged section"
           : state->level == QELSCONF_GROUP    ? "stay in the group section"
                                               : "stay in the non-privileged section";
}

static void __report_ignored_header(const char *text, const char *why, const reader *state) {
    __report(state->origin, state->line, VM_ERROR, "'%.*s%s' %s: the settings after it %s",
             __shown(text), text, __more(text), why, __settings_after(state));
}

// A header that is malformed or unknown leaves the level and section as they were.
static void __read_header(char *text, reader *state) {
    char *stop = strpbrk(text + 1, ":]");
    if (stop == NULL) {
        __report_ignored_header(text, "is no section header (no ']')", state);
        return;
    }
    int level;
    if (__begins_upper(text, "[PRIVILEGED]")) {
        level = QELSCONF_PRIVILEGED;
    } else if (__begins_upper(text, "[NONPRIVILEGED]")) {
        level = QELSCONF_NONPRIVILEGED;
    } else if (__begins_upper(text, "[GROUP") && *stop == ':') {
        char *close = strchr(stop, ']');
        if (close == NULL) {
            __report_ignored_header(text, "is no section header (no ']')", state);
            return;
        }
        *close = '\0';
        level = __names_own_group(stop + 1, state) ? QELSCONF_GROUP : 0; // 0 is in no mask
    } else {
        char why[FINDING_SIZE];
        const char *nearest = __nearest_header(text + 1, static_cast<int>(stop - text - 1));
        snprintf(why, sizeof why, "is an unknown section%s%s%s", nearest ? " (did you mean " : "",
                 nearest ? nearest : "", nearest ? "?)" : "");
        __report_ignored_header(text, why, state);
        return;
    }
    if (level != 0 && (level & state->mask) == 0)
        __report(state->origin, state->line, VM_WARNING,
                 "a %s section is ignored in this file: its settings are not stored",
                 level == QELSCONF_PRIVILEGED ? "privileged"
                 : level == QELSCONF_GROUP    ? "group"
                                              : "non-privileged");
    state->level = level;
    if (level & state->mask)
        state->section = fsgetsect(level);
}

// The setting in text, which ends at end (a terminator).
static void __read_setting(char *text, char *end, reader *state) {
    // A "#" before the first "=" comments the "=" out with the rest of the line.
    char *equals = text;
    while (equals < end && *equals != '=' && *equals != '#')
        equals++;
    if (equals == end || *equals == '#') {
        __report(state->origin, state->line, VM_ERROR,
                 "'%.*s%s' is neither a setting, a section header nor a comment: it is ignored",
                 __shown(text), text, __more(text));
        return;
    }
    if ((state->level & state->mask) == 0)
        return;
    if (state->section == NULL)
        state->section = fsgetsect(state->level);

    char *value = equals + 1;
    if (char *comment = static_cast<char *>(memchr(value, '#', static_cast<size_t>(end - value))))
        __trim_end(value, comment);
    __trim_end(text, equals);
    if (psstoreitem(state->section, text, __skip_blanks(value), state->origin, state->line))
        state->settings++;
}

// Lines of a stream read in blocks, cut as fgets into a CONF_LINE_SIZE buffer would cut them:
// up to and with a '\n', at most CONF_LINE_SIZE - 1 bytes. A line is handed out in place.
struct linereader {
    FILE *stream;
    size_t start; // the unread bytes of buffer
    size_t end;
    bool ended;   // the stream has nothing more to give
    size_t clean; // buffer[0 .. clean) holds no NUL
    char buffer[READ_SIZE];
};

// The next line and its length in bytes, or NULL at the end. After a read error the partial
// line is dropped, as fgets drops it.
static char *__next_line(linereader *reader, size_t *length) {
    for (;;) {
        char *line = reader->buffer + reader->start;
        size_t unread = reader->end - reader->start;
        size_t window = unread < CONF_LINE_SIZE - 1 ? unread : CONF_LINE_SIZE - 1;
        const char *newline = static_cast<const char *>(memchr(line, '\n', window));
        if (newline != NULL || unread >= CONF_LINE_SIZE - 1 ||
            (reader->ended && unread > 0 && !ferror(reader->stream))) {
            *length = newline != NULL ? static_cast<size_t>(newline - line) + 1 : window;
            reader->start += *length;
            return line;
        }
        if (reader->ended)
            return NULL;
        memmove(reader->buffer, line, unread);
        size_t wanted = sizeof reader->buffer - unread;
        size_t got = fread(reader->buffer + unread, 1, wanted, reader->stream);
        reader->start = 0;
        reader->end = unread + got;
        reader->ended = got < wanted;
        // One search of the block spares each line its own search for a NUL.
        const char *nul = static_cast<const char *>(memchr(reader->buffer, '\0', reader->end));
        reader->clean = nul != NULL ? static_cast<size_t>(nul - reader->buffer) : reader->end;
    }
}

int psreadnamed(FILE *stream, int mask, const char *path) {
    if (stream == NULL || vmrootp == NULL)
        return 0;
    const char *origin = VM_ORIGIN_PROGRAM;
    if (path != NULL && (origin = __intern(path)) == NULL) {
        vmlost++;
        return -1;
    }
    reader state = {mask, QELSCONF_NONPRIVILEGED, NULL, origin, 0, 0};
    linereader lines;
    lines.stream = stream;
    lines.start = lines.end = 0;
    lines.ended = false;
    lines.clean = 0;
    char cut[CONF_LINE_SIZE]; // a line without '\n' is terminated apart from what follows it
    bool continued = false;   // the last line ended inside one longer than a line may be
    size_t size;
    while (char *line = __next_line(&lines, &size)) {
        bool clean = line + size <= lines.buffer + lines.clean;
        const char *nul = clean ? NULL : static_cast<const char *>(memchr(line, '\0', size));
        size_t length = nul != NULL ? static_cast<size_t>(nul - line) : size; // NUL ends it
        if (nul == NULL && line[size - 1] != '\n') {
            memcpy(cut, line, size);
            cut[size] = '\0';
            line = cut;
        }
        bool rest = continued;
        continued = length == CONF_LINE_SIZE - 1 && line[length - 1] != '\n';
        if (!rest && state.line < INT_MAX)
            state.line++;
        if (length > 0 && line[length - 1] == '\n')
            line[--length] = '\0';
        if (length > 0 && line[length - 1] == '\r')
            line[--length] = '\0';
        char *text = __skip_blanks(line);
        if (rest && *text != '\0')
            __report(origin, state.line, VM_ERROR,
                     "the line is longer than %d bytes: its rest, '%.*s%s', is read as a line "
                     "of its own",
                     CONF_LINE_SIZE - 1, __shown(text), text, __more(text));
        if (*text == '\0' || *text == '#')
            continue;
        if (*text == '[')
            __read_header(text, &state);
        else
            __read_setting(text, line + length, &state);
    }
    return state.settings;
}

int psreadfile(FILE *stream, int mask) {
    return psreadnamed(stream, mask, NULL);
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
