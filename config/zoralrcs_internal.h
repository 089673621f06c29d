/* PROVISIONAL: replaced by the reader's own header when it lands. */
#ifndef ZORALRCS_INTERNAL_H
#define ZORALRCS_INTERNAL_H
#include <stdio.h>
struct vmitem {
    vmitem *next;
    vmitem *prev;
    char *name;
    char *value;
};
struct vmsect {
    vmsect *next;
    vmsect *prev;
    int level;
    vmitem *items;
};
extern vmsect *vmrootp;
extern unsigned long vmgeneration;
void psinitrc(void);
void psdeleterc(void);
vmsect *fsgetsect(int level);
vmitem *fsnewitem(vmsect *sect, const char *name, const char *raw);
int fsrepitem(vmitem *item, const char *name, const char *raw);
void psdelitem(vmitem *item);
int fsevalval(const char *src, char *dst, int size);
void psreadfile(FILE *fp, int mask);
char *fscheckrc(const char *name, int mask);
#endif
