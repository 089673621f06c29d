// Native methods of BridgeTest that call throwJavaException directly.
#include "vaxolocal.h"

static const char *__chars(JNIEnv *env, jstring s) {
    return s != NULL ? env->GetStringUTFChars(s, NULL) : NULL;
}

static void __release(JNIEnv *env, jstring s, const char *chars) {
    if (s != NULL)
        env->ReleaseStringUTFChars(s, chars);
}

extern "C" JNIEXPORT void JNICALL Java_BridgeTest_throwVia(JNIEnv *env, jclass, jstring cls,
                                                           jstring message, jboolean pending) {
    const char *c = __chars(env, cls);
    const char *m = __chars(env, message);
    if (pending)
        env->ThrowNew(env->FindClass("java/lang/IllegalStateException"), "already pending");
    throwJavaException(env, c, m);
    __release(env, cls, c);
    __release(env, message, m);
}
