#include <gtest/gtest.h>

#include <limits.h>
#include <string.h>
#include <wchar.h>

#include <random>
#include <string>
#include <type_traits>

#include "omx_memory.h"
#include "strbuf.h"

namespace {

std::string text_of(const strbuf *sb) {
    return std::string(sb->text, static_cast<size_t>(sb->length));
}

// Every operation must leave the record's invariants in place.
void expect_sound(const strbuf *sb) {
    ASSERT_NE(sb->text, nullptr);
    EXPECT_GE(sb->length, 0);
    EXPECT_LT(sb->length, sb->capacity);
    EXPECT_EQ(sb->capacity % sb->blockSize, 0);
    EXPECT_EQ(sb->end, sb->text + sb->length);
    EXPECT_EQ(sb->text[sb->length], '\0');
}

TEST(StrbufGrowth, CapacityAfterEachStep) {
    strbuf *sb = strbuf_create(16, "abc");
    ASSERT_NE(sb, nullptr);
    EXPECT_EQ(sb->capacity, 16);
    strbuf_append(sb, "123456789012", -1);
    EXPECT_EQ(sb->capacity, 16);
    strbuf_append(sb, "x", 1); // 15 + 1 + 1 needs a second block
    EXPECT_EQ(sb->capacity, 32);
    strbuf_append(sb, std::string(40, 'y').c_str(), 40); // need 57: whole blocks, not doubling
    EXPECT_EQ(sb->capacity, 64);
    char *before = sb->text;
    strbuf_set_str(sb, std::string(63, 'z').c_str(), 63); // capacity - 1: storage reused
    EXPECT_EQ(sb->text, before);
    strbuf_set_str(sb, std::string(64, 'z').c_str(), 64);
    EXPECT_EQ(sb->capacity, 80);
    strbuf_clear(sb);
    EXPECT_EQ(sb->capacity, 80);
    strbuf_destroy(sb);

    sb = strbuf_create(16, nullptr);
    EXPECT_EQ(sb->capacity, 16);
    strbuf_append(sb, std::string(15, 'a').c_str(), -1); // empty buffer: the replace rule
    EXPECT_EQ(sb->capacity, 16);
    strbuf_destroy(sb);

    EXPECT_EQ(strbuf_create(0, "x"), nullptr);
    EXPECT_EQ(strbuf_create(-4, nullptr), nullptr);
}

TEST(StrbufGrowth, ReserveGrowsByTheAppendRuleOrReportsFailure) {
    EXPECT_EQ(strbuf_reserve(nullptr, 1), -1);
    strbuf *sb = strbuf_create(10, "abcd");
    char *before = sb->text;
    EXPECT_EQ(strbuf_reserve(sb, -7), 0);
    EXPECT_EQ(strbuf_reserve(sb, 5), 0); // 10 - 4 > 5: room already
    EXPECT_EQ(sb->text, before);
    EXPECT_EQ(strbuf_reserve(sb, 6), 0);
    EXPECT_EQ(sb->capacity, 20);                // (4 + 6 + 1) / 10 + 1 blocks
    EXPECT_EQ(strbuf_reserve(sb, INT_MAX), -1); // beyond what an int capacity holds
    EXPECT_EQ(sb->capacity, 20);
    EXPECT_EQ(text_of(sb), "abcd");
    strbuf_destroy(sb);
}

TEST(StrbufText, EmbeddedNulBytesAreCarried) {
    strbuf *sb = strbuf_create(4, nullptr);
    strbuf_set_str(sb, "a\0b", 3);
    strbuf_append(sb, "\0c", 2);
    EXPECT_EQ(text_of(sb), std::string("a\0b\0c", 5));
    strbuf_insert(sb, "X", 1, 1); // the rest starts with a NUL and is kept
    EXPECT_EQ(text_of(sb), std::string("aX\0b\0c", 6));

    strbuf *copy = strbuf_create(8, "old");
    strbuf_copy(copy, sb);
    EXPECT_EQ(text_of(copy), text_of(sb));
    strbuf_copy(copy, copy);
    EXPECT_EQ(text_of(copy), text_of(sb));
    EXPECT_EQ(strbuf_endswith(copy, "b\0c", 3, 0), 1);
    EXPECT_EQ(strbuf_endswith(copy, "B\0C", 3, 1), 1);
    EXPECT_EQ(strbuf_endswith(copy, "b\0d", 3, 1), 0);
    expect_sound(copy);
    strbuf_destroy(copy);
    strbuf_destroy(sb);
}

TEST(StrbufText, InsertPositions) {
    strbuf *sb = strbuf_create(8, "world");
    strbuf_insert(sb, "hello ", -1, 0);
    EXPECT_EQ(text_of(sb), "hello world");
    strbuf_insert(sb, ",", -1, 5);
    EXPECT_EQ(text_of(sb), "hello, world");
    strbuf_insert(sb, "!", -1, 12);
    strbuf_insert(sb, "?", -1, 100);
    strbuf_insert(sb, ">", -1, -3);
    strbuf_insert(sb, nullptr, -1, 2);
    EXPECT_EQ(text_of(sb), ">hello, world!?");
    strbuf_destroy(sb);

    // Prefix, new text and rest are appended in turn, so the capacity is the
    // one the second append chose: 32, where growing for the total would give 48.
    sb = strbuf_create(16, "0123456789");
    strbuf_insert(sb, std::string(21, 'i').c_str(), -1, 5);
    EXPECT_EQ(text_of(sb), "01234" + std::string(21, 'i') + "56789");
    EXPECT_EQ(sb->capacity, 32);
    strbuf_destroy(sb);
}

TEST(StrbufText, SourcesInsideTheOwnTextAreSafe) {
    strbuf *sb = strbuf_create(4, "abc");
    strbuf_append(sb, strbuf_get(sb), -1); // grows while reading the old storage
    EXPECT_EQ(text_of(sb), "abcabc");
    strbuf_set_str(sb, strbuf_get(sb) + 2, -1);
    EXPECT_EQ(text_of(sb), "cabc");
    strbuf_destroy(sb);

    // Inserting in place moves the rest of the text, which the source may lie in.
    sb = strbuf_create(64, "abcdef");
    strbuf_insert(sb, strbuf_get(sb) + 1, 2, 0);
    EXPECT_EQ(text_of(sb), "bcabcdef");
    strbuf_insert(sb, strbuf_get(sb) + 1, 4, 3); // "cabc", across the insertion point
    EXPECT_EQ(text_of(sb), "bcacabcbcdef");
    EXPECT_EQ(sb->capacity, 64);
    expect_sound(sb);
    strbuf_destroy(sb);
}

TEST(StrbufFormat, ClearsFirstCutsAndReportsTheWantedLength) {
    strbuf *sb = strbuf_create(16, "old");
    EXPECT_EQ(strbuf_append_format(sb, "%s!", strbuf_get(sb)), 4);
    EXPECT_EQ(text_of(sb), "oldold!");
    EXPECT_EQ(strbuf_format(sb, "%s!", strbuf_get(sb)), 1); // emptied before formatting
    EXPECT_EQ(text_of(sb), "!");

    std::string big(20000, 'b');
    EXPECT_EQ(strbuf_format(sb, "%s", big.c_str()), 20000);
    EXPECT_EQ(text_of(sb), big.substr(0, 16383));

    strbuf_set_str(sb, "kept", -1);
    // A wide character with no form in the C locale makes the formatting itself fail.
    EXPECT_LT(strbuf_append_format(sb, "%ls", L"\x20AC"), 0);
    EXPECT_EQ(text_of(sb), "kept");
    EXPECT_EQ(strbuf_format(nullptr, "x"), -1);
    strbuf_destroy(sb);
}

TEST(StrbufWorkBuffer, LendCommitAndDrop) {
    strbuf *sb = strbuf_create(8, "hello");
    char *buffer = strbuf_getBufferSetLength(sb, 4);
    ASSERT_NE(buffer, nullptr);
    EXPECT_STREQ(buffer, "hel");
    EXPECT_EQ(sb->bufferSize, 4);
    buffer = strbuf_getBufferSetLength(sb, 0); // replaces the first loan
    EXPECT_EQ(sb->bufferSize, 8);
    EXPECT_STREQ(buffer, "hello");
    memcpy(buffer, "changed", 8);
    strbuf_releaseBuffer(sb, 0, -1);
    EXPECT_EQ(text_of(sb), "hello");
    EXPECT_EQ(sb->buffer, nullptr);
    EXPECT_EQ(sb->bufferSize, 0);
    strbuf_releaseBuffer(sb, 1, 3); // nothing outstanding
    EXPECT_EQ(text_of(sb), "hello");

    buffer = strbuf_getBufferSetLength(sb, 12);
    memcpy(buffer, "new\0text", 8);
    strbuf_releaseBuffer(sb, 1, -1);
    EXPECT_EQ(text_of(sb), "new");

    // A full buffer without a NUL, or a count beyond it, commits the buffer and no more.
    buffer = strbuf_getBufferSetLength(sb, 8);
    memset(buffer, 'f', 8);
    strbuf_releaseBuffer(sb, 1, 1000);
    EXPECT_EQ(text_of(sb), std::string(8, 'f'));
    buffer = strbuf_getBufferSetLength(sb, 8);
    memset(buffer, 'g', 8);
    strbuf_releaseBuffer(sb, 1, -1);
    EXPECT_EQ(text_of(sb), std::string(8, 'g'));

    strbuf_getBufferSetLength(sb, 5);
    char *text = strbuf_detach(sb); // releases the outstanding loan too
    EXPECT_EQ(sb->buffer, nullptr);
    EXPECT_STREQ(text, "gggggggg");
    OmxMemFree(text);
    EXPECT_EQ(sb->capacity, 8); // fresh, empty and usable
    strbuf_append(sb, "again", -1);
    EXPECT_EQ(text_of(sb), "again");
    strbuf_destroy(sb);
}

TEST(StrbufEdit, TrimTruncateCompareAndReaders) {
    strbuf *sb = strbuf_create(16, "  a b \t\n");
    strbuf_trim(sb);
    strbuf_append(sb, "c", 1); // continues right after the trimmed text
    EXPECT_EQ(text_of(sb), "a bc");
    EXPECT_EQ(strbuf_ltrunc(sb, -2), 4);
    EXPECT_EQ(strbuf_ltrunc(sb, 2), 2);
    EXPECT_EQ(text_of(sb), "bc");

    strbuf_set_str(sb, "Hello", -1);
    EXPECT_EQ(strbuf_endswith(sb, "LLO", -1, 0), 0);
    EXPECT_EQ(strbuf_endswith(sb, "LLO", -1, 1), 1);
    EXPECT_EQ(strbuf_endswith(sb, "xHello", -1, 1), 0);
    EXPECT_EQ(strbuf_endswith(sb, "zzz", 0, 0), 1);
    EXPECT_EQ(strbuf_endswith(sb, nullptr, -1, 0), 1);
    EXPECT_EQ(strbuf_compareNoCase(sb, "HELLO"), 0);
    EXPECT_LT(strbuf_compareNoCase(sb, "help"), 0);

    strbuf_set_str(sb, "a\x80", -1);
    static_assert(std::is_same_v<decltype(strbuf_getat(sb, 1)), signed char>);
    EXPECT_EQ(strbuf_getat(sb, 1), -128); // also where plain char is unsigned
    EXPECT_EQ(strbuf_getat(sb, -1), '\0');
    EXPECT_EQ(strbuf_getat(sb, 2), '\0');
    strbuf_destroy(sb);

    EXPECT_EQ(strbuf_length(nullptr), 0);
    EXPECT_EQ(strbuf_get(nullptr), nullptr);
    EXPECT_EQ(strbuf_ltrunc(nullptr, 3), 0);
    EXPECT_EQ(strbuf_detach(nullptr), nullptr);
    EXPECT_EQ(strbuf_getBufferSetLength(nullptr, 4), nullptr);
    strbuf_clear(nullptr);
    strbuf_destroy(nullptr);
    strbuf_trim(nullptr);
}

// A plain model of the text and of the capacity the growth rule gives.
struct Model {
    std::string text;
    int capacity;
    int block;

