// The native methods of ZORALlocal: load the XML API library once, carry
// requests to it, report the kernel's version, and raise Java exceptions.
#include "vaxolocal.h"

#include <stdio.h>
#include <string.h>

#include "qels.h"
#include "zoral_paths.h"

DynLibHandle *pUkvLibrary = NULL;
QelXmlApiFn pQelXmlApi = NULL;
QelXmlReleaseFn pQelXmlRelease = NULL;

static const char UKV_FIXED_PATH[] = ZORAL_HOME "/sys/lib/libzoralukv.so";
static const char MSG_NO_LIBRARY[] = "Unknown error loading UKV library.";
static const char MSG_NO_FUNCTIONS[] = "Unknown error loading UKV functions.";
static const char MSG_NO_API[] = "QelXmlApi function from ZORALukv shared library not loaded.";
static const char MSG_NO_RELEASE[] =
    "QelXmlRelease function from ZORALukv shared library not loaded.";

enum { PREFIX_SIZE = 768, PATH_SIZE = 1024, ERROR_SIZE = 256, VERSION_SIZE = 256 };

static bool __load_ukv(const char *format, const char *prefix) {
    char path[PATH_SIZE];
    snprintf(path, sizeof path, format, prefix);
    LoadDynLib(path, &pUkvLibrary);
    return pUkvLibrary != NULL;
}

static void __throw_loader_error(JNIEnv *env, const char *fallback) {
    char error[ERROR_SIZE];
    GetDynLoadError(error, sizeof error);
    throwJavaException(env, QEL_EXCEPTION_CLASS, error[0] != '\0' ? error : fallback);
}

extern "C" {

void throwJavaException(JNIEnv *env, const char *className, const char *message) {
    if (env == NULL)
        return;
    char name[256];
    snprintf(name, sizeof name, "%s",
             className != NULL && className[0] != '\0' ? className : "java/lang/Exception");
    env->ExceptionDescribe();
    env->ExceptionClear();
    jclass cls = env->FindClass(name);
    if (cls != NULL)
        env->ThrowNew(cls, message);
}

JNIEXPORT void JNICALL Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvInit(JNIEnv *env,
                                                                                      jclass) {
    char prefix[PREFIX_SIZE] = {0};
    if (pUkvLibrary != NULL)
        return;

    // A value too long for the prefix is treated as absent: the bare names are tried.
    const char *dir = QueryRCS("QELS_EXE", 7);
    if (dir != NULL && dir[0] != '\0' && strlen(dir) <= PREFIX_SIZE - 2)
        snprintf(prefix, sizeof prefix, "%s/", dir);

    if (!__load_ukv("%sukv.so", prefix) && !__load_ukv("%szoralukv.so", prefix) &&
        !__load_ukv("%s", UKV_FIXED_PATH)) {
        __throw_loader_error(env, MSG_NO_LIBRARY);
        return;
    }

    LoadProc(pUkvLibrary, "", "QelXmlApi", reinterpret_cast<void **>(&pQelXmlApi));
    LoadProc(pUkvLibrary, "", "QelXmlRelease", reinterpret_cast<void **>(&pQelXmlRelease));
    if (pQelXmlApi != NULL && pQelXmlRelease != NULL)
        return;

    char error[ERROR_SIZE];
    GetDynLoadError(error, sizeof error);
    UnloadDynLib(pUkvLibrary);
    pUkvLibrary = NULL;
    throwJavaException(env, QEL_EXCEPTION_CLASS, error[0] != '\0' ? error : MSG_NO_FUNCTIONS);
}

JNIEXPORT jstring JNICALL Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvCall(
    JNIEnv *env, jclass, jstring request) {
    if (request == NULL) {
        throwJavaException(env, "java/lang/NullPointerException", "request");
        return NULL;
    }
    char *answer = NULL;
    const char *text = env->GetStringUTFChars(request, NULL);
    if (text == NULL) // the virtual machine has an OutOfMemoryError pending
        return NULL;

    const char *missing = pQelXmlApi == NULL       ? MSG_NO_API
                          : pQelXmlRelease == NULL ? MSG_NO_RELEASE
                                                   : NULL;
    if (missing != NULL) {
        env->ReleaseStringUTFChars(request, text);
        throwJavaException(env, QEL_EXCEPTION_CLASS, missing);
        return NULL; // no JNI call may follow a pending exception; Java sees only the exception
    }

    pQelXmlApi(text, &answer);
    // The request stays valid until the answer has been converted.
    jstring result = env->NewStringUTF(answer != NULL ? answer : "");
    env->ReleaseStringUTFChars(request, text);
    return result;
}

JNIEXPORT jstring JNICALL
Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_kernelVersion(JNIEnv *env, jclass) {
    char version[VERSION_SIZE];
    version[0] = '\0';
    int length = VERSION_SIZE - 1;
    if (QelVersion(version, &length) & 1) {
        // A kernel reporting a length beyond its capacity must not move the NUL out of bounds.
        if (length < 0)
            length = 0;
        if (length > VERSION_SIZE - 1)
            length = VERSION_SIZE - 1;
        version[length] = '\0';
    } else {
        version[VERSION_SIZE - 1] = '\0';
    }
    return env->NewStringUTF(version);
}

} // extern "C"
