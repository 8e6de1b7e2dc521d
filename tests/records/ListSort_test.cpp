#include "records/ListSort.h"

#include "records/RecordListInternal.h"
#include "tests/records/RecordTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace qk::test {
namespace {

using namespace std::string_view_literals;

constexpr auto kOwnKind = static_cast<ElementKind>(-1);

// Comparisons

struct CompareCase {
    std::u16string_view a;
    std::u16string_view b;
    int expected; // sign
};

int Sign(int v) {
    return (v > 0) - (v < 0);
}

constexpr char16_t kHighSurrogateUnit[] = {0xD800};
constexpr std::u16string_view kHighSurrogate(kHighSurrogateUnit, 1);

TEST(CompareTexts, OrdinalByUnsignedUnits) {
    const CompareCase cases[] = {
        {{}, {}, 0},
        {{}, u"", 0},
        {u"", {}, 0},
        {{}, u"a", -1},
        {u"", u" ", -1},
        {u"B", u"a", -1},
        {u"a", u"ab", -1},
        {u"z", u"\u00e4", -1},
        {u" ", u"0", -1},
        {u"9", u"A", -1},
        {u"abc", u"abc", 0},
        {u"abcdefghij", u"abcdefghik", -1},
        {u"abcdefgh", u"abcdefgh\0"sv, -1},
        {u"\u0001", u"\uffff", -1},
        {kHighSurrogate, u"\ue000", -1},
        {u"\u00ff", u"\u0100", -1},
        {u"        1.234", u"       12.345", -1}, // sizes right-aligned to 13
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(CompareTexts(c.a, c.b), c.expected)
            << Text(c.a).ToUtf8() << " vs " << Text(c.b).ToUtf8();
        EXPECT_EQ(CompareTexts(c.b, c.a), -c.expected);
    }
}

TEST(CompareTextsIgnoreCase, FoldsLetterCase) {
    const CompareCase cases[] = {
        {{}, u"", 0},
        {u"", u"A", -1},
        {u"abc", u"ABC", 0},
        {u"a", u"B", -1},
        {u"Zebra", u"apple", 1},
        {u"\u00c4rger", u"\u00e4rger", 0}, // Ä ä
        {u"\u00de", u"\u00fe", 0},         // Þ þ
        {u"\u00d7", u"\u00f7", -1},        // × and ÷ are no letters
        {u"\u0178", u"\u00ff", 0},         // Ÿ ÿ
        {u"\u0141", u"\u0142", 0},         // Ł ł
        {u"\u0130", u"i", 0},              // İ folds as finding folds it
        {u"z", u"\u00c4", -1},
        {u"ab", u"AB ", -1},
        {u"[", u"a", -1}, // '[' lies between the capitals and the small letters
    };
    for (const CompareCase& c : cases) {
        EXPECT_EQ(Sign(CompareTextsIgnoreCase(c.a, c.b)), c.expected)
            << Text(c.a).ToUtf8() << " vs " << Text(c.b).ToUtf8();
        EXPECT_EQ(Sign(CompareTextsIgnoreCase(c.b, c.a)), -c.expected);
    }
}

// Sorting records by a text field

struct TextSortCase {
    const char* description;
    std::vector<Keyed> rows; // label, name key
    std::int32_t options;
    std::vector<std::u16string> expected; // labels, first to last
};

class TextSort : public testing::TestWithParam<std::tuple<TextSortCase, bool>> {
  protected:
    void SetUp() override { UseSortArray(std::get<1>(GetParam())); }
    void TearDown() override { UseSortArray(true); }
};

TEST_P(TextSort, OrdersByName) {
    const TextSortCase& c = std::get<0>(GetParam());
    ListVariable variable;
    RecordList* list = MakeRecList(variable, c.rows);
    SortRecordsByField(list, c.options, kNameField, ElementKind::Text);
    EXPECT_EQ(Users(list), c.expected) << c.description;
    EXPECT_TRUE(LinksConsistent(list));
    EXPECT_EQ(RecordCount(list), static_cast<std::int64_t>(c.rows.size()));
    FreeRecordList(list);
}

const TextSortCase kTextSortCases[] = {
    {"empty list", {}, 0, {}},
    {"one element", {{u"P1", u"x"}}, 0, {u"P1"}},
    {"two equal keys ascending", {{u"P1", u"k"}, {u"P2", u"k"}}, 0, {u"P1", u"P2"}},
    {"two equal keys descending", {{u"P1", u"k"}, {u"P2", u"k"}}, kSortDescending, {u"P1", u"P2"}},
    {"two keys exchanged", {{u"P1", u"b"}, {u"P2", u"a"}}, 0, {u"P2", u"P1"}},
    {"b a b ascending", {{u"P1", u"b"}, {u"P2", u"a"}, {u"P3", u"b"}}, 0, {u"P2", u"P1", u"P3"}},
    {"b a b descending",
     {{u"P1", u"b"}, {u"P2", u"a"}, {u"P3", u"b"}},
     kSortDescending,
     {u"P1", u"P3", u"P2"}},
    {"ordinal order",
     {{u"z", u"z"}, {u"ae", u"\u00e4"}, {u"ab", u"ab"}, {u"a", u"a"}, {u"B", u"B"}},
     0,
     {u"B", u"a", u"ab", u"z", u"ae"}},
    {"absent and empty are equal and first",
     {{u"P1", nullptr}, {u"P2", u"a"}, {u"P3", u""}, {u"P4", nullptr}},
     0,
     {u"P1", u"P3", u"P4", u"P2"}},
    {"absent and empty are equal and last descending",
     {{u"P1", nullptr}, {u"P2", u"a"}, {u"P3", u""}, {u"P4", nullptr}},
     kSortDescending,
     {u"P2", u"P1", u"P3", u"P4"}},
    {"case-sensitive",
     {{u"P1", u"b"}, {u"P2", u"A"}, {u"P3", u"a"}, {u"P4", u"B"}},
     0,
     {u"P2", u"P4", u"P3", u"P1"}},
    {"ignoring case",
     {{u"P1", u"b"}, {u"P2", u"A"}, {u"P3", u"a"}, {u"P4", u"B"}},
     kSortIgnoreCase,
     {u"P2", u"P3", u"P1", u"P4"}},
    {"ignoring case descending",
     {{u"P1", u"b"}, {u"P2", u"A"}, {u"P3", u"a"}, {u"P4", u"B"}},
     kSortIgnoreCase | kSortDescending,
     {u"P1", u"P4", u"P2", u"P3"}},
    {"ignoring case, Latin-1",
     {{u"P1", u"\u00e4x"}, {u"P2", u"\u00c4a"}, {u"P3", u"Z"}},
     kSortIgnoreCase,
     {u"P3", u"P2", u"P1"}},
    {"long shared prefixes",
     {{u"P1", u"C:\\Daten\\Projekt\\Teil-0002.par"},
      {u"P2", u"C:\\Daten\\Projekt\\Teil-0001.par"},
      {u"P3", u"C:\\Daten\\Projekt\\Teil-0002.pa"},
      {u"P4", u"C:\\Daten\\Projekt\\Teil-0002.par"},
      {u"P5", u"C:\\Daten\\Projekt\\"}},
     0,
     {u"P5", u"P2", u"P3", u"P1", u"P4"}},
};

INSTANTIATE_TEST_SUITE_P(ListSort, TextSort,
                         testing::Combine(testing::ValuesIn(kTextSortCases), testing::Bool()),
                         [](const auto& info) {
                             return "Case" + std::to_string(info.index / 2) +
                                    (std::get<1>(info.param) ? "Array" : "InPlace");
                         });

TEST(ListSort, ZeroUnitsInsideTextsSortWithTheirLengthAtEveryDepth) {
    // Zero units would end the keys of the table above, so these are built
    // from strings of their own length.
    ListVariable variable;
    RecordList* list = MakeRecList(variable, {});
    const std::u16string keys[] = {std::u16string(u"ab\0", 3),         u"ab",
                                   std::u16string(u"ab\0\0\0\0\0", 7), std::u16string(u"ab\0", 3),
                                   std::u16string(u"abcd\0", 5),       u"abcd"};
    const char16_t* labels[] = {u"P1", u"P2", u"P3", u"P4", u"P5", u"P6"};
    for (int i = 0; i < 6; ++i) {
        Rec* rec = static_cast<Rec*>(AppendRecord(list));
        rec->user = Text(labels[i]);
        rec->name = Text(keys[i]);
    }
    for (const bool array : {true, false}) {
        UseSortArray(array);
        SortRecordsByField(list, 0, kNameField, ElementKind::Text);
        EXPECT_EQ(Users(list),
                  (std::vector<std::u16string>{u"P2", u"P1", u"P4", u"P3", u"P6", u"P5"}));
        SortRecordsByField(list, kSortDescending, kNameField, ElementKind::Text);
        EXPECT_EQ(Users(list),
                  (std::vector<std::u16string>{u"P5", u"P6", u"P3", u"P1", u"P4", u"P2"}));
        SortRecordsByField(list, 0, kUserField, ElementKind::Text);
    }
    UseSortArray(true);
    FreeRecordList(list);
}

TEST(ListSort, NameThenPathLeavesEqualPathsOrderedByName) {
    ListVariable variable;
    RecordList* list = MakeRecList(variable, {});
    const char16_t* rows[][3] = {{u"R1", u"d2\\", u"c"},
                                 {u"R2", u"d1\\", u"b"},
                                 {u"R3", u"d2\\", u"a"},
                                 {u"R4", u"d1\\", u"a"},
                                 {u"R5", u"d2\\", u"b"}};
    for (const auto& row : rows) {
        Rec* rec = static_cast<Rec*>(AppendRecord(list));
        rec->user = Text(row[0]);
        rec->path = Text(row[1]);
        rec->name = Text(row[2]);
    }
    SortRecordsByField(list, 0, kNameField, ElementKind::Text);
    SortRecordsByField(list, 0, kPathField, ElementKind::Text);
    EXPECT_EQ(Users(list), (std::vector<std::u16string>{u"R4", u"R2", u"R3", u"R5", u"R1"}));
    FreeRecordList(list);
}

TEST(ListSort, CurrentElementStaysCurrent) {
    for (const bool array : {true, false}) {
        UseSortArray(array);
        ListVariable variable;
        RecordList* list =
            MakeRecList(variable, {{u"P1", u"d"}, {u"P2", u"c"}, {u"P3", u"b"}, {u"P4", u"a"}});
        ResetCursor(list);
        NextRecord(list);
        void* current = NextRecord(list); // P2
        SortRecordsByField(list, 0, kNameField, ElementKind::Text);
        EXPECT_EQ(CurrentRecord(list), current);
        EXPECT_EQ(variable.current->Data(), current);
        // The walk goes on from the current element's new place.
        EXPECT_EQ(static_cast<Rec*>(NextRecord(list))->user, Text(u"P1"));
        FreeRecordList(list);
    }
    UseSortArray(true);
}

TEST(ListSort, KindsWithoutAnOrderAndFieldsOutsideTheDataChangeNothing) {
    ListVariable variable;
    const std::vector<Keyed> rows = {{u"P1", u"c"}, {u"P2", u"b"}, {u"P3", u"a"}};
    RecordList* list = MakeRecList(variable, rows);
    const std::vector<std::u16string> loaded = {u"P1", u"P2", u"P3"};
    SortRecordsByField(list, 0, kNameField, ElementKind::Record);
    EXPECT_EQ(Users(list), loaded);
    SortRecordsByField(list, 0, kNameField, kOwnKind); // the list's own kind is 7
    EXPECT_EQ(Users(list), loaded);
    SortRecordsByField(list, 0, kNameField, static_cast<ElementKind>(2));
    EXPECT_EQ(Users(list), loaded);
    SortRecordsByField(list, 0, 56, ElementKind::Text);
    EXPECT_EQ(Users(list), loaded);
    SortRecordsByField(list, 0, -8, ElementKind::Text);
    EXPECT_EQ(Users(list), loaded);
    SortRecordsByField(nullptr, 0, 0, ElementKind::Text);
    FreeRecordList(list);
}

// Sorting a range

struct RangeCase {
    std::int64_t first;
    std::int64_t last;
    std::vector<std::u16string> expected;
    std::u16string current; // label, "-" before the first element
};

TEST(SortRecordRange, SortsOnlyTheRangeAndLeavesTheCursorOnItsLastElement) {
    // Labels equal their keys; the list is f e d c b a.
    const RangeCase cases[] = {
        {1, 4, {u"f", u"b", u"c", u"d", u"e", u"a"}, u"b"},
        {0, 5, {u"a", u"b", u"c", u"d", u"e", u"f"}, u"a"},
        {4, 5, {u"f", u"e", u"d", u"c", u"a", u"b"}, u"a"},
        {2, 2, {u"f", u"e", u"d", u"c", u"b", u"a"}, u"d"},
        {3, 1, {u"f", u"e", u"d", u"c", u"b", u"a"}, u"e"},   // last before first
        {-2, 3, {u"f", u"e", u"d", u"c", u"b", u"a"}, u"c"},  // first outside
        {1, 6, {u"f", u"e", u"d", u"c", u"b", u"a"}, u"-"},   // last outside
        {-1, -1, {u"a", u"b", u"c", u"d", u"e", u"f"}, u"e"}, // whole list, cursor kept
    };
    for (const RangeCase& c : cases) {
        ListVariable variable;
        RecordList* list = MakeRecList(
            variable,
            {{u"f", u"f"}, {u"e", u"e"}, {u"d", u"d"}, {u"c", u"c"}, {u"b", u"b"}, {u"a", u"a"}});
        ResetCursor(list);
        NextRecord(list);
        NextRecord(list); // on e
        SortRecordRange(list, 0, kNameField, ElementKind::Text, c.first, c.last);
        EXPECT_EQ(Users(list), c.expected) << c.first << ".." << c.last;
        const auto* current = static_cast<const Rec*>(CurrentRecord(list));
        EXPECT_EQ(current ? std::u16string(current->user.view()) : u"-", c.current)
            << c.first << ".." << c.last;
        EXPECT_EQ(variable.current ? variable.current->Data() : nullptr, CurrentRecord(list));
        EXPECT_TRUE(LinksConsistent(list));
        FreeRecordList(list);
    }
}

TEST(SortRecordRange, DescendingMiddleRange) {
    ListVariable variable;
    RecordList* list = MakeRecList(
        variable, {{u"1", u"a"}, {u"2", u"b"}, {u"3", u"b"}, {u"4", u"c"}, {u"5", u"a"}});
    SortRecordRange(list, kSortDescending, kNameField, ElementKind::Text, 1, 3);
    EXPECT_EQ(Users(list), (std::vector<std::u16string>{u"1", u"4", u"2", u"3", u"5"}));
    EXPECT_EQ(static_cast<Rec*>(CurrentRecord(list))->user, Text(u"4"));
    FreeRecordList(list);
}

// Numeric kinds

// Elements of one numeric field at offset 0 and a label at offset 8.
struct NumericRec {
    std::byte value[8];
    std::int64_t label;
};
constexpr std::int64_t kNoTexts[] = {-1};

struct NumericCase {
    ElementKind kind;
    std::vector<double> values; // stored as the kind's type
};

void Store(ElementKind kind, double v, std::byte* p) {
    auto put = [p](auto x) { std::memcpy(p, &x, sizeof x); };
    switch (kind) {
    case ElementKind::Int8:
        put(static_cast<std::int8_t>(v));
        break;
    case ElementKind::Int16:
        put(static_cast<std::int16_t>(v));
        break;
    case ElementKind::Int32:
        put(static_cast<std::int32_t>(v));
        break;
    case ElementKind::Float32:
        put(static_cast<float>(v));
        break;
    case ElementKind::UInt16:
    case ElementKind::UInt16Alt:
        put(static_cast<std::uint16_t>(v));
        break;
    case ElementKind::Float64:
        put(v);
        break;
    case ElementKind::Int64:
    case ElementKind::Int64Alt:
        put(static_cast<std::int64_t>(v));
        break;
    case ElementKind::UInt8:
        put(static_cast<std::uint8_t>(v));
        break;
    default:
        break;
    }
}

// The labels in the order a stable sort of the values gives.
std::vector<std::int64_t> StableOrder(const std::vector<double>& values, bool descending) {
    std::vector<std::int64_t> order(values.size());
    for (std::size_t i = 0; i < order.size(); ++i)
        order[i] = static_cast<std::int64_t>(i);
    std::stable_sort(order.begin(), order.end(), [&](std::int64_t a, std::int64_t b) {
        return descending ? values[a] > values[b] : values[a] < values[b];
    });
    return order;
}

std::vector<std::int64_t> NumericLabels(const RecordList* list) {
    std::vector<std::int64_t> labels;
    for (Element* e = list->first; e; e = e->next)
        labels.push_back(static_cast<NumericRec*>(e->Data())->label);
    return labels;
}

TEST(ListSort, NumericKindsOrderByValue) {
    const NumericCase cases[] = {
        {ElementKind::Int8, {5, -1, 127, -128, 0, -1, 5}},
        {ElementKind::Int16, {300, -300, 32767, -32768, 0, 300}},
        {ElementKind::Int32, {70000, -70000, 2147483647, -2147483648.0, 1, 70000}},
        {ElementKind::Float32, {1.5, -2.25, 0, 1e30, -1e30, 1.5, 0.125}},
        {ElementKind::UInt16, {65535, 1, 32768, 0, 1}},
        {ElementKind::Float64, {3.25, -7.5, 1e300, -1e-300, 0, 3.25}},
        {ElementKind::Int64, {5e15, -5e15, 9e18, -9e18, 0, 5e15}},
        {ElementKind::Int64Alt, {-1, 1, -2, 2, 0, -1}},
        {ElementKind::UInt8, {255, 0, 128, 127, 255}},
        {ElementKind::UInt16Alt, {65535, 40000, 2, 40000}},
    };
    for (const bool array : {true, false}) {
        UseSortArray(array);
        for (const NumericCase& c : cases) {
            RecordList* list = CreateRecordList(sizeof(NumericRec), nullptr, kNoTexts, c.kind);
            for (std::size_t i = 0; i < c.values.size(); ++i) {
                auto* rec = static_cast<NumericRec*>(AppendRecord(list));
                Store(c.kind, c.values[i], rec->value);
                rec->label = static_cast<std::int64_t>(i);
            }
            for (const bool descending : {false, true}) {
                // Back to load order by the label first.
                SortRecordsByField(list, 0, 8, ElementKind::Int64);
                SortRecordsByField(list, descending ? kSortDescending : 0, 0, kOwnKind);
                EXPECT_EQ(NumericLabels(list), StableOrder(c.values, descending))
                    << "kind " << static_cast<int>(c.kind) << (descending ? " desc" : " asc")
                    << (array ? " array" : " in place");
                EXPECT_TRUE(LinksConsistent(list));
            }
            FreeRecordList(list);
        }
    }
    UseSortArray(true);
}

TEST(ListSort, FloatZerosAreEqualAndNanFollowsEveryNumber) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {nan, 0.0, -0.0, inf, -inf, -nan, 0.0};
    for (const bool array : {true, false}) {
        UseSortArray(array);
        RecordList* list =
            CreateRecordList(sizeof(NumericRec), nullptr, kNoTexts, ElementKind::Float64);
        for (std::size_t i = 0; i < std::size(values); ++i) {
            auto* rec = static_cast<NumericRec*>(AppendRecord(list));
            Store(ElementKind::Float64, values[i], rec->value);
            rec->label = static_cast<std::int64_t>(i);
        }
        SortRecordsByField(list, 0, 0, ElementKind::Float64);
        EXPECT_EQ(NumericLabels(list), (std::vector<std::int64_t>{4, 1, 2, 6, 3, 0, 5}));
        FreeRecordList(list);
    }
    UseSortArray(true);
}

