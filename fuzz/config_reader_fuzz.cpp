// Arbitrary bytes read as a configuration file. The store keeps its invariants and
// answers lookups under every mask as its lists say; each line, expanded into a
// buffer of any size, matches a plain model of expansion.
#include <ctype.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "zoralrcs_internal.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    clearenv(); // lookups and expansion then answer from the store alone
    return 0;
}

struct Setting {
    int level;
    const vmitem *item;
    std::string name, value;
};

// The store read from data, walked both ways round.
static std::vector<Setting> __read(const uint8_t *data, size_t size) {
    psinitrc();
    FILE *stream = fmemopen(const_cast<uint8_t *>(data), size, "r");
    psreadfile(size > 0 ? stream : NULL, 7);
    if (stream != NULL)
        fclose(stream);
    std::vector<Setting> view;
    int previous = 0;
    for (const vmsect *sect = vmrootp->next; sect != vmrootp; sect = sect->next) {
        FUZZ_CHECK(sect->next->prev == sect && sect->level > previous);
        previous = sect->level;
        std::set<std::string> names;
        for (const vmitem *item = sect->items->next; item != sect->items; item = item->next) {
            FUZZ_CHECK(item->next->prev == item && names.insert(item->name).second);
            FUZZ_CHECK(item->value[0] != '\0' && strlen(item->value) < CONF_VALUE_SIZE);
            view.push_back({sect->level, item, item->name, item->value});
        }
    }
    return view;
}

static bool __is_name_char(char c) {
    return isalnum(static_cast<unsigned char>(c)) || c == '_';
}

static std::string __resolve(const std::vector<Setting> &view, const std::string &name) {
    std::string found;
    for (const Setting &s : view)
        if (s.name == name)
            found = s.value; // levels ascend: the highest wins
    return found;
}

// $NAME and ${NAME} replaced once each, the result cut to size - 1 characters.
static std::string __expand(const std::vector<Setting> &view, std::string text, size_t size) {
    text.resize(std::min(text.size(), size - 1));
    for (size_t scan = 0, dollar; (dollar = text.find('$', scan)) != std::string::npos;) {
        bool braced = dollar + 1 < text.size() && text[dollar + 1] == '{';
        size_t name = dollar + (braced ? 2 : 1), end = name;
        while (end < text.size() && __is_name_char(text[end]))
            end++;
        scan = end;
        if (end == name || (braced && (end == text.size() || text[end] != '}')))
            continue;
        std::string value = __resolve(view, text.substr(name, end - name));
        text = text.substr(0, dollar) + value + text.substr(braced ? end + 1 : end);
        text.resize(std::min(text.size(), size - 1));
        scan = std::min(dollar + value.size(), text.size());
    }
    return text;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::vector<Setting> full = __read(data, size);
    for (const Setting &s : full) {
        for (int mask = 0; mask < 8; mask++) {
            const vmitem *expected = NULL;
            for (const Setting &t : full)
                if (t.name == s.name && (t.level & mask))
                    expected = t.item;
            FUZZ_CHECK(fscheckrc(s.name.c_str(), mask) == (expected ? expected->value : NULL));
        }
    }
    std::string text(reinterpret_cast<const char *>(data), size);
    for (size_t start = 0, lines = 0; start < size && lines < 16; lines++) {
        std::string line = text.substr(start, text.find('\n', start) - start).c_str();
        start = text.find('\n', start) == std::string::npos ? size : text.find('\n', start) + 1;
        for (size_t buffer : {line.size() % 64 + 1, size_t{CONF_VALUE_SIZE}}) {
            std::string out(buffer + 1, '#');
            int result = fsevalval(line.c_str(), out.data(), static_cast<int>(buffer));
            std::string expected = __expand(full, line, buffer);
            FUZZ_CHECK(out.back() == '#' && out.c_str() == expected);
            FUZZ_CHECK(result == !expected.empty());
        }
    }

    psdeleterc();
    return 0;
}
