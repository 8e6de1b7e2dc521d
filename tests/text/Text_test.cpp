#include "text/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qk {
namespace {

using namespace std::string_view_literals;

struct Utf8Case {
    std::string_view utf8;
    std::u16string_view units;
};

TEST(Text, Utf8RoundTrip) {
    const std::vector<Utf8Case> cases = {
        {"", u""},
        {"plain ascii", u"plain ascii"},
        {"Gr\xC3\xB6\xC3\x9F\x65 \xC3\x84rger \xC3\xBC", u"Größe Ärger ü"},
        {"\xE2\x82\xAC", u"€"},
        {"a\xF0\x9F\x98\x80z", u"a\U0001F600z"},
        {std::string_view("a\0b", 3), std::u16string_view(u"a\0b", 3)},
    };
    for (const auto& c : cases) {
        const Text text = Text::FromUtf8(c.utf8);
        EXPECT_EQ(text, c.units) << c.utf8;
        EXPECT_EQ(text.ToUtf8(), c.utf8);
    }
    EXPECT_EQ(Text::FromUtf8("a\xF0\x9F\x98\x80").size(), 3u);
}

// The text file reader's rules: a cut sequence or an ill-formed complete one
// is one U+FFFD, a byte that can lead no sequence is "?".
TEST(Text, MalformedUtf8DecodesAsTheReaderDoes) {
    const std::vector<Utf8Case> cases = {
        {"a\xFF"
         "b",
         u"a?b"},
        {"\xC3", u"\uFFFD"}, // cut short at the end
        {"\xC3"
         "a",
         u"\uFFFDa"}, // missing continuation
        {"\xE2\x82", u"\uFFFD"},
        {"\xE2\x82"
         "a",
         u"\uFFFDa"},
        {"\xC0\xAF", u"\uFFFD"},         // overlong
        {"\xED\xA0\x80", u"\uFFFD"},     // encoded surrogate
        {"\xF4\x90\x80\x80", u"\uFFFD"}, // beyond U+10FFFF
        {"\x80\x80", u"??"},             // stray continuations
        {"\xF8\x88\x80\x80\x80", u"?????"},
        {"\xF0\x9F\x98", u"\uFFFD"},
        {"\xC3\xC3\xA4", u"\uFFFD\u00E4"}, // the cutting byte starts afresh
    };
    for (const auto& c : cases) {
        const Text text = Text::FromUtf8(c.utf8);
        EXPECT_EQ(text, c.units) << "case of " << c.utf8.size() << " bytes";
    }
}

TEST(Text, UnpairedSurrogateWritesReplacementCharacter) {
    const char16_t lone[] = {u'a', 0xD800, u'b', 0xDC00};
    EXPECT_EQ(Text(std::u16string_view(lone, 4)).ToUtf8(), "a\xEF\xBF\xBD"
                                                           "b\xEF\xBF\xBD");
}

TEST(Text, CopiesShareStorage) {
    const Text original(u"shared");
    Text copy = original;
    EXPECT_EQ(copy.Storage(), original.Storage());
    Text moved = std::move(copy);
    EXPECT_EQ(moved.Storage(), original.Storage());
    EXPECT_TRUE(copy.empty());
    Text assigned;
    assigned = moved;
    Text& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.Storage(), original.Storage());
    EXPECT_EQ(assigned, u"shared"sv);
    EXPECT_EQ(Text(u"shared"), original); // equal contents, separate storage
}

TEST(Text, EmptyTextIsNull) {
    for (const Text& text : {Text(), Text(u""), Text::FromUtf8(""), Text(std::u16string_view())}) {
        EXPECT_TRUE(text.empty());
        EXPECT_EQ(text.Storage(), nullptr);
        EXPECT_EQ(text.size(), 0u);
        ASSERT_NE(text.data(), nullptr);
        EXPECT_EQ(text.data()[0], 0);
    }
    char16_t* units = reinterpret_cast<char16_t*>(1);
    EXPECT_TRUE(Text::Allocate(0, units).empty());
    EXPECT_EQ(units, nullptr);
}

TEST(Text, AllocatedTextIsZeroTerminated) {
    char16_t* units = nullptr;
    const Text text = Text::Allocate(3, units);
    ASSERT_NE(units, nullptr);
    units[0] = u'x';
    units[1] = u'y';
    units[2] = u'z';
    EXPECT_EQ(text, u"xyz"sv);
    EXPECT_EQ(text.data()[3], 0);
}

// Arena texts: each case makes its text among others in one arena, then
// drops the arena and the others; the text must still read as made, and so
// must its copies, with the no-line-feed tag intact. A text too long for a
// chunk becomes an ordinary text; one with a line feed carries no tag.
TEST(TextArena, TextsOutliveTheirArenaAndNeighbours) {
    const std::u16string tooLong(40000, u'x'); // more than a chunk's sixteenth
    const struct {
        const char* label;
        std::u16string units;
        bool withoutLineFeed;
    } cases[] = {
        {"short", u"halter.par ", true},
        {"line feed", u"a\nb", false},
        {"too long for a chunk", tooLong, true},
        {"one unit", u"x", true},
    };
    for (const auto& c : cases) {
        std::vector<Text> copies;
        {
            TextArena arena;
            std::vector<Text> neighbours;
            for (int i = 0; i < 100; ++i)
                neighbours.push_back(arena.Make(u"neighbour"));
            Text made = arena.Make(c.units);
            copies.push_back(made);
            Text moved = std::move(made);
            copies.push_back(moved);
            Text assigned;
            assigned = moved;
            copies.push_back(assigned);
        }
        for (const Text& copy : copies) {
            EXPECT_EQ(copy, std::u16string_view(c.units)) << c.label;
            EXPECT_EQ(copy.KnownWithoutLineFeed(), c.withoutLineFeed) << c.label;
        }
    }
    EXPECT_TRUE(TextArena().Make(u"").empty());
}

// Enough texts for several chunks, released in an order unlike the making:
// every chunk counts its texts on its own.
TEST(TextArena, ManyChunksReleaseIndependently) {
    std::vector<Text> texts;
    {
        TextArena arena;
        for (int i = 0; i < 150000; ++i)
            texts.push_back(
                arena.Make(u"text " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26))));
    }
    for (std::size_t i = 0; i < texts.size(); i += 2)
        texts[i] = Text();
    for (std::size_t i = 1; i < texts.size(); i += 2)
        ASSERT_EQ(texts[i], u"text " + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)));
}

} // namespace
} // namespace qk