// Randomized comparison with std::stable_sort

std::u16string RandomKey(std::mt19937& random) {
    static const char16_t kUnits[] = {u'\0', u' ',      u'a',      u'b',
                                      u'B',  u'\u00e4', u'\u00c4', u'\uffff'};
    static const std::u16string kPrefixes[] = {u"", u"C:\\Daten\\Projekte\\",
                                               u"C:\\Daten\\Projekte\\Kunde\\", u"ab"};
    std::u16string key = kPrefixes[random() % std::size(kPrefixes)];
    const std::size_t length = random() % 7;
    for (std::size_t i = 0; i < length; ++i)
        key += kUnits[random() % std::size(kUnits)];
    return key;
}

struct RandomCase {
    std::int32_t options;
    bool array;
};

class RandomTextSort : public testing::TestWithParam<RandomCase> {
  protected:
    void TearDown() override { UseSortArray(true); }
};

TEST_P(RandomTextSort, MatchesStableSort) {
    const RandomCase c = GetParam();
    UseSortArray(c.array);
    std::mt19937 random(1234 + static_cast<unsigned>(c.options));
    constexpr int kCount = 20000; // large enough to be split by its leading byte first
    // Some keys share storage, some are equal texts of their own, some absent.
    std::vector<Text> shared;
    for (int i = 0; i < 20; ++i)
        shared.emplace_back(RandomKey(random));

    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    std::vector<std::pair<std::u16string, int>> expected; // key, label
    for (int i = 0; i < kCount; ++i) {
        Rec* rec = static_cast<Rec*>(AppendRecord(list));
        ASSERT_NE(rec, nullptr);
        rec->size = Text(std::u16string(1, static_cast<char16_t>(i % 60000 + 1)));
        rec->date = Text(std::u16string(1, static_cast<char16_t>(i / 60000 + 1)));
        switch (random() % 4) {
        case 0:
            rec->name = shared[random() % shared.size()];
            break;
        case 1:
            rec->name = Text(shared[random() % shared.size()].view());
            break;
        case 2:
            rec->name = Text(RandomKey(random));
            break;
        default:
            break; // absent
        }
        expected.emplace_back(rec->name.view(), i);
    }
    const bool descending = c.options & kSortDescending;
    const bool ignoreCase = c.options & kSortIgnoreCase;
    std::stable_sort(expected.begin(), expected.end(), [&](const auto& a, const auto& b) {
        const int r =
            ignoreCase ? CompareTextsIgnoreCase(a.first, b.first) : CompareTexts(a.first, b.first);
        return descending ? r > 0 : r < 0;
    });

    SortRecordsByField(list, c.options, kNameField, ElementKind::Text);
    ASSERT_TRUE(LinksConsistent(list));
    int position = 0;
    int mismatches = 0;
    for (Element* e = list->first; e; e = e->next, ++position) {
        const Rec* rec = RecOf(e);
        const int label = (rec->date[0] - 1) * 60000 + (rec->size[0] - 1);
        if (label != expected[position].second) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    FreeRecordList(list);
}

INSTANTIATE_TEST_SUITE_P(ListSort, RandomTextSort,
                         testing::Values(RandomCase{0, true}, RandomCase{kSortDescending, true},
                                         RandomCase{kSortIgnoreCase, true},
                                         RandomCase{kSortIgnoreCase | kSortDescending, true},
                                         RandomCase{0, false}, RandomCase{kSortDescending, false},
                                         RandomCase{kSortIgnoreCase, false}));

TEST(ListSort, RandomNumbersMatchStableSort) {
    std::mt19937 random(99);
    std::vector<double> values;
    for (int i = 0; i < 20000; ++i)
        values.push_back(static_cast<double>(random() % 2000) - 1000);
    for (const ElementKind kind : {ElementKind::Int32, ElementKind::Float64, ElementKind::Int16}) {
        RecordList* list = CreateRecordList(sizeof(NumericRec), nullptr, kNoTexts, kind);
        for (std::size_t i = 0; i < values.size(); ++i) {
            auto* rec = static_cast<NumericRec*>(AppendRecord(list));
            Store(kind, values[i], rec->value);
            rec->label = static_cast<std::int64_t>(i);
        }
        for (const bool descending : {false, true}) {
            SortRecordsByField(list, 0, 8, ElementKind::Int64);
            SortRecordsByField(list, descending ? kSortDescending : 0, 0, kind);
            EXPECT_EQ(NumericLabels(list), StableOrder(values, descending));
        }
        FreeRecordList(list);
    }
}

} // namespace
} // namespace qk::test

