/*
 * The Java native bridge of com.brantexa.zoral.vaxo.internal.local.ZORALlocal.
 *
 * pUkvLibrary is non-NULL exactly when the XML API library is loaded and both
 * of its entry points are resolved. The three variables are written only by
 * ukvInit, under a process-wide lock: threads that call it at once load the
 * library once, and after a success ukvInit returns at the cost of one load.
 * pUkvLibrary is published last, so a thread that sees it set sees both
 * entry points. Answers and exception texts reach the virtual machine as
 * modified UTF-8 whatever their bytes (4-byte sequences as surrogate pairs,
 * stray bytes as U+FFFD).
 */
#ifndef VAXOLOCAL_VAXOLOCAL_H
#define VAXOLOCAL_VAXOLOCAL_H

#include <jni.h>

#include "dynlib.h"
#include "omx_export.h"

#define QEL_EXCEPTION_CLASS "com/brantexa/zoral/vaxo/QelException"

/* Fills *answer with a NUL-terminated text owned by the XML API library. */
typedef int (*QelXmlApiFn)(const char *request, char **answer);
/* Resolved and required, never called by the bridge. */
typedef void (*QelXmlReleaseFn)(void);

OMX_BEGIN_DECLS

OMX_API extern DynLibHandle *pUkvLibrary;
OMX_API extern QelXmlApiFn pQelXmlApi;
OMX_API extern QelXmlReleaseFn pQelXmlRelease;

/*
 * Prints and clears any exception pending in env, then raises one of
 * className (NULL or "" for java/lang/Exception) with message. When the class
 * cannot be found the virtual machine's own lookup error stays pending.
 */
OMX_API void throwJavaException(JNIEnv *env, const char *className, const char *message);

JNIEXPORT void JNICALL Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvInit(JNIEnv *env,
                                                                                      jclass cls);
JNIEXPORT jstring JNICALL Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvCall(
    JNIEnv *env, jclass cls, jstring request);
JNIEXPORT jstring JNICALL
Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_kernelVersion(JNIEnv *env, jclass cls);

OMX_END_DECLS

#endif