    int above(long long need) const {
        return static_cast<int>((need / block + 1) * block);
    }
    void set(const std::string &s) {
        if (static_cast<int>(s.size()) >= capacity)
            capacity = above(static_cast<long long>(s.size()));
        text = s;
    }
    void append(const std::string &s) {
        if (text.empty())
            return set(s);
        if (capacity - static_cast<int>(text.size()) <= static_cast<int>(s.size()))
            capacity = above(static_cast<long long>(text.size() + s.size() + 1));
        text += s;
    }
    void insert(const std::string &s, size_t pos) {
        if (pos >= text.size())
            return append(s);
        std::string prefix = text.substr(0, pos), rest = text.substr(pos);
        text.clear();
        append(prefix);
        append(s);
        append(rest);
    }
};

std::string random_text(std::mt19937 &rng, int maxLength) {
    static const char alphabet[] = {'a', 'B', ' ', '\t', '\0', 'z', '\n', '7'};
    std::string s(static_cast<size_t>(rng() % static_cast<unsigned>(maxLength + 1)), ' ');
    for (char &c : s)
        c = alphabet[rng() % sizeof alphabet];
    return s;
}

TEST(StrbufModel, RandomOperationsMatchTheModel) {
    for (int block : {1, 3, 16, 64}) {
        std::mt19937 rng(static_cast<unsigned>(block));
        strbuf *sb = strbuf_create(block, "seed");
        Model model{"", 0, block};
        model.set("seed");
        for (int step = 0; step < 3000; step++) {
            std::string s = random_text(rng, 3 * block + 5);
            int n = static_cast<int>(s.size());
            int pos = static_cast<int>(rng() % (model.text.size() + 3));
            // Long texts make the block boundaries rare: cut them back now and then.
            unsigned op = model.text.size() > static_cast<size_t>(6 * block + 20) ? 4 : rng() % 10;
            switch (op) {
            case 0:
                strbuf_set_str(sb, s.data(), n);
                model.set(s);
                break;
            case 1:
            case 2:
                strbuf_append(sb, s.data(), n);
                model.append(s);
                break;
            case 3:
                strbuf_insert(sb, s.data(), n, pos);
                model.insert(s, static_cast<size_t>(pos));
                break;
            case 4:
                EXPECT_EQ(strbuf_ltrunc(sb, pos), static_cast<int>(model.text.size()) - pos > 0
                                                      ? static_cast<int>(model.text.size()) - pos
                                                      : 0);
                model.text.erase(0, static_cast<size_t>(pos));
                break;
            case 5: {
                strbuf_trim(sb);
                size_t first = model.text.find_first_not_of(" \t\n");
                model.text = first == std::string::npos
                                 ? ""
                                 : model.text.substr(first, model.text.find_last_not_of(" \t\n") -
                                                                first + 1);
                break;
            }
            case 6:
                model.append("<" + std::to_string(pos) + ">");
                EXPECT_EQ(strbuf_append_format(sb, "<%d>", pos),
                          static_cast<int>(std::to_string(pos).size()) + 2);
                break;
            case 7:
                EXPECT_EQ(strbuf_reserve(sb, pos), 0);
                if (model.capacity - static_cast<int>(model.text.size()) <= pos)
                    model.capacity =
                        model.above(static_cast<long long>(model.text.size()) + pos + 1);
                break;
            case 8: {
                char *buffer = strbuf_getBufferSetLength(sb, n + 1);
                memcpy(buffer, s.data(), s.size());
                strbuf_releaseBuffer(sb, 1, n);
                model.set(s);
                break;
            }
            case 9: { // capacity never shrinks otherwise
                char *detached = strbuf_detach(sb);
                ASSERT_NE(detached, nullptr);
                EXPECT_EQ(std::string(detached, model.text.size()), model.text);
                OmxMemFree(detached);
                model.text.clear();
                model.capacity = block;
                break;
            }
            }
            ASSERT_EQ(text_of(sb), model.text) << "block " << block << " step " << step;
            ASSERT_EQ(sb->capacity, model.capacity) << "block " << block << " step " << step;
            expect_sound(sb);
        }
        strbuf_destroy(sb);
    }
}

} // namespace
