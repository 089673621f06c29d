/*
 * Building the one process-wide configuration store: which files are read,
 * from where, in which order, and what is exported to the environment.
 *
 * m_rc_filepath points either to RC_DEFAULT_PATH (never freed) or, while
 * m_rc_override is 1, to a heap copy of the path given to QelsConfSetPath.
 */
#ifndef ZORALRCS_LOAD_H
#define ZORALRCS_LOAD_H

#include "zoral_paths.h"

#define RC_DEFAULT_PATH ZORAL_HOME "/sys/conf/qels.conf"
#define RC_LOAD_FAILED 91 /* developer mode found no file to read */
#define RC_NO_MEMORY 12   /* memory ran out before the whole configuration was stored */

extern const char *m_rc_filepath;
extern int m_rc_override;

/* Loads into a new store; 0, or 91 (ending the process instead when fatal is set), or
 * RC_NO_MEMORY without a store. Files that are not regular files or FIFOs, and files others
 * may write, are passed over; the working directory is never changed. */
int fsreadrc(int fatal);
/* 0 when a store exists or was built (exported, block size settled), else fsreadrc's code.
 * Safe to call from several threads at once: one builds, the others wait for it. */
int fscreconf(int fatal);
/* 0 when the store lost nothing for lack of memory; otherwise frees it, so that the next call
 * loads again, and returns RC_NO_MEMORY. */
int fskeepwhole(void);
/* Points m_rc_filepath back to RC_DEFAULT_PATH, releasing a copy in force. */
void psdefaultpath(void);
/* Heap copy of name without blanks at either end, or NULL. */
char *psnamecopy(const char *name);
/* Stores one setting at level (expanded) as coming from origin (a VM_ORIGIN text), exporting it
 * when the level includes 4 and the store took it. */
void psaddrc(const char *name, const char *value, int level, const char *origin);
/* Sets the variable unless __QELSCONF_NOENV is set; without memory for it the variable is
 * removed (and counted in vmlost) rather than left contradicting the store. */
void pssetenv(const char *name, const char *value);
/* Exports every stored setting whose name is not yet an environment variable, the highest
 * level's value where several levels hold the name, unless __QELSCONF_NOENV is set. Installs one
 * new environment array (the old entries, then the new "NAME=value" texts) through environ.
 * The texts are kept for the life of the process, one per distinct setting ever exported and
 * reused when exported again; the array stays until the next export replaces it. When memory
 * runs out, what was exported before stays, the rest is not, and vmlost counts it. */
void pssetenvs(void);

#endif
