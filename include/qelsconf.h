/* PROVISIONAL: merged with the reader's header when it lands. */
#ifndef QELSCONF_H
#define QELSCONF_H

#include "omx_export.h"

#define QELSCONF_PRIVILEGED 1
#define QELSCONF_GROUP 2
#define QELSCONF_NONPRIVILEGED 4

OMX_BEGIN_DECLS

OMX_API void QelsConfCreate(void);
OMX_API void QelsConfRemove(void);
OMX_API void QelsConfUpdate(const char *name, const char *value);
OMX_API char *QelsConfQuery(const char *name, int mask);
OMX_API void QelsConfPrint(void);
OMX_API void QelsConfStart(void);
OMX_API char *QelsConfNext(int *level, char **value);
OMX_API void QelsConfSetPath(const char *path);
OMX_API int QelsConfExists(void);

OMX_END_DECLS

#endif