namespace qk::test {
namespace {

// (label, name) of every record, first to last, by the links.
std::vector<std::pair<std::u16string, std::u16string>> Snapshot(const RecordList* list) {
    std::vector<std::pair<std::u16string, std::u16string>> rows;
    for (Element* e = list->first; e; e = e->next)
        rows.emplace_back(RecOf(e)->user.view(), RecOf(e)->name.view());
    return rows;
}

// Sorts by name and checks the result against a stable sort of what the
// links held before.
void SortAndCheck(RecordList* list, std::int32_t options, std::int64_t first = -1,
                  std::int64_t last = -1) {
    auto expected = Snapshot(list);
    const auto from = first == -1 ? 0 : first;
    const auto to = first == -1 ? static_cast<std::int64_t>(expected.size()) : last + 1;
    std::stable_sort(expected.begin() + from, expected.begin() + to,
                     [options](const auto& a, const auto& b) {
                         const int c = CompareTexts(a.second, b.second);
                         return options & kSortDescending ? c > 0 : c < 0;
                     });
    SortRecordRange(list, options, kNameField, ElementKind::Text, first, last);
    ASSERT_TRUE(LinksConsistent(list));
    EXPECT_EQ(Snapshot(list), expected);
}

TEST(ListSort, SortsStayRightAfterAppendsAndRangeSortsInBetween) {
    std::mt19937 random(7);
    const Text probe(u"probe");
    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    int label = 0;
    auto append = [&](int n) {
        for (int i = 0; i < n; ++i) {
            Rec* rec = static_cast<Rec*>(AppendRecord(list));
            const char16_t units[] = {u'L', static_cast<char16_t>(u'0' + label++ % 64),
                                      static_cast<char16_t>(u'0' + label / 64)};
            rec->user = Text(std::u16string_view(units, 3));
            rec->name = Text(RandomKey(random));
            rec->shown = probe;
        }
    };
    append(3000);
    SortAndCheck(list, 0);
    SortAndCheck(list, kSortDescending); // from the order the last sort left
    ResetCursor(list);
    for (int i = 0; i < 1000; ++i)
        NextRecord(list);
    append(50); // inserted in the middle
    SortAndCheck(list, 0);
    SortAndCheck(list, kSortDescending, 100, 2000);
    SortAndCheck(list, 0);
    SortAndCheck(list, 0);
    ClearRecords(list);
    EXPECT_EQ(ShareCount(probe), 1u);
    append(500);
    SortAndCheck(list, kSortDescending);
    FreeRecordList(list);
    EXPECT_EQ(ShareCount(probe), 1u);
}

} // namespace
} // namespace qk::test
