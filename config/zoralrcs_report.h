/*
 * What the loader and the reader do, told to an observer as they do it, and
 * where each stored setting came from: the configuration tool's view of a
 * load. Internal to the library (hidden, like every name here); only the
 * tool sets an observer. Without one, reporting costs a test of a NULL
 * pointer per file and per finding.
 *
 * Every item records where its value came from (vmitem's origin and line):
 * the file and line of the setting that last gave it its value, or one of
 * the origin texts below for values the library makes itself. A file's
 * origin text belongs to the store and lives as long as it does.
 */
#ifndef ZORALRCS_REPORT_H
#define ZORALRCS_REPORT_H

extern const char VM_ORIGIN_DERIVED[];    /* "derived": QELS_HOME, from the installation */
extern const char VM_ORIGIN_BLOCK_SIZE[]; /* "block size": the normalised QELS_BLOCK_SIZE */
extern const char VM_ORIGIN_PROGRAM[];    /* "program": set through QelsConfUpdate */

/* The fate of one file or directory the loader considered. */
enum vmfate {
    VM_FATE_READ,           /* read: the mask and the number of settings taken are given */
    VM_FATE_MISSING,        /* not there */
    VM_FATE_NOT_REGULAR,    /* a device, socket or directory where a file belongs, or the reverse */
    VM_FATE_OTHERS_WRITE,   /* others may write it, so it is passed over */
    VM_FATE_UNREADABLE,     /* there, but it could not be opened or read (why: the error) */
    VM_FATE_DIR_CHOSEN,     /* the drop-in directory, read next (why: how it was found) */
    VM_FATE_DIR_NOT_CHOSEN, /* a drop-in directory not used (why: the reason) */
};

enum vmseverity { VM_NOTE, VM_WARNING, VM_ERROR };

struct vmobserver {
    /* One file or directory considered, in reading order, once its fate is known (a
     * file after it was read). mask: the levels read from it; settings: how many
     * settings it stored, replaced or deleted; why: a short text, or NULL. */
    void (*source)(void *data, const char *path, int fate, int mask, int settings, const char *why);
    /* One finding on line (from 1) of the file being read, path as source will name it;
     * text is one line without its line feed. */
    void (*finding)(void *data, const char *path, int line, int severity, const char *text);
    void *data;
};

/* The observer in force, or NULL. Set from one thread, before a load. */
extern const vmobserver *vmobserve;

/*
 * Reads the file at path into the store as the loader reads each file (passed
 * over when missing, not a regular file or FIFO, or writable by others),
 * storing the settings of the levels in mask and telling the observer its
 * fate and findings. True when it was read.
 */
bool psreadpath(const char *path, int mask);

#endif
