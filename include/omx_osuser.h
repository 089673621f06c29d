/*
 * The real user of the process (getuid()): its login name and the names of
 * the groups it belongs to, from the platform's user and group databases.
 *
 * Failures return -1. Where a message is given it names the function and a
 * fixed place number ("OmxGetUserGroups line 65: ...") and is written, cut
 * to size, only into a non-NULL error buffer with a positive size.
 */
#ifndef VAXOLOCAL_OMX_OSUSER_H
#define VAXOLOCAL_OMX_OSUSER_H

#include <stdint.h>

#include "omx_export.h"

OMX_BEGIN_DECLS

/*
 * Copies the login name into user, cut to userSize - 1 characters. The
 * second output is cleared to "" when given; it has no content on this
 * platform and its size is not used. A NULL user or a userSize of 0 is
 * refused with a message; a user without an account entry gives -1 and no
 * message. 0 on success.
 */
OMX_API int OmxGetOSUser(char *user, unsigned int userSize, char *second, unsigned int secondSize,
                         char *errbuf, int errsize);

/*
 * Sets *groups to a new list of group names, in the order the platform gives
 * them (the primary group first), and *count to the number of names. The list
 * always ends with a NULL slot; release it with OmxFreeUserGroups(). A group
 * id without a group entry is skipped, with its message left in errbuf, and
 * the call still succeeds; a lookup that fails for lack of memory fails the
 * call. A user in no group at all may get 0 with *groups NULL. On failure
 * *groups is NULL and *count 0: nothing is left to release. The account is
 * read into the call's own storage, so lookups on other threads cannot change
 * whose groups are listed.
 */
OMX_API int OmxGetUserGroups(char ***groups, int32_t *count, char *errbuf, int errsize);

/* Releases a list from OmxGetUserGroups(); NULL is ignored. */
OMX_API void OmxFreeUserGroups(char **groups);

OMX_END_DECLS

#endif
