// The native methods against a recording JNI environment, for the paths a real
// virtual machine does not take on demand (a failed GetStringUTFChars) and for
// the order of the calls the bridge makes.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "mutf8.h"
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

TEST_F(Bridge, AnswersAndExceptionTextsReachTheVmAsModifiedUtf8) {
    char answer[] = "smile \xF0\x9F\x98\x80 ok";
    g_answer = answer;
    call();
    EXPECT_EQ(g_calls.at(2), "NewStringUTF smile \xED\xA0\xBD\xED\xB8\x80 ok");
    throwJavaException(&env, nullptr, "bad \xFF");
    EXPECT_EQ(g_calls.back(), "ThrowNew bad \xEF\xBF\xBD");
}

TEST(ModifiedUtf8, ConvertsOnlyWhatTheVmWouldMisread) {
    const char *fffd = "\xEF\xBF\xBD";
    struct Case {
        const char *in;
        std::string out; // empty: returned as it is, not copied
    } cases[] = {
        {"", ""},
        {"plain", ""},
        {"\xC3\xA9 \xDF\xBF \xE6\x97\xA5 \xEF\xBF\xBF 0123456789abcdef", ""},
        {"nul \xC0\x80 in modified form", ""},
        {"pair \xED\xA0\xBD\xED\xB8\x80 already", ""},
        {"smile \xF0\x9F\x98\x80 ok", "smile \xED\xA0\xBD\xED\xB8\x80 ok"},
        {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", "\xED\xA0\x80\xED\xB0\x80\xED\xAF\xBF\xED\xBF\xBF"},
        {"0123456789\xFF", "0123456789" + std::string(fffd)},
        {"\x80x", std::string(fffd) + "x"},
        {"\xC1\xBF", std::string(fffd) + fffd},
        {"\xC0\xAF", std::string(fffd) + fffd},
        {"\xE0\x80\xAF", std::string(fffd) + fffd + fffd},
        {"\xF0\x8F\xBF\xBF", std::string(fffd) + fffd + fffd + fffd},
        {"\xF4\x90\x80\x80", std::string(fffd) + fffd + fffd + fffd},
        {"\xF8\x88\x80\x80\x80", std::string(fffd) + fffd + fffd + fffd + fffd},
        {"cut \xE2\x82", "cut " + std::string(fffd)},
        {"\xF0\x9F\x98!", std::string(fffd) + "!"},
        {"\xF0\x9F\x98\xF0\x9F\x98\x80", std::string(fffd) + "\xED\xA0\xBD\xED\xB8\x80"},
    };
    for (const Case &c : cases) {
        char *copy = nullptr;
        const char *text = mutf8text(c.in, &copy);
        if (c.out.empty()) {
            EXPECT_EQ(text, c.in) << c.in;
            EXPECT_EQ(copy, nullptr) << c.in;
        } else {
            EXPECT_EQ(text, copy) << c.in;
            EXPECT_EQ(c.out, text != nullptr ? text : "(null)") << c.in;
        }
        free(copy);
    }
    char *copy = nullptr;
    EXPECT_EQ(mutf8text(nullptr, &copy), nullptr);
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
