// The native methods of ZORALlocal: load the XML API library once, carry
// requests to it, report the kernel's version, and raise Java exceptions.
#include "vaxolocal.h"

#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "mutf8.h"
#include "qels.h"
#include "qelsconf.h"
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
static const char OUT_OF_MEMORY_CLASS[] = "java/lang/OutOfMemoryError";

// Serialises initialisations; the published pUkvLibrary lets later calls skip it.
static pthread_mutex_t m_init_lock = PTHREAD_MUTEX_INITIALIZER;

enum { PREFIX_SIZE = 768, PATH_SIZE = 1024, ERROR_SIZE = 256, VERSION_SIZE = 256 };

static DynLibHandle *__load_ukv(const char *format, const char *prefix) {
    char path[PATH_SIZE];
    DynLibHandle *lib = NULL;
    snprintf(path, sizeof path, format, prefix);
    LoadDynLib(path, &lib);
    return lib;
}

// Takes the loader's pending text into error, or fallback when it has none.
static void __loader_error(char *error, const char *fallback) {
    GetDynLoadError(error, ERROR_SIZE);
    if (error[0] == '\0')
        snprintf(error, ERROR_SIZE, "%s", fallback);
}

// Resolves the entry points into the exported variables, the handle last, so
// that a thread seeing pUkvLibrary set also sees both functions. Returns true
// when both resolved; otherwise error holds the first failure's text.
static bool __resolve_ukv(DynLibHandle *lib, char *error) {
    QelXmlApiFn api = NULL;
    QelXmlReleaseFn release = NULL;
    error[0] = '\0';
    // Each lookup replaces the loader's text, so the first failure's is taken at once.
    if (LoadProc(lib, "", "QelXmlApi", reinterpret_cast<void **>(&api)) != 0)
        __loader_error(error, MSG_NO_FUNCTIONS);
    if (LoadProc(lib, "", "QelXmlRelease", reinterpret_cast<void **>(&release)) != 0 &&
        error[0] == '\0')
        __loader_error(error, MSG_NO_FUNCTIONS);
    __atomic_store_n(&pQelXmlApi, api, __ATOMIC_RELEASE);
    __atomic_store_n(&pQelXmlRelease, release, __ATOMIC_RELEASE);
    if (error[0] != '\0') {
        UnloadDynLib(lib);
        return false;
    }
    __atomic_store_n(&pUkvLibrary, lib, __ATOMIC_RELEASE);
    return true;
}

// The body of ukvInit, run by one thread at a time; false with error filled on failure.
static bool __init_ukv(char *error) {
    char prefix[PREFIX_SIZE] = {0};
    if (pUkvLibrary != NULL) // another thread finished while this one waited
        return true;

    // A value too long for the prefix is treated as absent: the bare names are tried.
    const char *dir = QueryRCS("QELS_EXE", QELSCONF_ALL_LEVELS);
    if (dir != NULL && dir[0] != '\0' && strlen(dir) <= PREFIX_SIZE - 2)
        snprintf(prefix, sizeof prefix, "%s/", dir);

    DynLibHandle *lib = __load_ukv("%sukv.so", prefix);
    if (lib == NULL)
        lib = __load_ukv("%szoralukv.so", prefix);
    if (lib == NULL)
        lib = __load_ukv("%s", UKV_FIXED_PATH);
    if (lib == NULL) {
        __loader_error(error, MSG_NO_LIBRARY);
        return false;
    }
    return __resolve_ukv(lib, error);
}

// A Java string of text, which need not be modified UTF-8; NULL with an error pending.
static jstring __new_string(JNIEnv *env, const char *text) {
    char *copy = NULL;
    const char *modified = mutf8text(text, &copy);
    if (modified == NULL) {
        throwJavaException(env, OUT_OF_MEMORY_CLASS, NULL);
        return NULL;
    }
    jstring result = env->NewStringUTF(modified);
    free(copy);
    return result;
}

extern "C" {

void throwJavaException(JNIEnv *env, const char *className, const char *message) {
    if (env == NULL)
        return;
    char name[256];
    char *copy = NULL;
    const char *text = mutf8text(message, &copy);
    if (message != NULL && text == NULL) // no memory to convert the message
        className = OUT_OF_MEMORY_CLASS;
    snprintf(name, sizeof name, "%s",
             className != NULL && className[0] != '\0' ? className : "java/lang/Exception");
    env->ExceptionDescribe();
    env->ExceptionClear();
    jclass cls = env->FindClass(name);
    if (cls != NULL)
        env->ThrowNew(cls, text);
    free(copy);
}

JNIEXPORT void JNICALL Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvInit(JNIEnv *env,
                                                                                      jclass) {
    if (__atomic_load_n(&pUkvLibrary, __ATOMIC_ACQUIRE) != NULL)
        return;
    char error[ERROR_SIZE];
    pthread_mutex_lock(&m_init_lock);
    bool done = __init_ukv(error);
    pthread_mutex_unlock(&m_init_lock);
    // Raised outside the lock: the virtual machine's work here must not hold up other threads.
    if (!done)
        throwJavaException(env, QEL_EXCEPTION_CLASS, error);
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

    QelXmlApiFn api = __atomic_load_n(&pQelXmlApi, __ATOMIC_ACQUIRE);
    QelXmlReleaseFn release = __atomic_load_n(&pQelXmlRelease, __ATOMIC_ACQUIRE);
    const char *missing = api == NULL ? MSG_NO_API : release == NULL ? MSG_NO_RELEASE : NULL;
    if (missing != NULL) {
        env->ReleaseStringUTFChars(request, text);
        throwJavaException(env, QEL_EXCEPTION_CLASS, missing);
        return NULL; // no JNI call may follow a pending exception; Java sees only the exception
    }

    api(text, &answer);
    // The request stays valid until the answer has been converted.
    jstring result = __new_string(env, answer != NULL ? answer : "");
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
    return __new_string(env, version);
}

} // extern "C"
