// The exported configuration API: thin entry points over the store and its loader.
//
// The listing cursor (vmsectp, vmitemp) is trusted only while the store has not
// lost a node since the cursor last moved (vmgeneration); otherwise it is checked
// against the live store first, and a cursor that points at nothing alive ends
// the listing.
#include "qelsconf.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "helpers.h"
#include "omx_memory.h"
#include "zoralrcs_internal.h"
#include "zoralrcs_load.h"

static vmsect *vmsectp = NULL;
static vmitem *vmitemp = NULL;
static unsigned long m_cursor_generation = 0;

// Whether the cursor still points into the live store (compares addresses only).
static bool __cursor_alive(void) {
    if (vmrootp == NULL || vmsectp == NULL)
        return false;
    if (vmsectp == vmrootp)
        return true;
    for (vmsect *section = vmrootp->next; section != vmrootp; section = section->next) {
        if (section != vmsectp)
            continue;
        if (vmitemp == section->items)
            return true;
        for (vmitem *item = section->items->next; item != section->items; item = item->next)
            if (item == vmitemp)
                return true;
        return false;
    }
    return false;
}

static void __end_listing(void) {
    vmsectp = NULL;
    vmitemp = NULL;
}

extern "C" {

void QelsConfCreate(void) {
    fscreconf(1);
}

void QelsConfRemove(void) {
    psdeleterc();
    __end_listing();
}

void QelsConfUpdate(const char *name, const char *value) {
    if (vmrootp == NULL)
        QelsConfCreate();
    // Without memory for the configuration, an empty store in its place would hide it for good.
    if (vmrootp == NULL || name == NULL)
        return;
    if (value != NULL && value[0] != '\0') {
        psaddrc(name, value, QELSCONF_NONPRIVILEGED, VM_ORIGIN_PROGRAM);
        return;
    }

    char *trimmed = psnamecopy(name);
    vmsect *section = fsgetsect(QELSCONF_NONPRIVILEGED);
    if (trimmed == NULL || section == NULL) {
        OmxMemFree(trimmed);
        return;
    }
    for (vmitem *item = section->items->next; item != section->items; item = item->next) {
        if (strcmp(item->name, trimmed) == 0) {
            psdelitem(item);
            pssetenv(trimmed, "");
            break;
        }
    }
    OmxMemFree(trimmed);
}

char *QelsConfQuery(const char *name, int mask) {
    QelsConfCreate();
    if (name == NULL || vmrootp == NULL)
        return NULL;
    return fscheckrc(name, mask);
}

void QelsConfPrint(void) {
    QelsConfCreate();
    if (vmrootp == NULL)
        return;
    for (vmsect *section = vmrootp->next; section != vmrootp; section = section->next) {
        printf("Table level : %s\n", __level_label(section->level));
        for (vmitem *item = section->items->next; item != section->items; item = item->next) {
            const char *value = item->value;
            if (section->level != QELSCONF_PRIVILEGED) {
                const char *exported = getenv(item->name);
                if (exported != NULL)
                    value = exported;
            }
            printf("\t%s\t%s\n", item->name, value);
        }
    }
}

void QelsConfStart(void) {
    QelsConfCreate();
    if (vmrootp == NULL) {
        __end_listing();
        return;
    }
    vmsectp = vmrootp->next;
    vmitemp = vmsectp == vmrootp ? NULL : vmsectp->items->next;
    m_cursor_generation = vmgeneration;
}

char *QelsConfNext(int *level, char **value) {
    if (vmrootp == NULL || vmsectp == NULL)
        return NULL;
    if (m_cursor_generation != vmgeneration) {
        if (!__cursor_alive()) {
            __end_listing();
            return NULL;
        }
        m_cursor_generation = vmgeneration;
    }
    while (vmsectp != vmrootp && vmitemp == vmsectp->items) {
        vmsectp = vmsectp->next;
        vmitemp = vmsectp == vmrootp ? NULL : vmsectp->items->next;
    }
    if (vmsectp == vmrootp)
        return NULL;

    vmitem *item = vmitemp;
    vmitemp = item->next;
    if (level != NULL)
        *level = vmsectp->level;
    if (value != NULL)
        *value = item->value;
    return item->name;
}

void QelsConfSetPath(const char *path) {
    if (vmrootp != NULL)
        QelsConfRemove();
    if (path == NULL || path[0] == '\0') {
        psdefaultpath();
        return;
    }
    char *copy = OmxStrDup(path);
    if (copy == NULL) // without memory for the path, load nothing rather than another file
        return;
    psdefaultpath();
    m_rc_filepath = copy;
    m_rc_override = 1;
    if (fsreadrc(1) == 0) {
        pssetenvs();
        fskeepwhole();
    }
}

int QelsConfExists(void) {
    return fscreconf(0) == 0;
}

} // extern "C"
