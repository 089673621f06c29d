// The comparisons agree with their models on any two strings, NULL included,
// and any limit, in the C locale. A limited one is handed a string cut at the
// limit without its terminator, so that reading past the limit is caught.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <string.h>

#include <memory>

#include "compare_model.h"
#include "fuzz_check.h"

static std::unique_ptr<char[]> copy(const std::string &text, bool null, int limit) {
    const size_t size = std::min(text.size() + 1, limit > 0 ? size_t(limit) : text.size() + 1);
    std::unique_ptr<char[]> buffer(null ? nullptr : new char[size]);
    if (!null)
        memcpy(buffer.get(), text.c_str(), size);
    return buffer;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint8_t flags = input.ConsumeIntegral<uint8_t>();
    const int limit =
        flags & 4 ? input.ConsumeIntegral<int>() : input.ConsumeIntegralInRange(-2, 70);
    const std::string a = input.ConsumeRandomLengthString(64).c_str();
    const std::string b = input.ConsumeRandomLengthString(64).c_str();
    for (int f = 0; f < 7; f++) {
        auto x = copy(a, flags & 1, limited(f) ? limit : 0),
             y = copy(b, flags & 2, limited(f) ? limit : 0);
        FUZZ_CHECK(comparisons[f](x.get(), y.get(), limit) == model(f, x.get(), y.get(), limit));
    }
    return 0;
}
