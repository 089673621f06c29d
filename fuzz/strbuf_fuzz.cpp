// Arbitrary sequences of string-buffer operations on two buffers, against a
// model of each buffer's text (embedded NULs included), its capacity under the
// block growth rule, and its lent work buffer. After every step the buffer
// must agree with its model and keep its invariants, and all of its capacity
// must be addressable storage.
#include <fuzzer/FuzzedDataProvider.h>

#include <limits.h>
#include <stdint.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fuzz_check.h"
#include "omx_memory.h"
#include "strbuf.h"

namespace {

struct Model {
    std::string text;
    long long capacity;
    long long block;
    bool lent;
    std::string work; // the lent buffer's bytes, all of them
};

// Capacities: the smallest multiple of the block above the need; replacing
// the text needs its length, extending it the new length plus one.
long long block_above(const Model &m, long long need) {
    return (need / m.block + 1) * m.block;
}

void set_text(Model *m, const std::string &text) {
    if (static_cast<long long>(text.size()) >= m->capacity)
        m->capacity = block_above(*m, static_cast<long long>(text.size()));
    m->text = text;
}

void append_text(Model *m, const std::string &more) {
    if (m->text.empty()) {
        set_text(m, more);
        return;
    }
    long long length = static_cast<long long>(m->text.size());
    long long n = static_cast<long long>(more.size());
    if (m->capacity - length <= n)
        m->capacity = block_above(*m, length + n + 1);
    m->text += more;
}

// An insertion is: emptied, then the prefix, the new text and the rest appended.
void insert_text(Model *m, const std::string &more, long long pos) {
    pos = std::max(pos, 0LL);
    if (pos >= static_cast<long long>(m->text.size())) {
        append_text(m, more);
        return;
    }
    std::string rest = m->text.substr(static_cast<size_t>(pos));
    m->text.resize(static_cast<size_t>(pos));
    append_text(m, more);
    append_text(m, rest);
}

bool is_space(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int fold(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u;
}

int sign(int value) {
    return (value > 0) - (value < 0);
}

int compare_no_case(const char *a, const char *b) {
    for (;; a++, b++) {
        if (fold(*a) != fold(*b))
            return fold(*a) < fold(*b) ? -1 : 1;
        if (*a == '\0')
            return 0;
    }
}

void check(const strbuf *sb, const Model &m) {
    FUZZ_CHECK(sb->text != NULL && sb->blockSize == m.block);
    FUZZ_CHECK(sb->length == static_cast<long long>(m.text.size()) && sb->capacity == m.capacity);
    FUZZ_CHECK(sb->length < sb->capacity && sb->capacity % sb->blockSize == 0);
    FUZZ_CHECK(memcmp(sb->text, m.text.data(), m.text.size()) == 0);
    FUZZ_CHECK(sb->text[sb->length] == '\0' && sb->end == sb->text + sb->length);
    volatile char last = sb->text[sb->capacity - 1]; // the sanitizer objects if it is not storage
    (void)last;
    FUZZ_CHECK((sb->buffer != NULL) == m.lent);
    FUZZ_CHECK(sb->bufferSize == (m.lent ? static_cast<long long>(m.work.size()) : 0));
    if (m.lent)
        FUZZ_CHECK(memcmp(sb->buffer, m.work.data(), m.work.size()) == 0);
}

// A source text, and a length to pass with it: -1 (then the text ends at its
// first NUL) or any count of its bytes.
struct Source {
    std::string bytes;
    int n;
    std::string taken() const {
        return n < 0 ? std::string(bytes.c_str()) : bytes.substr(0, static_cast<size_t>(n));
    }
};

Source consume_source(FuzzedDataProvider *in) {
    Source s{in->ConsumeRandomLengthString(300), 0};
    s.n = in->ConsumeIntegralInRange(-1, static_cast<int>(s.bytes.size()));
    return s;
}

void step(FuzzedDataProvider *in, strbuf *sb, Model *m, strbuf *other, Model *om) {
    const int length = static_cast<int>(m->text.size());
    switch (in->ConsumeIntegralInRange(0, 17)) {
    case 0: {
        Source s = consume_source(in);
        strbuf_set_str(sb, s.bytes.c_str(), s.n);
        set_text(m, s.taken());
        break;
    }
    case 1: {
        Source s = consume_source(in);
        strbuf_append(sb, s.bytes.c_str(), s.n);
        append_text(m, s.taken());
        break;
    }
    case 2: {
        Source s = consume_source(in);
        int pos = in->ConsumeIntegralInRange(-2, length + 2);
        strbuf_insert(sb, s.bytes.c_str(), s.n, pos);
        insert_text(m, s.taken(), pos);
        break;
    }
    case 3: { // a source inside the buffer's own text
        int from = in->ConsumeIntegralInRange(0, length);
        int n = in->ConsumeIntegralInRange(0, length - from);
        std::string piece = m->text.substr(static_cast<size_t>(from), static_cast<size_t>(n));
        int pos = in->ConsumeIntegralInRange(0, length);
        switch (in->ConsumeIntegralInRange(0, 2)) {
        case 0:
            strbuf_set_str(sb, sb->text + from, n);
            set_text(m, piece);
            break;
        case 1:
            strbuf_append(sb, sb->text + from, n);
            append_text(m, piece);
            break;
        default:
            strbuf_insert(sb, sb->text + from, n, pos);
            insert_text(m, piece, pos);
        }
        break;
    }
    case 4: {
        // Beside small counts, only counts that cannot fit: no huge allocation succeeds.
        int extra = in->PickValueInArray({INT_MIN, INT_MAX, in->ConsumeIntegralInRange(-3, 300)});
        long long room = m->capacity - length;
        long long grown = block_above(*m, static_cast<long long>(length) + extra + 1);
        bool fails = room <= extra && grown > INT_MAX;
        FUZZ_CHECK(strbuf_reserve(sb, extra) == (fails ? -1 : 0));
        if (room <= extra && !fails)
            m->capacity = grown;
        break;
    }
    case 5:
        strbuf_clear(sb);
        set_text(m, "");
        break;
    case 6:
        if (in->ConsumeBool()) {
            strbuf_copy(sb, sb);
        } else {
            strbuf_copy(sb, other);
            set_text(m, om->text);
        }
        break;
    case 7: {
        char *text = strbuf_detach(sb);
        FUZZ_CHECK(text != NULL && memcmp(text, m->text.c_str(), m->text.size() + 1) == 0);
        OmxMemFree(text);
        *m = {"", m->block, m->block, false, ""};
        break;
    }
    case 8: { // formatting, cut at 16383 characters
        int width = in->ConsumeIntegralInRange(0, 20000);
        std::string arg = in->ConsumeRandomLengthString(100).c_str();
        std::string out = std::string(std::max(0, width - static_cast<int>(arg.size())), ' ') + arg;
        bool replace = in->ConsumeBool();
        int wanted = replace ? strbuf_format(sb, "%*s", width, arg.c_str())
                             : strbuf_append_format(sb, "%*s", width, arg.c_str());
        FUZZ_CHECK(wanted == static_cast<int>(out.size()));
        if (replace)
            set_text(m, "");
        append_text(m, out.substr(0, 16383));
        break;
    }
    case 9: { // the buffer's own text as the argument: emptied first, or read before appending
        std::string own = m->text.c_str();
        if (in->ConsumeBool()) {
            FUZZ_CHECK(strbuf_format(sb, "%s!", strbuf_get(sb)) == 1);
            set_text(m, "!");
        } else {
            FUZZ_CHECK(strbuf_append_format(sb, "%s!", strbuf_get(sb)) ==
                       static_cast<int>(own.size()) + 1);
            append_text(m, (own + "!").substr(0, 16383));
        }
        break;
    }
    case 10: {
        int index = in->ConsumeIntegralInRange(-2, length + 2);
        signed char expected = static_cast<signed char>(
            index >= 0 && index < length ? m->text[static_cast<size_t>(index)] : '\0');
        FUZZ_CHECK(strbuf_getat(sb, index) == expected);
        break;
    }
    case 11: {
        int size = in->ConsumeIntegralInRange(-2, 300);
        size_t bytes = static_cast<size_t>(size < 1 ? m->block : size);
        m->work = m->text.substr(0, std::min(m->text.size(), bytes - 1));
        m->work.resize(bytes, '\0');
        m->lent = true;
        FUZZ_CHECK(strbuf_getBufferSetLength(sb, size) == sb->buffer);
        break;
    }
    case 12: // the caller fills the lent buffer
        if (m->lent) {
            size_t at = in->ConsumeIntegralInRange<size_t>(0, m->work.size() - 1);
            std::string bytes = in->ConsumeBytesAsString(m->work.size() - at);
            memcpy(sb->buffer + at, bytes.data(), bytes.size());
            m->work.replace(at, bytes.size(), bytes);
        }
        break;
    case 13: {
        bool commit = in->ConsumeBool();
        int n = in->ConsumeIntegralInRange(-1, static_cast<int>(m->work.size()) + 3);
        strbuf_releaseBuffer(sb, commit, n);
        if (m->lent && commit) {
            size_t taken = n < 0 ? strnlen(m->work.data(), m->work.size())
                                 : std::min(static_cast<size_t>(n), m->work.size());
            set_text(m, m->work.substr(0, taken));
        }
        m->lent = false;
        m->work.clear();
        break;
    }
    case 14: {
        std::string s = in->ConsumeRandomLengthString(40).c_str();
        FUZZ_CHECK(sign(strbuf_compareNoCase(sb, s.c_str())) ==
                   compare_no_case(m->text.c_str(), s.c_str()));
        break;
    }
    case 15: {
        strbuf_trim(sb);
        size_t first = 0, last = m->text.size();
        while (first < last && is_space(m->text[first]))
            first++;
        while (last > first && is_space(m->text[last - 1]))
            last--;
        m->text = m->text.substr(first, last - first);
        break;
    }
    case 16: {
        Source s = consume_source(in);
        bool no_case = in->ConsumeBool();
        std::string suffix = s.taken();
        bool ends = suffix.size() <= m->text.size();
        for (size_t i = 0; ends && i < suffix.size(); i++) {
            char a = m->text[m->text.size() - suffix.size() + i], b = suffix[i];
            ends = no_case ? fold(a) == fold(b) : a == b;
        }
        FUZZ_CHECK(strbuf_endswith(sb, s.bytes.c_str(), s.n, no_case) == ends);
        break;
    }
    default: {
        int count = in->ConsumeIntegralInRange(-2, length + 2);
        if (count > 0)
            m->text.erase(0, std::min(static_cast<size_t>(count), m->text.size()));
        FUZZ_CHECK(strbuf_ltrunc(sb, count) == static_cast<int>(m->text.size()));
    }
    }
    check(sb, *m);
}

strbuf *create(FuzzedDataProvider *in, Model *m) {
    int block = in->ConsumeIntegralInRange(1, 64);
    bool null = in->ConsumeBool();
    std::string init = in->ConsumeRandomLengthString(100).c_str();
    strbuf *sb = strbuf_create(block, null ? NULL : init.c_str());
    FUZZ_CHECK(sb != NULL);
    *m = {"", 0, block, false, ""};
    set_text(m, null ? "" : init);
    check(sb, *m);
    return sb;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FuzzedDataProvider in(data, size);
    FUZZ_CHECK(strbuf_create(in.ConsumeIntegralInRange(INT_MIN, 0), "x") == NULL);
    Model models[2];
    strbuf *buffers[2] = {create(&in, &models[0]), create(&in, &models[1])};
    for (int steps = 0; steps < 64 && in.remaining_bytes() > 0; steps++) {
        int which = in.ConsumeIntegralInRange(0, 1);
        step(&in, buffers[which], &models[which], buffers[1 - which], &models[1 - which]);
    }
    strbuf_destroy(buffers[0]);
    strbuf_destroy(buffers[1]);
    return 0;
}
