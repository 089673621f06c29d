// The stand-ins for the kernel and XML API libraries keep the contracts the bridge relies on.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "qels.h"
#include "qelsconf.h"
#include "zoralukv.h"

namespace {

std::string call(const char *request, int *code = nullptr) {
    char *answer = nullptr;
    int result = QelXmlApi(request, &answer);
    if (code != nullptr)
        *code = result;
    return answer != nullptr ? answer : "<NULL>";
}

TEST(XmlApiStandIn, KnownRequests) {
    int code = -1;
    EXPECT_EQ(call("<ping/>", &code), "<pong/>");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(call("  \r\n<ping/>\t\n"), "<pong/>");
    EXPECT_EQ(call("<version/>"), "<version>vaxolocal " VAXO_VERSION "</version>");
    EXPECT_EQ(call("<echo></echo>"), "<echo></echo>");
    EXPECT_EQ(call("<echo>a <b/> &amp; é</echo>"), "<echo>a <b/> &amp; é</echo>");
}

TEST(XmlApiStandIn, ErrorsCarryACodeAndAMessage) {
    struct Case {
        const char *request;
        int code;
        const char *message;
    } cases[] = {
        {nullptr, 1, "empty request"},
        {"", 1, "empty request"},
        {" \t\n", 1, "empty request"},
        {"ping", 2, "malformed request"},
        {"<ping", 2, "malformed request"},
        {"<>", 2, "malformed request"},
        {"<ping/> trailing", 2, "malformed request"},
        {"<echo>unclosed", 2, "malformed request"},
        {"<echo>mismatched</ohce>", 2, "malformed request"},
        {"<echo/>x</echo>", 2, "malformed request"},
        {"</echo>", 2, "malformed request"},
        {"<status/>", 3, "unknown request"},
        {"<ping>x</ping>", 3, "unknown request"},
        {"<echo a=\"1\">x</echo>", 3, "unknown request"},
    };
    for (const Case &c : cases) {
        int code = -1;
        std::string expected =
            "<error code=\"" + std::to_string(c.code) + "\">" + c.message + "</error>";
        EXPECT_EQ(call(c.request, &code), expected) << (c.request ? c.request : "NULL");
        EXPECT_EQ(code, c.code) << (c.request ? c.request : "NULL");
    }
    EXPECT_NE(QelXmlApi("<ping/>", nullptr), 0);
}

TEST(XmlApiStandIn, AnswersStayValidUntilTheSameThreadsNextCall) {
    char *mine = nullptr;
    QelXmlApi("<echo>main thread</echo>", &mine);
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; t++) {
        threads.emplace_back([t, &wrong] {
            for (int i = 0; i < 2000; i++) {
                std::string request =
                    "<echo>" + std::to_string(t) + ":" + std::to_string(i) + "</echo>";
                char *answer = nullptr;
                QelXmlApi(request.c_str(), &answer);
                if (answer == nullptr || request != answer)
                    wrong[t]++;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    for (int t = 0; t < 8; t++)
        EXPECT_EQ(wrong[t], 0) << "thread " << t;
    EXPECT_STREQ(mine, "<echo>main thread</echo>");
    QelXmlRelease();
    EXPECT_EQ(call("<ping/>"), "<pong/>"); // usable again after a release
}

// The configuration behind QueryRCS: one developer file, so that nothing else is read.
struct DeveloperFile {
    DeveloperFile() {
        char name[] = "/tmp/vaxo-peers-XXXXXX";
        int fd = mkstemp(name);
        const char text[] = "[PRIVILEGED]\nK_PRIV = priv\n[NONPRIVILEGED]\nK_NON = non\n";
        EXPECT_EQ(write(fd, text, sizeof text - 1), static_cast<ssize_t>(sizeof text - 1));
        close(fd);
        path = name;
    }
    ~DeveloperFile() {
        unlink(path.c_str());
    }
    std::string path;
};

void use_developer_configuration() {
    static DeveloperFile file;
    setenv("__KERNEL_DEVELOPER", file.path.c_str(), 1);
    setenv("__QELSCONF_NOENV", "", 1);
    QelsConfRemove();
    ASSERT_EQ(QelsConfExists(), 1);
}

TEST(KernelStandIn, QueryRCSAnswersFromTheConfigurationUnderTheMask) {
    use_developer_configuration();
    setenv("K_ENV", "/some/dir", 1);
    struct Case {
        const char *key;
        int selector;
        const char *value;
    } cases[] = {{"K_PRIV", 1, "priv"},      {"K_PRIV", 7, "priv"}, {"K_PRIV", 6, nullptr},
                 {"K_NON", 4, "non"},        {"K_NON", 3, nullptr}, {"K_ENV", 4, "/some/dir"},
                 {"K_ENV", 7, "/some/dir"},  {"K_ENV", 3, nullptr}, {"K_NON", 0, nullptr},
                 {"NO_SUCH_KEY", 7, nullptr}};
    for (const Case &c : cases) {
        const char *value = QueryRCS(c.key, c.selector);
        if (c.value == nullptr)
            EXPECT_EQ(value, nullptr) << c.key << " " << c.selector;
        else
            EXPECT_STREQ(value, c.value) << c.key << " " << c.selector;
    }
    EXPECT_EQ(QueryRCS(nullptr, 7), nullptr);
}

TEST(KernelStandIn, QueryRCSNeverEndsTheProcess) {
    EXPECT_EXIT(
        {
            setenv("__KERNEL_DEVELOPER", "/nonexistent/developer.conf", 1);
            QelsConfRemove();
            exit(QueryRCS("QELS_EXE", 7) == nullptr ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST(XmlApiStandIn, ConfigRequestsAnswerTheKernelsValue) {
    use_developer_configuration();
    setenv("K_ESCAPED", "a<b & \"c\">", 1);
    setenv("K_SMILE", "smile \xF0\x9F\x98\x80 ok \xFF", 1);
    EXPECT_EQ(call("<config name=\"K_SMILE\"/>"),
              "<config name=\"K_SMILE\">smile \xED\xA0\xBD\xED\xB8\x80 ok \xEF\xBF\xBD</config>");
    EXPECT_EQ(call("<config name=\"K_NON\"/>"), "<config name=\"K_NON\">non</config>");
    EXPECT_EQ(call("<config name=\"K_ESCAPED\"/>"),
              "<config name=\"K_ESCAPED\">a&lt;b &amp; &quot;c&quot;&gt;</config>");
    EXPECT_EQ(call("<config name=\"NOT<SET\"/>"), "<config name=\"NOT&lt;SET\" set=\"false\"/>");
    for (const char *bad : {"<config/>", "<config name='X'/>", "<config name=\"X\" />",
                            "<config name=\"X\"Y\"/>", "<config name=\"X\"></config>"})
        EXPECT_EQ(call(bad), "<error code=\"2\">malformed request</error>") << bad;
}

TEST(KernelStandIn, QelVersionFitsTheCapacityAndReportsItsLength) {
    const std::string expected = "vaxolocal " VAXO_VERSION;
    char buffer[256];
    int length = 255;
    EXPECT_EQ(QelVersion(buffer, &length) & 1, 1);
    EXPECT_EQ(length, static_cast<int>(expected.size()));
    EXPECT_EQ(expected, buffer);

    memset(buffer, 'x', sizeof buffer);
    length = 5; // five bytes in all: four characters and the NUL
    EXPECT_EQ(QelVersion(buffer, &length) & 1, 1);
    EXPECT_EQ(length, 4);
    EXPECT_EQ(expected.substr(0, 4), buffer);
    EXPECT_EQ(buffer[5], 'x');

    length = 0;
    EXPECT_EQ(QelVersion(buffer, &length) & 1, 0);
    EXPECT_EQ(QelVersion(nullptr, &length) & 1, 0);
    EXPECT_EQ(QelVersion(buffer, nullptr) & 1, 0);
}

} // namespace
