// The native methods against a recording JNI environment, for the paths a real
// virtual machine does not take on demand (a failed GetStringUTFChars) and for
// the order of the calls the bridge makes.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "vaxolocal.h"

namespace {

std::vector<std::string> g_calls; // what the bridge did, in order
bool g_utf_fails = false;
char *g_answer = nullptr;
char g_request[] = "<ping/>";
int g_dummy_class; // any non-NULL jclass will do

const char *jni_utf(JNIEnv *, jstring, jboolean *) {
    g_calls.push_back("GetStringUTFChars");
    return g_utf_fails ? nullptr : g_request;
}
void jni_release(JNIEnv *, jstring, const char *chars) {
    g_calls.push_back(chars == g_request ? "ReleaseStringUTFChars" : "Release(foreign)");
}
jstring jni_new_string(JNIEnv *, const char *text) {
    g_calls.push_back(std::string("NewStringUTF ") + text);
    return reinterpret_cast<jstring>(&g_dummy_class);
}
jclass jni_find_class(JNIEnv *, const char *name) {
    g_calls.push_back(std::string("FindClass ") + name);
    return reinterpret_cast<jclass>(&g_dummy_class);
}
jint jni_throw_new(JNIEnv *, jclass, const char *message) {
    g_calls.push_back(std::string("ThrowNew ") + (message != nullptr ? message : "(null)"));
    return 0;
}
void jni_describe(JNIEnv *) {}
void jni_clear(JNIEnv *) {}

int xml_api(const char *request, char **answer) {
    g_calls.push_back(std::string("QelXmlApi ") + request);
    *answer = g_answer;
    return 0;
}
void xml_release(void) {}

class Bridge : public ::testing::Test {
  protected:
    void SetUp() override {
        memset(&table, 0, sizeof table);
        table.GetStringUTFChars = jni_utf;
        table.ReleaseStringUTFChars = jni_release;
        table.NewStringUTF = jni_new_string;
        table.FindClass = jni_find_class;
        table.ThrowNew = jni_throw_new;
        table.ExceptionDescribe = jni_describe;
        table.ExceptionClear = jni_clear;
        env.functions = &table;
        g_calls.clear();
        g_utf_fails = false;
        g_answer = nullptr;
        pQelXmlApi = xml_api;
        pQelXmlRelease = xml_release;
    }
    jstring call() {
        return Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvCall(
            &env, nullptr, reinterpret_cast<jstring>(&g_dummy_class));
    }
    JNINativeInterface_ table;
    JNIEnv env;
};

TEST_F(Bridge, TheRequestOutlivesTheAnswersConversion) {
    char answer[] = "<pong/>";
    g_answer = answer;
    EXPECT_NE(call(), nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"GetStringUTFChars", "QelXmlApi <ping/>",
                                                 "NewStringUTF <pong/>", "ReleaseStringUTFChars"}));
}

TEST_F(Bridge, AnAnswerLeftNullIsTheEmptyString) {
    call();
    EXPECT_EQ(g_calls, (std::vector<std::string>{"GetStringUTFChars", "QelXmlApi <ping/>",
                                                 "NewStringUTF ", "ReleaseStringUTFChars"}));
}

TEST_F(Bridge, AFailedUtfConversionNeverReachesTheXmlApi) {
    g_utf_fails = true;
    EXPECT_EQ(call(), nullptr);
    EXPECT_EQ(g_calls, std::vector<std::string>{"GetStringUTFChars"});
}

TEST_F(Bridge, MissingEntryPointsRaiseQelException) {
    pQelXmlRelease = nullptr;
    EXPECT_EQ(call(), nullptr);
    EXPECT_EQ(g_calls,
              (std::vector<std::string>{
                  "GetStringUTFChars", "ReleaseStringUTFChars",
                  "FindClass com/brantexa/zoral/vaxo/QelException",
                  "ThrowNew QelXmlRelease function from ZORALukv shared library not loaded."}));
    g_calls.clear();
    pQelXmlApi = nullptr;
    call();
    EXPECT_EQ(g_calls.back(),
              "ThrowNew QelXmlApi function from ZORALukv shared library not loaded.");
}

TEST_F(Bridge, ANullRequestRaisesNullPointerException) {
    EXPECT_EQ(
        Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_ukvCall(&env, nullptr, nullptr),
        nullptr);
    EXPECT_EQ(g_calls, (std::vector<std::string>{"FindClass java/lang/NullPointerException",
                                                 "ThrowNew request"}));
}

TEST_F(Bridge, KernelVersionOfTheStandIn) {
    Java_com_brantexa_zoral_vaxo_internal_local_ZORALlocal_kernelVersion(&env, nullptr);
    EXPECT_EQ(g_calls, std::vector<std::string>{"NewStringUTF vaxolocal " VAXO_VERSION});
}

TEST_F(Bridge, ThrowWithoutAnEnvironmentDoesNothing) {
    throwJavaException(nullptr, "java/lang/Exception", "lost");
    throwJavaException(&env, nullptr, "m");
    EXPECT_EQ(g_calls, (std::vector<std::string>{"FindClass java/lang/Exception", "ThrowNew m"}));
}

} // namespace
