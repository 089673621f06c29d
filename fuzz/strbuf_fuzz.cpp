// Any sequence of string-buffer operations against a model of the text and its capacity.
#include <ctype.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "omx_memory.h"
#include "strbuf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint8_t *const end = data + size; // each choice takes a byte; 0 once they run out
    auto pick = [&data, end](int below) { return data < end ? *data++ % below : 0; };
    const int block = 1 + pick(64);
    std::string text;                     // the model
    long long capacity = block, lent = 0; // lent: the outstanding work buffer's size, or 0
    // The least multiple of the block above the length (+1 extending a non-empty text).
    auto grow = [&](long long length, bool extend) {
        if (length >= capacity)
            capacity = ((length + extend) / block + 1) * block;
    };
    auto put = [&](const std::string &s, bool extend) {
        text = extend ? text + s : s;
        grow(text.size(), extend && text.size() > s.size());
    };
    strbuf *sb = strbuf_create(block, NULL), *other = strbuf_create(block, NULL);
    while (data < end) {
        const long long before = capacity;
        const int length = text.size(), own = pick(3) == 0;
        const int pos = pick(length + 4) - 2, off = pick(length + 1);
        std::string s = own ? text.substr(off) : std::string(pick(3 * block + 5), ' ');
        for (char &c : s) // from the own text, or letters that include NUL
            c = own ? c : "aZ \t\n\x80z\v"[pick(9)];
        const char *src = own ? sb->text + off : s.c_str();
        const int n = pick(4) == 0 ? -1 : pick(s.size() + 1);
        const std::string taken = n < 0 ? std::string(s.c_str()) : s.substr(0, n);
        const int op = length > 6 * block + 20 ? 3 : pick(10); // long texts are cut back
        if (op < 3) { // replace, extend, or replace by a copy of another buffer
            (op == 1 ? strbuf_append : strbuf_set_str)(op == 2 ? other : sb, src, n);
            strbuf_copy(sb, op == 2 ? other : sb);
            put(taken, op == 1);
        } else if (op == 3) {
            text.erase(0, std::max(pos, 0));
            FUZZ_CHECK(strbuf_ltrunc(sb, pos) == (int)text.size());
        } else if (op == 4) {
            strbuf_trim(sb);
            text.erase(0, std::min(text.find_first_not_of(" \t\n\v"), text.size()));
            text.erase(text.find_last_not_of(" \t\n\v") + 1);
        } else if (op == 5) { // the own text as argument reads "" when it is being replaced
            const int replace = pick(2), width = pick(40) ? pick(4) : 16380 + pick(8);
            const std::string out = (replace ? "" : text.c_str()) + std::string(width, ' ');
            auto format = replace ? strbuf_format : strbuf_append_format;
            FUZZ_CHECK(format(sb, "%s%*s", strbuf_get(sb), width, "") == (int)out.size());
            put(out.substr(0, 16383), !replace);
        } else if (op == 6) {
            FUZZ_CHECK(strbuf_reserve(sb, pos * 3) == 0);
            grow(length + pos * 3, true);
        } else if (op == 7) { // lend what fits (a block when size < 1), fill, commit at most all
            const size_t bytes = pos < 1 ? block : pos, k = std::min(s.size(), bytes);
            char *buffer = strbuf_getBufferSetLength(sb, pos);
            auto work = (text.substr(0, bytes - 1) + std::string(bytes, '\0')).substr(0, bytes);
            FUZZ_CHECK(buffer != NULL && memcmp(buffer, work.data(), bytes) == 0);
            memcpy(buffer, s.data(), k);
            work.replace(0, k, s, 0, k);
            const int commit = pick(2), count = pick(bytes + 4) - 1;
            if ((lent = pick(3) ? 0 : bytes) == 0) // or left outstanding
                strbuf_releaseBuffer(sb, commit, count);
            if (commit && !lent)
                put(work.substr(0, count < 0 ? strnlen(work.data(), bytes) : count), false);
        } else if (op == 8) { // the emptied text, then prefix, new text and rest appended in turn
            const std::string rest = text.substr(std::clamp(pos, 0, length));
            strbuf_insert(sb, src, n, pos);
            text.resize(length - rest.size());
            put(taken, true);
            put(rest, true);
        } else { // ends any loan too; the emptied buffer starts over at one block
            char *detached = strbuf_detach(sb);
            FUZZ_CHECK(memcmp(detached, text.c_str(), length + 1) == 0);
            OmxMemFree(detached);
            text.clear(), capacity = block, lent = 0;
        }
        const size_t len = text.size(), k = pick(length + 2);
        FUZZ_CHECK(strbuf_length(sb) == (int)len && sb->capacity == capacity);
        FUZZ_CHECK(memcmp(sb->text, text.c_str(), len + 1) == 0 && sb->end == sb->text + len);
        FUZZ_CHECK((sb->buffer != NULL) == (lent > 0) && sb->bufferSize == lent);
        // Grown storage reads zero past the text, as if the text were copied to a zeroed block.
        FUZZ_CHECK(capacity == before ||
                   std::count(sb->text + len, sb->text + capacity, 0) == capacity - (long long)len);
        // Its last k bytes end it (case swapped if noCase); itself with a 'q' for byte 0 does not.
        const bool noCase = pick(2);
        std::string tail = (k > len ? "q" + text.substr(len > 0) : text.substr(len - k)) + "q";
        for (char &c : tail)
            c = noCase && isalpha(c & 0xff) ? c ^ 0x20 : c;
        FUZZ_CHECK(strbuf_endswith(sb, tail.c_str(), tail.size() - 1, noCase) == (k <= len));
    }
    strbuf_destroy(sb);
    strbuf_destroy(other);
    return 0;
}
