// Arbitrary bytes read as a configuration file: the store keeps its invariants and each
// setting is what a lookup of its own level finds.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fuzz_check.h"
#include "zoralrcs_internal.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    clearenv(); // lookups then answer from the store alone
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    psinitrc();
    FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "r");
    psreadfile(size > 0 ? stream : NULL, 7);
    if (stream != NULL)
        fclose(stream);
    for (const vmsect *sect = vmrootp->next; sect != vmrootp; sect = sect->next) {
        FUZZ_CHECK(sect->next->prev == sect &&
                   (sect->next == vmrootp || sect->next->level > sect->level));
        for (const vmitem *item = sect->items->next; item != sect->items; item = item->next) {
            FUZZ_CHECK(item->next->prev == item && item->value[0] != '\0' &&
                       strlen(item->value) < CONF_VALUE_SIZE);
            FUZZ_CHECK(fscheckrc(item->name, sect->level) == item->value);
        }
    }
    psdeleterc();
    return 0;
}
