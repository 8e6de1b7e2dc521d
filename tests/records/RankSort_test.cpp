#include "records/RankSort.h"
#include "records/RanksInParts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace qk {
namespace {

// Ranks of every width (one radix pass up to three), with many equal ranks,
// order as a stable sort does, from any starting order.
TEST(RankSort, OrdersAsAStableSortForEveryRankWidth) {
    std::mt19937 random(7);
    for (const unsigned bits : {1u, 11u, 12u, 22u, 23u, 32u}) {
        for (const std::size_t count :
             {std::size_t{0}, std::size_t{1}, std::size_t{2000}, std::size_t{(1 << 19) + 3}}) {
            if (count > 2000 && (bits == 11 || bits == 32)) continue; // two threads: 1-3 passes
            std::vector<std::uint32_t> ranks(count);
            const std::uint64_t limit = std::uint64_t{1} << bits;
            for (std::uint32_t& rank : ranks)
                rank = static_cast<std::uint32_t>((random() % 97) * (limit / 97) % limit);
            if (count > 1) ranks[1] = static_cast<std::uint32_t>(limit - 1);
            // Every index, or (for odd bit counts) the first two thirds of them.
            std::vector<std::uint32_t> order(bits % 2 ? count - count / 3 : count);
            for (std::uint32_t i = 0; i < order.size(); ++i)
                order[i] =
                    static_cast<std::uint32_t>((i * 7919u) % std::max<std::size_t>(count, 1));
            std::vector<std::uint32_t> expected = order;
            std::stable_sort(expected.begin(), expected.end(),
                             [&](std::uint32_t a, std::uint32_t b) { return ranks[a] < ranks[b]; });
            // Every third element marked: the marked ones come out in the new order.
            std::vector<std::uint8_t> marks(count);
            for (std::size_t i = 0; i < count; ++i)
                marks[i] = i % 3 == 0;
            std::vector<std::uint32_t> marked, expectedMarked;
            std::copy_if(expected.begin(), expected.end(), std::back_inserter(expectedMarked),
                         [&](std::uint32_t i) { return marks[i] != 0; });
            ASSERT_TRUE(SortByRanks(order, ranks, marks.data(), &marked));
            EXPECT_EQ(order, expected) << bits << " bits, " << count << " elements";
            EXPECT_EQ(marked, expectedMarked) << bits << " bits, " << count << " elements";
        }
    }
}

TEST(RankSort, DenseRanksShareEqualElementsAndLeaveNoGaps) {
    const std::vector<int> values = {30, 10, 30, 20, 10, 40};
    const std::vector<std::uint32_t> ranks =
        DenseRanks(static_cast<std::uint32_t>(values.size()),
                   [&](std::uint32_t a, std::uint32_t b) { return values[a] < values[b]; });
    EXPECT_EQ(ranks, (std::vector<std::uint32_t>{2, 0, 2, 1, 0, 3}));
    EXPECT_TRUE(DenseRanks(0, [](std::uint32_t, std::uint32_t) { return false; }).empty());
}

// The ranks that comparing the texts gives.
std::vector<std::uint32_t> ComparedRanks(const std::vector<std::u16string_view>& texts) {
    return DenseRanks(static_cast<std::uint32_t>(texts.size()),
                      [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
}

std::vector<std::u16string_view> Views(const std::vector<std::u16string>& texts) {
    return {texts.begin(), texts.end()};
}

// Texts with lone surrogates, which literals cannot hold.
std::u16string Units(std::initializer_list<char16_t> units) {
    return std::u16string(units);
}

std::u16string Repeated(char16_t unit, std::size_t count, std::u16string_view tail = {}) {
    return std::u16string(count, unit) + std::u16string(tail);
}

// Sets whose alphabets give keys of 64, 16, 9 and 3 units, with texts that
// end just before, at and after a key's end, equal starts, NUL and the
// highest units, lone surrogates and the placeholders of bytes that were no
// UTF-8, malformed sizes among well-formed ones, repeats and empty texts.
TEST(RankSort, TextRanksAreTheOrderOfTheUnits) {
    using namespace std::string_literals;
    const std::vector<std::vector<std::u16string>> sets = {
        {},
        {u""},
        {u"", u"", u"a"},
        {Repeated(u'a', 63), Repeated(u'a', 64), Repeated(u'a', 65), Repeated(u'a', 64), u"",
         Repeated(u'a', 128), Repeated(u'a', 129), Repeated(u'a', 127), u"a"},
        {u"    1.263.616", u"   12.345.678", u"1.263.616", u"    1.263.61", u"    1.263.616 ",
         u"            0", u"", u"    1.263.616", u"   12.345.677", Repeated(u' ', 16),
         Repeated(u' ', 15, u"0"), Repeated(u' ', 16, u"0"), Repeated(u' ', 17), Repeated(u'9', 32),
         Repeated(u'9', 33), Repeated(u'9', 31, u"."), u" 1,5MB", u"2..3"},
        {u"Spannb\u00fcgel-37729.asm ", u"Spannb\u00fcgel_37729.asm ", u"Spannb\u00fcgel-3772.asm ",
         u"Spannb\u00fcgel-37729.asm", u"Spannb\u00fcgel-37729.asm ", u"spannb\u00fcgel-37729.asm ",
         u"Spannbugel-37729.asm ", u"Spannb\u00fcgel-37729.asm\t", u"Spannb\u00fcgel-37729.asm  "},
        {Units({0xDC80}),
         Units({0xDCFF}),
         Units({0xDC80, 0xDC80}),
         Units({'a', 0xDC80}),
         Units({'a', 0xDCFF, 0xDC80}),
         Units({0xD800}),
         Units({0xD83D, 0xDE00}),
         u"\uFFFF",
         u"\uFFFE\uFFFF",
         u"\uFFFF\uFFFF",
         u"\uE000",
         u"\u00e4",
         u"z",
         u"\0"s,
         u"\0\0"s,
         u"a\0"s,
         u"a\0b"s,
         u"a",
         u"ab",
         u"B",
         u"\x01"},
    };
    for (const auto& set : sets) {
        const auto texts = Views(set);
        EXPECT_EQ(DenseTextRanks(texts), ComparedRanks(texts)) << set.size() << " texts";
    }
}

// Many texts, enough for the radix passes and for the two threads, with long
// equal starts and many repeats, from alphabets of three and of many units.
TEST(RankSort, TextRanksOfManyTextsAreTheOrderOfTheUnits) {
    std::mt19937 random(19);
    const std::u16string alphabets[] = {u" .0", u"aZ\u00e4\uFFFF_-.0123456789 " +
                                                    Units({0xDC80, 0xD800, 0})};
    for (const std::u16string& alphabet : alphabets) {
        std::vector<std::u16string> set;
        for (int k = 0; k < 70'000; ++k) {
            std::u16string text = k % 3 ? Repeated(alphabet[0], random() % 20) : u"";
            const std::size_t tail = random() % 12;
            for (std::size_t u = 0; u < tail; ++u)
                text.push_back(alphabet[random() % alphabet.size()]);
            set.push_back(k % 5 == 4 ? set[random() % set.size()] : text);
        }
        const auto texts = Views(set);
        const auto expected = ComparedRanks(texts);
        for (const bool twoThreads : {false, true})
            EXPECT_EQ(DenseTextRanks(texts, nullptr, twoThreads), expected) << twoThreads;
        std::vector<std::uint32_t> sorted, ids(texts.size());
        IndicesByRank(expected, *std::max_element(expected.begin(), expected.end()) + 1, sorted);
        std::iota(ids.begin(), ids.end(), 0u);
        std::stable_sort(ids.begin(), ids.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
        EXPECT_EQ(sorted, ids);
    }
    const std::atomic<bool> calledOff{true};
    EXPECT_TRUE(DenseTextRanks({u"b", u"a"}, &calledOff).empty());
}

// Ranks worked out in parts are the ranks of the whole: parts of one
// element up to all; texts that end early, NUL and 0xFF bytes, one start
// shared by most; integers of every width, equal ones, the largest allowed.
TEST(RankSort, RanksInPartsAreTheRanksOfTheWhole) {
    std::vector<std::string> texts = {"",
                                      std::string(1, '\0'),
                                      "a",
                                      std::string("a\0", 2),
                                      "ab",
                                      "\xFF",
                                      "\xFF\xFF\x01",
                                      "b",
                                      "a",
                                      ""};
    for (int k = 0; k < 300; ++k)
        texts.push_back("Spann" + std::to_string(k * 7919 % 1000));
    std::vector<std::uint64_t> counts = {0, 5, 5, 1, (std::uint64_t{1} << 40) - 1, 7, 0};
    for (std::uint64_t k = 0; k < 300; ++k)
        counts.push_back(k * 2654435761u % 977 << (k % 30));
    const auto textCount = static_cast<std::uint32_t>(texts.size());
    const auto countCount = static_cast<std::uint32_t>(counts.size());
    const auto forEachText = [&](const auto& visit) {
        for (std::uint32_t i = 0; i < textCount; ++i)
            visit(i, [&, i] { return std::string_view(texts[i]); });
    };
    const auto forEachCount = [&](const auto& visit) {
        for (std::uint32_t i = 0; i < countCount; ++i)
            visit(i, counts[i]);
    };
    const auto textRanks = DenseRanks(
        textCount, [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
    const auto countRanks = DenseRanks(
        countCount, [&](std::uint32_t a, std::uint32_t b) { return counts[a] < counts[b]; });
    std::vector<std::uint32_t> byText(textCount), sorted;
    std::iota(byText.begin(), byText.end(), 0u);
    std::stable_sort(byText.begin(), byText.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return texts[a] < texts[b]; });
    for (const std::uint32_t part : {1u, 3u, 64u, 100000u}) {
        EXPECT_EQ(
            ByteTextRanksInParts(textCount, forEachText, part, nullptr, part != 100000u, &sorted),
            textRanks)
            << part;
        EXPECT_EQ(sorted, byText) << part;
        EXPECT_EQ(CountRanksInParts(countCount, forEachCount, part), countRanks) << part;
    }
}

} // namespace
} // namespace qk
