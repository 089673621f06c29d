// Stand-in XML API: a small request dialect answered from per-thread storage.
#include "zoralukv.h"

#include <stdlib.h>

#include <string>
#include <string_view>

#include "mutf8.h"
#include "qels.h"

// Each thread's last answer; reusing it per thread is what makes concurrent calls safe.
static thread_local std::string tAnswer;

static std::string_view __trim(std::string_view text) {
    const char *blanks = " \t\r\n";
    size_t first = text.find_first_not_of(blanks);
    if (first == std::string_view::npos)
        return {};
    size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

static int __error(int code, const char *message) {
    tAnswer = "<error code=\"" + std::to_string(code) + "\">" + message + "</error>";
    return code;
}

static bool __is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == ':';
}

// One element, "<name .../>" or "<name ...>...</name>"; yields its name and content.
static bool __parse_element(std::string_view request, std::string_view &name,
                            std::string_view &content) {
    if (request.size() < 3 || request.front() != '<' || request.back() != '>')
        return false;
    size_t n = 1;
    while (n < request.size() && __is_name_char(request[n]))
        n++;
    name = request.substr(1, n - 1);
    size_t tagEnd = request.find('>');
    if (name.empty())
        return false;
    if (tagEnd == request.size() - 1) {
        content = {};
        return request[tagEnd - 1] == '/';
    }
    std::string closing = "</" + std::string(name) + ">";
    if (request.size() < closing.size() || request[tagEnd - 1] == '/' ||
        request.substr(request.size() - closing.size()) != closing ||
        request.size() - closing.size() < tagEnd + 1)
        return false;
    content = request.substr(tagEnd + 1, request.size() - closing.size() - tagEnd - 1);
    return true;
}

// Text as XML character data or attribute value.
static std::string __escaped(std::string_view text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// <config name="NAME"/>: the kernel's configuration value for NAME under mask 7.
static int __config(std::string_view request) {
    constexpr std::string_view open = "<config name=\"", close = "\"/>";
    if (request.size() < open.size() + close.size() || request.substr(0, open.size()) != open ||
        request.substr(request.size() - close.size()) != close)
        return __error(ZORALUKV_ERR_MALFORMED, "malformed request");
    std::string name(request.substr(open.size(), request.size() - open.size() - close.size()));
    if (name.find('"') != std::string::npos)
        return __error(ZORALUKV_ERR_MALFORMED, "malformed request");
    const char *value = QueryRCS(name.c_str(), 7);
    if (value == NULL)
        tAnswer = "<config name=\"" + __escaped(name) + "\" set=\"false\"/>";
    else
        tAnswer = "<config name=\"" + __escaped(name) + "\">" + __escaped(value) + "</config>";
    return 0;
}

static int __answer(std::string_view request) {
    std::string_view name, content;
    if (request.empty())
        return __error(ZORALUKV_ERR_EMPTY, "empty request");
    if (!__parse_element(request, name, content))
        return __error(ZORALUKV_ERR_MALFORMED, "malformed request");

    if (request == "<ping/>")
        tAnswer = "<pong/>";
    else if (request == "<version/>")
        tAnswer = "<version>vaxolocal " VAXO_VERSION "</version>";
    else if (name == "echo" && request.substr(0, 6) == "<echo>")
        tAnswer.assign(request.data(), request.size());
    else if (name == "config")
        return __config(request);
    else
        return __error(ZORALUKV_ERR_UNKNOWN, "unknown request");
    return 0;
}

// Answers leave in modified UTF-8, whatever the configuration's files hold.
static int __modified(int code) {
    char *copy = NULL;
    if (mutf8text(tAnswer.c_str(), &copy) == NULL)
        return __error(ZORALUKV_ERR_MEMORY, "out of memory");
    if (copy != NULL)
        tAnswer = copy;
    free(copy);
    return code;
}

extern "C" int QelXmlApi(const char *request, char **answer) {
    if (answer == NULL)
        return ZORALUKV_ERR_EMPTY;
    int code = __modified(__answer(request != NULL ? __trim(request) : std::string_view()));
    *answer = tAnswer.data();
    return code;
}

extern "C" void QelXmlRelease(void) {
    std::string().swap(tAnswer);
}
