/* The benchmark's yardstick: the least a JNI method carrying a string through
 * native code must do, the same conversions in the same order as ukvCall. */
#include <jni.h>

JNIEXPORT jstring JNICALL Java_BridgeBench_bareEcho(JNIEnv *env, jclass cls, jstring request) {
    (void)cls;
    const char *text = (*env)->GetStringUTFChars(env, request, NULL);
    if (text == NULL)
        return NULL;
    jstring result = (*env)->NewStringUTF(env, text);
    (*env)->ReleaseStringUTFChars(env, request, text);
    return result;
}
