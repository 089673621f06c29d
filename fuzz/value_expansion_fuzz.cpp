// Value expansion against a plain model of its rule. The input builds an
// environment and a store (settings stored at any level, each expanded when
// stored), then expands texts into buffers of any size. The model replaces
// $NAME and ${NAME} once each (inserted text is not scanned again), resolves a
// name to the store's highest level, then the environment, then "", and cuts
// the result to size - 1 characters.
#include <fuzzer/FuzzedDataProvider.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "store_view.h"

namespace {

const int LEVELS[] = {QELSCONF_PRIVILEGED, QELSCONF_GROUP, QELSCONF_NONPRIVILEGED};

struct Model {
    std::vector<int> levels;                                                  // sections, ascending
    std::map<int, std::vector<std::pair<std::string, std::string>>> sections; // in list order
    std::map<std::string, std::string> environment;
};

bool is_name_char(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

std::string resolve(const Model &model, const std::string &name) {
    for (auto section = model.sections.rbegin(); section != model.sections.rend(); ++section)
        for (const auto &[stored, value] : section->second)
            if (stored == name)
                return value;
    auto variable = model.environment.find(name);
    return variable == model.environment.end() ? "" : variable->second;
}

std::string expand(const Model &model, const std::string &source, size_t size) {
    const size_t limit = size - 1;
    std::string text = source.substr(0, limit);
    size_t scan = 0;
    for (size_t dollar; (dollar = text.find('$', scan)) != std::string::npos;) {
        bool braced = dollar + 1 < text.size() && text[dollar + 1] == '{';
        size_t name = dollar + (braced ? 2 : 1);
        size_t end = name;
        while (end < text.size() && is_name_char(text[end]))
            end++;
        if (end == name || (braced && (end == text.size() || text[end] != '}'))) {
            scan = end;
            continue;
        }
        std::string value = resolve(model, text.substr(name, end - name));
        text = text.substr(0, dollar) + value + text.substr(braced ? end + 1 : end);
        if (text.size() > limit)
            text.resize(limit);
        scan = std::min(dollar + value.size(), limit);
    }
    return text;
}

// Storing replaces the value in place, deletes the setting when the value
// expands to nothing, or appends a new setting.
void store(Model *model, int level, const std::string &name, const std::string &raw) {
    if (std::find(model->levels.begin(), model->levels.end(), level) == model->levels.end()) {
        model->levels.push_back(level);
        std::sort(model->levels.begin(), model->levels.end());
    }
    std::string value = expand(*model, raw, CONF_VALUE_SIZE);
    auto &items = model->sections[level];
    auto found = std::find_if(items.begin(), items.end(),
                              [&](const auto &item) { return item.first == name; });
    if (found == items.end()) {
        if (!value.empty())
            items.emplace_back(name, value);
    } else if (value.empty()) {
        items.erase(found);
    } else {
        found->second = value;
    }
}

void check_store(const Model &model) {
    StoreView view = store_view();
    FUZZ_CHECK(view.levels == model.levels);
    std::vector<StoredSetting> expected;
    for (const auto &[level, items] : model.sections)
        for (const auto &[name, value] : items)
            expected.push_back({level, NULL, name, value});
    FUZZ_CHECK(view.settings == expected);
}

// Names mostly from a small alphabet, so that references meet settings.
std::string consume_name(FuzzedDataProvider *input) {
    if (input->ConsumeBool())
        return input->ConsumeRandomLengthString(8).c_str();
    std::string name;
    for (int n = input->ConsumeIntegralInRange(1, 3); n > 0; n--)
        name += "AB_1a"[input->ConsumeIntegralInRange(0, 4)];
    return name;
}

void check_expansion(const Model &model, const std::string &source, int size) {
    std::vector<char> destination(size > 0 ? static_cast<size_t>(size) : 1, '\x55');
    const int result = fsevalval(source.c_str(), destination.data(), size);
    if (size < 1) {
        FUZZ_CHECK(result == 0 && destination[0] == '\x55');
        return;
    }
    std::string expected = expand(model, source, static_cast<size_t>(size));
    FUZZ_CHECK(result == !expected.empty());
    FUZZ_CHECK(memchr(destination.data(), '\0', destination.size()) != NULL);
    FUZZ_CHECK(destination.data() == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider input(data, size);
    Model model;
    clearenv();
    for (int n = input.ConsumeIntegralInRange(0, 3); n > 0; n--) {
        std::string name = consume_name(&input);
        std::string value = input.ConsumeRandomLengthString(64).c_str();
        if (setenv(name.c_str(), value.c_str(), 1) == 0)
            model.environment[name] = value;
    }

    psinitrc();
    FUZZ_CHECK(vmrootp != NULL);
    for (int n = input.ConsumeIntegralInRange(0, 12); n > 0; n--) {
        int level = LEVELS[input.ConsumeIntegralInRange(0, 2)];
        std::string name = consume_name(&input);
        std::string raw = input.ConsumeRandomLengthString(1200).c_str();
        store(&model, level, name, raw);
        psstoreitem(fsgetsect(level), name.c_str(), raw.c_str());
        check_store(model);
    }

    char untouched[] = "x";
    FUZZ_CHECK(fsevalval(NULL, untouched, sizeof untouched) == 0 && untouched[0] == '\0');
    while (input.remaining_bytes() > 0) {
        int buffer = input.ConsumeIntegralInRange(-1, 2 * CONF_VALUE_SIZE);
        check_expansion(model, input.ConsumeRandomLengthString(3 * CONF_VALUE_SIZE).c_str(),
                        buffer);
    }
    psdeleterc();
    return 0;
}
