#include "text/TextPrimitives.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qk {
namespace {

using namespace std::string_view_literals;

// Readable failure messages for UTF-16 texts.
std::string Show(std::u16string_view units) {
    std::string out = "'";
    AppendUtf8(out, units);
    return out + "'";
}

struct FindCase {
    std::u16string_view text, sought;
    std::int32_t start, mode;
    std::int64_t expected;
};

TEST(TextPrimitives, FindText) {
    const std::vector<FindCase> cases = {
        {u"a.par.par", u".par", 1, 0, 2},
        {u"a.par.par", u".par", 3, 0, 6},
        {u"a.par.par", u".par", 7, 0, 0},
        {u"abc", u"", 1, 0, 0},
        {u"", u"a", 1, 0, 0},
        {{}, u"a", 1, 0, 0},
        {u"abc", u"c", 4, 0, 0},
        {u"abc", u"c", 3, 0, 3},
        {u"abc", u"a", 0, 0, 1},
        {u"abc", u"a", -5, 0, 1},
        {u"abc", u"a", INT32_MIN, 0, 1},
        {u"abc", u"a", INT32_MAX, 0, 0},
        {u"abc", u"abcd", 1, 0, 0},
        {u"aab", u"ab", 1, 0, 2},
        {u"ABC", u"bc", 1, 0, 0},
        {u"ABC", u"bc", 1, kIgnoreCase, 2},
        {u"xxÄÖÜ", u"äöü", 1, kIgnoreCase, 3},
        {u"x\u0130", u"i", 1, kIgnoreCase, 2}, // İ folds as sorting folds it
        {u"xÄ", u"ä", 1, 0, 0},
        {u"aBaB", u"ab", 2, kIgnoreCase, 3},
        {u"abc", u"x", 1, kIgnoreCase, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindText(c.text, c.sought, c.start, c.mode), c.expected)
            << Show(c.text) << " " << Show(c.sought) << " start " << c.start;
    EXPECT_EQ(FindText(u"a.par.par", u".par"), 2);
}

struct PartCase {
    std::u16string_view text;
    std::int32_t count;
    std::u16string_view left, right;
};

TEST(TextPrimitives, LeftAndRightPart) {
    const std::vector<PartCase> cases = {
        {u"abcde", 2, u"ab", u"de"},
        {u"abcde", 0, u"", u""},
        {u"abcde", -1, u"", u""},
        {u"abcde", INT32_MIN, u"", u""},
        {u"abcde", 5, u"abcde", u"abcde"},
        {u"abcde", 99, u"abcde", u"abcde"},
        {u"abcde", INT32_MAX, u"abcde", u"abcde"},
        {{}, 3, u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LeftPart(c.text, c.count), c.left) << Show(c.text) << " " << c.count;
        EXPECT_EQ(RightPart(c.text, c.count), c.right) << Show(c.text) << " " << c.count;
    }
    EXPECT_TRUE(LeftPart(u"abc", 0).empty());
}

TEST(TextPrimitives, TextLengthCountsCodeUnits) {
    EXPECT_EQ(TextLength({}), 0);
    EXPECT_EQ(TextLength(u"abc"), 3);
    EXPECT_EQ(TextLength(u"a\U0001F600"), 3);
}

struct TrimCase {
    std::u16string_view text;
    bool absentTrim;
    std::u16string_view trim, expected;
};

TEST(TextPrimitives, TrimLeading) {
    const std::vector<TrimCase> cases = {
        {u"  a b ", true, u"", u"a b "},
        {u"    ", true, u"", u""},
        {u"\tab", true, u"", u"\tab"},
        {{}, true, u"", u""},
        {u"xxaxx", false, u"x", u"axx"},
        {u"xyxa", false, u"xy", u"yxa"}, // only the first unit of the trim text
        {u"  a", false, u"", u"  a"},    // an empty trim text removes nothing
    };
    for (const auto& c : cases) {
        const Text result = c.absentTrim ? TrimLeading(c.text) : TrimLeading(c.text, c.trim);
        EXPECT_EQ(result, c.expected) << Show(c.text) << " trim " << Show(c.trim);
    }
}

struct CountCase {
    std::u16string_view text, sought;
    std::int64_t expected;
};

TEST(TextPrimitives, CountText) {
    const std::vector<CountCase> cases = {
        {u"aaaa", u"aa", 2}, {u"aaa", u"aa", 1},   {u"a  b ", u" ", 3},   {u"a b", u"", 0},
        {{}, u"a", 0},       {u"abc", u"abcd", 0}, {u"a::b::", u"::", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountText(c.text, c.sought), c.expected) << Show(c.text) << " " << Show(c.sought);
}

struct FieldCase {
    std::u16string_view text;
    std::int32_t number;
    std::u16string_view separator, expected;
};

TEST(TextPrimitives, FieldAt) {
    const std::vector<FieldCase> cases = {
        {u"a b  c", 1, u" ", u"a"},
        {u"a b  c", 2, u" ", u"b"},
        {u"a b  c", 3, u" ", u""},
        {u"a b  c", 4, u" ", u"c"},
        {u"a b  c", 5, u" ", u""},
        {u"abc", 1, u" ", u"abc"},
        {u"abc", 2, u" ", u""},
        {u" a", 1, u" ", u""},
        {u" a", 2, u" ", u"a"},
        {u"", 1, u" ", u""},
        {u"", 2, u" ", u""},
        {{}, 1, u" ", u""},
        {u"abc", 0, u" ", u""},
        {u"abc", -3, u" ", u""},
        {u"abc", INT32_MIN, u" ", u""},
        {u"a b", INT32_MAX, u" ", u""},
        {u"x::y", 1, u"::", u"x"},
        {u"x::y", 2, u"::", u"y"},
        {u"x:::y", 2, u"::", u":y"},
        {u"x:y::z", 1, u"::", u"x:y"},
        {u"abc", 1, u"", u"abc"},
        {u"abc", 2, u"", u""},
        {u"abc", 1, {}, u"abc"},
        {u"12.05.2023", 3, u".", u"2023"},
        {u"a b ", 3, u" ", u""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FieldAt(c.text, c.number, c.separator), c.expected)
            << Show(c.text) << " field " << c.number << " sep " << Show(c.separator);
}

TEST(TextPrimitives, LastFieldOfTextEndingInSeparatorIsEmpty) {
    for (const std::u16string_view text : {u"a b ", u"a  ", u" ", u"x y z"}) {
        const auto last = static_cast<std::int32_t>(CountText(text, u" ") + 1);
        EXPECT_EQ(FieldAt(text, last + 1, u" "), u""sv) << Show(text);
        if (text.back() == u' ')
            EXPECT_EQ(FieldAt(text, last, u" "), u""sv) << Show(text);
        else
            EXPECT_NE(FieldAt(text, last, u" "), u""sv) << Show(text);
    }
}

struct RemoveCase {
    std::u16string_view text, sought;
    std::int32_t mode, start;
    std::u16string_view expected;
};

TEST(TextPrimitives, RemoveText) {
    const std::vector<RemoveCase> cases = {
        {u"a.b.c", u".", 0, 1, u"abc"},
        {u"aabb", u"ab", 0, 1, u"ab"},
        {u"abc", u"", 0, 1, u"abc"},
        {u"abc", {}, 0, 1, u"abc"},
        {{}, u"a", 0, 1, u""},
        {u"a.b.c", u".", 0, 3, u"a.bc"},
        {u"a.b.c", u".", 0, 0, u"abc"},
        {u"a.b.c", u".", 0, -7, u"abc"},
        {u"a.b.c", u".", 0, 6, u"a.b.c"},
        {u"a.b.c", u".", 0, INT32_MAX, u"a.b.c"},
        {u"...", u".", 0, 1, u""},
        {u"aXbxc", u"x", kIgnoreCase, 1, u"abc"},
        {u"aXbxc", u"x", 0, 1, u"aXbc"},
        {u"abc", u"abcd", 0, 1, u"abc"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RemoveText(c.text, c.sought, c.mode, c.start), c.expected)
            << Show(c.text) << " without " << Show(c.sought) << " start " << c.start;
    EXPECT_EQ(RemoveText(u"a.b", u"."), u"ab"sv);
}

struct ReplaceCase {
    std::u16string_view text, sought, replacement;
    std::int32_t mode, start;
    std::u16string_view expected;
};

TEST(TextPrimitives, ReplaceText) {
    const std::vector<ReplaceCase> cases = {
        {u"a,b,c", u",", u".", 0, 1, u"a.b.c"},
        {u"abc", u"b", u"", 0, 1, u"ac"},
        {u"abc", u"b", {}, 0, 1, u"ac"},
        {u"aba", u"a", u"aa", 0, 1, u"aabaa"},
        {u"aaa", u"aa", u"b", 0, 1, u"ba"},
        {u"abc", u"", u"x", 0, 1, u"abc"},
        {{}, u"a", u"x", 0, 1, u""},
        {u"a,b,c", u",", u"::", 0, 3, u"a,b::c"},
        {u"a,b,c", u",", u".", 0, -1, u"a.b.c"},
        {u"a,b,c", u",", u".", 0, 9, u"a,b,c"},
        {u"xXx", u"x", u"yy", kIgnoreCase, 1, u"yyyyyy"},
        {u"xXx", u"x", u"y", 0, 1, u"yXy"},
        {u"ÄbÄ", u"ä", u"ae", kIgnoreCase, 1, u"aebae"},
        {u"abab", u"ab", u"ba", 2, 1, u"baba"}, // in-place bit, same lengths
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReplaceText(c.text, c.sought, c.replacement, c.mode, c.start), c.expected)
            << Show(c.text) << " " << Show(c.sought) << " by " << Show(c.replacement);
}

struct PadCase {
    std::u16string_view text;
    std::int32_t width;
    bool absentPad;
    std::u16string_view pad, expected;
};

TEST(TextPrimitives, PadLeft) {
    const std::vector<PadCase> cases = {
        {u"a.b", 5, true, u"", u"  a.b"},
        {u"abcdefghijklmnop", 13, true, u"", u"abcdefghijklm"},
        {u"", 3, true, u"", u"   "},
        {{}, 3, true, u"", u"   "},
        {u"abc", 0, true, u"", u""},
        {u"abc", -2, true, u"", u""},
        {u"abc", 3, true, u"", u"abc"},
        {u"7", 4, false, u"0x", u"0007"},
        {u"abc", 5, false, u"", u""},   // padding with the unit 0 ends the text
        {u"abc", 2, false, u"", u"ab"}, // no padding needed
        {u"1.263.616", 13, true, u"", u"    1.263.616"},
    };
    for (const auto& c : cases) {
        const Text result =
            c.absentPad ? PadLeft(c.text, c.width) : PadLeft(c.text, c.width, c.pad);
        EXPECT_EQ(result, c.expected) << Show(c.text) << " width " << c.width;
    }
}

struct PathCase {
    std::u16string_view path, directory, fileName, withoutExtension;
};

TEST(TextPrimitives, DirectoryAndFileNamePart) {
    const std::vector<PathCase> cases = {
        {u"D:\\a\\b.par 12", u"D:\\a\\", u"b.par 12", u"b.par 12"},
        {u"D:\\a\\b.par", u"D:\\a\\", u"b.par", u"b"},
        {u"\"D:\\a\\b.par\"", u"D:\\a\\", u"b.par", u"b"},
        {u"\"b.par\"", u"", u"b.par", u"b"},
        {u"b.par", u"", u"b.par", u"b"},
        {u"x/y|z/w", u"x/", u"w", u"w"},
        {u"|a/b\\c", u"", u"c", u"c"},
        {u"a/b/", u"a/b/", u"", u""},
        {u"x.tar.gz", u"", u"x.tar.gz", u"x.tar"},
        {u"name.", u"", u"name.", u"name."},
        {u"a.b c", u"", u"a.b c", u"a.b c"},
        {u"dir/.profile", u"dir/", u".profile", u".profile"},
        {u".profile", u"", u".profile", u".profile"},
        {u"..x", u"", u"..x", u"."},
        {u"a\\b\"c.d", u"a\\", u"b", u"b"},
        {u"", u"", u"", u""},
        {{}, u"", u"", u""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DirectoryPart(c.path), c.directory) << Show(c.path);
        EXPECT_EQ(FileNamePart(c.path), c.fileName) << Show(c.path);
        EXPECT_EQ(FileNamePart(c.path, kWithoutExtension), c.withoutExtension) << Show(c.path);
    }
}

} // namespace
} // namespace qk

namespace qk {
namespace {

// Long texts over two letters: many near matches at every offset of the
// eight-at-a-time search, against the standard library's search.
TEST(FindTextSearch, AgreesWithPlainSearchOnLongTexts) {
    std::uint32_t seed = 12345;
    const auto next = [&] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    for (int round = 0; round < 3000; ++round) {
        std::u16string text(next() % 80, u'a');
        for (char16_t& unit : text)
            unit = next() % 3 == 0 ? u'b' : u'a';
        std::u16string sought(1 + next() % 6, u'a');
        for (char16_t& unit : sought)
            unit = next() % 3 == 0 ? u'b' : u'a';
        const std::int32_t start = static_cast<std::int32_t>(next() % (text.size() + 2));
        const std::size_t from = start < 1 ? 0 : std::min<std::size_t>(start - 1, text.size());
        const std::size_t at = std::u16string_view(text).find(sought, from);
        const std::int64_t expected = at == std::u16string_view::npos ? 0 : std::int64_t(at) + 1;
        ASSERT_EQ(FindText(text, sought, start), expected) << round;
    }
}

} // namespace
} // namespace qk
