// The native methods' calls, in order, against a recording JNI environment and a scripted kernel.
#include <gtest/gtest.h>

#include <string>

#include "vaxolocal.h"

static std::string g_log; // what the bridge and the kernel did, in order
static char g_request[] = "<ping/>";
static const jstring OBJECT = reinterpret_cast<jstring>(g_request); // any non-NULL reference
static const char *g_answer, *g_version; // g_answer == g_request: no memory
static int g_status, g_length;           // what the kernel answers

template <typename T> static T noted(const std::string &what, T result) {
    g_log += what + ";";
    return result;
}

static JNIEnv *recording_env() {
    static JNINativeInterface_ t{};
    static JNIEnv env{&t};
    t.GetStringUTFChars = [](JNIEnv *, jstring, jboolean *) {
        return noted<const char *>("get", g_answer == g_request ? nullptr : g_request);
    };
    t.ReleaseStringUTFChars = [](JNIEnv *, jstring, const char *s) { noted("release", s); };
    t.NewStringUTF = [](JNIEnv *, const char *s) { return noted("new " + std::string(s), OBJECT); };
    t.FindClass = [](JNIEnv *, const char *s) { return noted(s, jclass(OBJECT)); };
    t.ThrowNew = [](JNIEnv *, jclass, const char *s) { return noted(s ? s : "(null)", 0); };
    t.ExceptionDescribe = t.ExceptionClear = [](JNIEnv *) { noted("clear", 0); };
    return &env;
}

static int xml_api(const char *request, char **answer) {
    *answer = const_cast<char *>(g_answer);
    return noted(std::string("api ") + request, 0);
}

static void call(const char *answer, bool release = true) {
    g_answer = answer;
    pQelXmlApi = xml_api;
    pQelXmlRelease = release ? +[] {} : nullptr;
    jstring result = Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvCall(
        recording_env(), nullptr, OBJECT);
    EXPECT_EQ(result != nullptr, g_log.find("new") != std::string::npos); // else an exception
}

static void version(int status, int length, const char *text) {
    g_status = status, g_length = length, g_version = text;
    Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_kernelVersion(recording_env(), nullptr);
}

extern "C" int QelVersion(char *buffer, int *length) {
    noted("kernel " + std::to_string(*length), 0);
    if (g_version != nullptr)
        snprintf(buffer, static_cast<size_t>(*length), "%s", g_version);
    *length = g_length;
    return g_status;
}

static const std::string LONG(400, 'C'), RAISED = "clear;clear;", ASKED = "get;api <ping/>;";
static const std::string VERSION = "kernel 255;new ";

TEST(Vaxolocal, NativeMethodsMakeTheseCallsInThisOrder) {
    std::pair<void (*)(), std::string> cases[] = {
        {[] { call("<pong/>"); }, ASKED + "new <pong/>;release;"},
        {[] { call(nullptr); }, ASKED + "new ;release;"},
        {[] { call(g_request); }, "get;"},
        {[] { call("", false); },
         "get;release;" + RAISED +
             QEL_EXCEPTION_CLASS
             ";QelXmlRelease function from ZORALukv shared library not loaded.;"},
        {[] { throwJavaException(recording_env(), "X", nullptr); }, RAISED + "X;(null);"},
        {[] { throwJavaException(recording_env(), "", "bad \xFF"); },
         RAISED + "java/lang/Exception;bad \xEF\xBF\xBD;"},
        {[] { throwJavaException(recording_env(), LONG.c_str(), "m"); },
         RAISED + LONG.substr(0, 255) + ";m;"},
        {[] { version(0, 9, nullptr); }, VERSION + ";"},
        {[] { version(1, 5, "abcdefgh"); }, VERSION + "abcde;"},
        {[] { version(1, -4, "abc"); }, VERSION + ";"},
        {[] { version(1, 300, LONG.c_str()); }, VERSION + LONG.substr(0, 254) + ";"},
    };
    for (const auto &[run, log] : cases) {
        g_log.clear();
        run();
        EXPECT_EQ(g_log, log);
    }
    throwJavaException(nullptr, "X", "m"); // no environment: nothing to do
}
