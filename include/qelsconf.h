/*
 * The process-wide configuration, read from the installation's configuration
 * files into sections of three privilege levels.
 *
 * Levels are single bits; a mask of levels is their bitwise OR. In a lookup
 * mask, QELSCONF_NONPRIVILEGED also puts the process environment before the
 * stored settings, and QELSCONF_ALL_LEVELS admits every level and the
 * environment. Where a name is stored at several admitted levels, the highest
 * level wins: non-privileged over group over privileged.
 */
#ifndef VAXOLOCAL_QELSCONF_H
#define VAXOLOCAL_QELSCONF_H

#include "omx_export.h"

#define QELSCONF_PRIVILEGED 1    /* "[PRIVILEGED]" sections */
#define QELSCONF_GROUP 2         /* "[GROUP:names]" sections naming a group of the process */
#define QELSCONF_NONPRIVILEGED 4 /* "[NONPRIVILEGED]" sections and text before any header */
/* Every level: the mask of a plain lookup and of files that may set anything. */
#define QELSCONF_ALL_LEVELS (QELSCONF_PRIVILEGED | QELSCONF_GROUP | QELSCONF_NONPRIVILEGED)
/* What a user's own file may set: no privileged section counts there. */
#define QELSCONF_USER_LEVELS (QELSCONF_GROUP | QELSCONF_NONPRIVILEGED)

/*
 * The configuration is loaded by the first call that needs it and stays until
 * QelsConfRemove or QelsConfSetPath. Texts handed out point into the store or
 * the environment: never free or change them. Threads that race to the first
 * load share one; beyond that, use these functions from one thread at a time.
 */
OMX_BEGIN_DECLS

/* Loads the configuration unless there is one. In developer mode a file that
 * cannot be read ends the process with status 91. When memory runs out before
 * the whole configuration is stored, none is kept and the next call loads
 * again: lookups meanwhile find nothing rather than a part. */
OMX_API void QelsConfCreate(void);
/* Frees the configuration; the environment keeps what was exported. */
OMX_API void QelsConfRemove(void);
/* Sets a non-privileged setting and its environment variable, or, with a NULL
 * or empty value, removes the setting and empties the variable. Without
 * memory the old setting stays; a variable that cannot be set is removed. */
OMX_API void QelsConfUpdate(const char *name, const char *value);
/* The value of name under mask, or NULL. */
OMX_API char *QelsConfQuery(const char *name, int mask);
/* Writes every section and setting to standard output. */
OMX_API void QelsConfPrint(void);
/* Starts a listing: privileged, group, then non-privileged settings, each in order. */
OMX_API void QelsConfStart(void);
/* The next setting's name, its level in *level and value in *value; NULL at the
 * end, without a listing, or once the setting under the cursor was deleted or
 * the configuration freed. */
OMX_API char *QelsConfNext(int *level, char **value);
/* Frees the configuration and, with a path, reloads it reading path as the
 * system file (unless the data area holds one); NULL or "" restores the
 * default search for the next load. Without memory for a copy of the path
 * nothing is loaded and the search in force stays. */
OMX_API void QelsConfSetPath(const char *path);
/* 1 when a configuration exists or could be loaded, 0 when developer mode
 * failed or memory ran out; never ends the process. */
OMX_API int QelsConfExists(void);

OMX_END_DECLS

#endif
