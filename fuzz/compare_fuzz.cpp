// The comparisons agree with their models on any two strings or NULL, under any limit.
#include <fuzzer/FuzzedDataProvider.h>

#include "compare_model.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    const uint8_t flags = input.ConsumeIntegral<uint8_t>();
    const int limit = input.ConsumeIntegral<int>() % 72;
    const std::string a = input.ConsumeRandomLengthString(64).c_str();
    const std::string b = input.ConsumeRandomLengthString(64).c_str();
    check_agreement(flags & 1 ? nullptr : a.c_str(), flags & 2 ? nullptr : b.c_str(), limit);
    return 0;
}
