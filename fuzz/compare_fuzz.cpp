// The string orderings and equality tests against plain models of their rules,
// on any two strings (NULL included) and any limit, in the C locale. Under a
// positive limit a string is handed over unterminated when it is at least that
// long, so that reading past the limit is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "omx_compare.h"

namespace {

// Case folding of the C locale, as signed bytes.
signed char fold(char c, bool folded) {
    if (folded && c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 'a' + 'A');
    return static_cast<signed char>(c);
}

// -1, 0 or 1 over the first count bytes.
int order(const std::string &a, const std::string &b, size_t count, bool folded) {
    for (size_t i = 0; i < count; i++) {
        signed char ca = fold(a[i], folded), cb = fold(b[i], folded);
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return 0;
}

int compare_no_case(const std::string &a, const std::string &b) {
    int prefix = order(a, b, std::min(a.size(), b.size()), true);
    if (prefix != 0 || a.size() == b.size())
        return prefix;
    return a.size() < b.size() ? -1 : 1;
}

// Only the first limit bytes that both strings have count.
int compare_len(const std::string &a, const std::string &b, int limit, bool folded) {
    if (limit <= 0)
        return 0;
    size_t width = static_cast<size_t>(limit);
    size_t count = a.size() < width || b.size() < width ? std::min(a.size(), b.size()) : width;
    return order(a, b, count, folded);
}

struct Text {
    bool null;
    std::string bytes;
};

// NULL equals only NULL; under a positive limit the first limit bytes decide.
bool equals(const Text &a, const Text &b, int limit, bool folded) {
    if (a.null || b.null)
        return a.null && b.null;
    std::string x = limit > 0 ? a.bytes.substr(0, static_cast<size_t>(limit)) : a.bytes;
    std::string y = limit > 0 ? b.bytes.substr(0, static_cast<size_t>(limit)) : b.bytes;
    return x.size() == y.size() && order(x, y, x.size(), folded) == 0;
}

// A heap copy the callee may read exactly up to its end: the terminator is
// left out when the limit stops the reading before it.
std::unique_ptr<char[]> copy(const Text &text, int limit) {
    if (text.null)
        return nullptr;
    size_t size = text.bytes.size() + 1;
    if (limit > 0 && static_cast<size_t>(limit) < size)
        size = static_cast<size_t>(limit);
    std::unique_ptr<char[]> buffer(new char[size]);
    memcpy(buffer.get(), text.bytes.c_str(), size);
    return buffer;
}

Text consume_text(FuzzedDataProvider *input, bool null) {
    return {null, input->ConsumeRandomLengthString(64).c_str()};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint8_t flags = input.ConsumeIntegral<uint8_t>();
    const int limit =
        flags & 4 ? input.ConsumeIntegral<int>() : input.ConsumeIntegralInRange(-2, 70);
    const Text a = consume_text(&input, flags & 1);
    const Text b = consume_text(&input, flags & 2);
    const std::string empty;
    const std::string &x = a.null ? empty : a.bytes, &y = b.null ? empty : b.bytes;

    auto whole_a = copy(a, 0), whole_b = copy(b, 0);
    FUZZ_CHECK(OmxCompareNoCase(whole_a.get(), whole_b.get()) == compare_no_case(x, y));
    FUZZ_CHECK(OmxStrEquals(whole_a.get(), whole_b.get()) == equals(a, b, 0, false));
    FUZZ_CHECK(OmxStrNoCaseEquals(whole_a.get(), whole_b.get()) == equals(a, b, 0, true));

    auto cut_a = copy(a, limit), cut_b = copy(b, limit);
    FUZZ_CHECK(OmxCompareLen(cut_a.get(), cut_b.get(), limit) == compare_len(x, y, limit, false));
    FUZZ_CHECK(OmxCompareLenNoCase(cut_a.get(), cut_b.get(), limit) ==
               compare_len(x, y, limit, true));
    FUZZ_CHECK(OmxStrLenEquals(cut_a.get(), cut_b.get(), limit) == equals(a, b, limit, false));
    FUZZ_CHECK(OmxStrLenNoCaseEquals(cut_a.get(), cut_b.get(), limit) == equals(a, b, limit, true));
    return 0;
}
