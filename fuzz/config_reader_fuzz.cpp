// Arbitrary bytes read as a configuration file: the store keeps its invariants, each setting is
// what a lookup of its level finds, findings are bounded lines, and an observer changes nothing.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <grp.h>

#include <string>

#include "fuzz_check.h"
#include "zoralrcs_internal.h"

static void __told(void *, const char *path, int line, int, const char *text) {
    FUZZ_CHECK(!strcmp(path, "f") && line > 0 && strlen(text) < 512 && !strpbrk(text, "\n\r\x1b"));
}
// A group database of two groups, the process in staff: no lookup leaves the process, so runs
// are fast and the same on every machine.
extern "C" int getgroups(int size, gid_t list[]) noexcept {
    if (size > 0)
        list[0] = 50;
    return 1;
}
extern "C" struct group *getgrnam(const char *name) {
    static struct group entry;
    entry.gr_gid = strcmp(name, "staff") == 0 ? 50 : 100;
    return strcmp(name, "staff") == 0 || strcmp(name, "users") == 0 ? &entry : NULL;
}

static const vmobserver OBSERVER = {NULL, __told, NULL};

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    clearenv(); // lookups then answer from the store alone
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string listings[2];
    for (int observed = 0; observed < 2; observed++) {
        vmobserve = observed ? &OBSERVER : NULL;
        psinitrc();
        FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "r");
        psreadnamed(size > 0 ? stream : NULL, 7, "f");
        if (stream != NULL)
            fclose(stream);
        for (const vmsect *sect = vmrootp->next; sect != vmrootp; sect = sect->next) {
            FUZZ_CHECK(sect->next->prev == sect &&
                       (sect->next == vmrootp || sect->next->level > sect->level));
            for (const vmitem *item = sect->items->next; item != sect->items; item = item->next) {
                FUZZ_CHECK(item->next->prev == item && item->value[0] != '\0' &&
                           strlen(item->value) < CONF_VALUE_SIZE && !strcmp(item->origin, "f"));
                FUZZ_CHECK(fscheckrc(item->name, sect->level) == item->value && item->line > 0);
                listings[observed] +=
                    std::to_string(sect->level) + item->name + "=" + item->value + "\n";
            }
        }
        psdeleterc();
    }
    FUZZ_CHECK(listings[0] == listings[1]);
    return 0;
}
