#include "records/RecordList.h"

#include "records/RecordListInternal.h"
#include "tests/records/RecordTestSupport.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace qk::test {
namespace {

// The label of the current record, or "-" before the first element.
std::u16string CurrentLabel(const RecordList* list) {
    const auto* rec = static_cast<const Rec*>(CurrentRecord(list));
    return rec ? std::u16string(rec->user.view()) : u"-";
}

// A script of cursor operations, one character each, with the label for
// appends in the character that follows "+":
//   +X  AppendRecord, labelled X     r  ResetCursor
//   n   NextRecord                   c  ClearRecords
struct CursorCase {
    const char* description;
    const char16_t* script;
    std::vector<std::u16string> order; // the list afterwards, first to last
    std::u16string current;            // label of the current record, "-" for none
    std::u16string nextResults;        // what each n yielded ("-" for none)
};

class CursorScript : public testing::TestWithParam<CursorCase> {};

TEST_P(CursorScript, LeavesOrderAndCursor) {
    const CursorCase& c = GetParam();
    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    ASSERT_NE(list, nullptr);
    std::u16string nextResults;
    for (const char16_t* op = c.script; *op; ++op) {
        switch (*op) {
        case u'+': {
            auto* rec = static_cast<Rec*>(AppendRecord(list));
            ASSERT_NE(rec, nullptr);
            rec->user = Text(std::u16string_view(++op, 1));
            break;
        }
        case u'r':
            ResetCursor(list);
            break;
        case u'n': {
            const auto* rec = static_cast<const Rec*>(NextRecord(list));
            nextResults += rec ? rec->user.view() : u"-";
            break;
        }
        case u'c':
            ClearRecords(list);
            break;
        }
        // The variable mirrors the list after every operation.
        ASSERT_EQ(variable.list, list);
        ASSERT_EQ(variable.current ? variable.current->Data() : nullptr, CurrentRecord(list));
        ASSERT_TRUE(LinksConsistent(list));
    }
    EXPECT_EQ(Users(list), c.order);
    EXPECT_EQ(RecordCount(list), static_cast<std::int64_t>(c.order.size()));
    EXPECT_EQ(CurrentLabel(list), c.current);
    EXPECT_EQ(nextResults, c.nextResults);
    FreeRecordList(list);
}

INSTANTIATE_TEST_SUITE_P(
    RecordList, CursorScript,
    testing::Values(
        CursorCase{"new list: next yields none and stays before the first", u"nn", {}, u"-", u"--"},
        CursorCase{"appends fill in call order", u"+P+Q+R", {u"P", u"Q", u"R"}, u"R", u""},
        CursorCase{"walk yields P Q R, then none on the last",
                   u"+P+Q+Rrnnnnn",
                   {u"P", u"Q", u"R"},
                   u"R",
                   u"PQR--"},
        CursorCase{"append after a walk to the end adds at the end",
                   u"+P+Q+Rrnnnn+Sn",
                   {u"P", u"Q", u"R", u"S"},
                   u"S",
                   u"PQR--"},
        CursorCase{"append after reset adds at the front",
                   u"+P+Q+Rr+S",
                   {u"S", u"P", u"Q", u"R"},
                   u"S",
                   u""},
        CursorCase{"append after the first next inserts after it",
                   u"+P+Q+Rrn+X",
                   {u"P", u"X", u"Q", u"R"},
                   u"X",
                   u"P"},
        CursorCase{"walk after a front insert starts at the new first",
                   u"+P+Qr+Srnnn",
                   {u"S", u"P", u"Q"},
                   u"Q",
                   u"SPQ"},
        CursorCase{"clear empties; the next append starts from the front",
                   u"+P+Q+Rc+S+T",
                   {u"S", u"T"},
                   u"T",
                   u""},
        CursorCase{"next after clear yields none", u"+P+Qcn", {}, u"-", u"-"},
        CursorCase{"one element: next, next", u"+Prnn", {u"P"}, u"P", u"P-"}),
    [](const testing::TestParamInfo<CursorCase>& info) {
        return "Case" + std::to_string(info.index);
    });

TEST(RecordList, NewListIsEmptyAndBindsTheVariable) {
    ListVariable variable{nullptr, reinterpret_cast<Element*>(&variable)};
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(variable.list, list);
    EXPECT_EQ(variable.current, nullptr);
    EXPECT_EQ(VariableOf(list), &variable);
    EXPECT_EQ(RecordCount(list), 0);
    EXPECT_EQ(CurrentRecord(list), nullptr);
    FreeRecordList(list);
}

TEST(RecordList, NewElementIsZeroFilledAndItsTextsAreEmpty) {
    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    // Fill, clear and append again so the slot is a reused one.
    for (int i = 0; i < 3; ++i) {
        Rec* rec = static_cast<Rec*>(AppendRecord(list));
        rec->path = rec->name = rec->size = rec->date = rec->time = rec->user = rec->shown =
            Text(u"xyz");
    }
    ClearRecords(list);
    auto* rec = static_cast<Rec*>(AppendRecord(list));
    ASSERT_NE(rec, nullptr);
    for (const Text* t :
         {&rec->path, &rec->name, &rec->size, &rec->date, &rec->time, &rec->user, &rec->shown}) {
        EXPECT_EQ(t->Storage(), nullptr);
        EXPECT_TRUE(t->view().empty());
    }
    Element* element = list->current;
    EXPECT_EQ(element->Data(), rec);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(rec) % 8, 0u);
    FreeRecordList(list);
}

TEST(RecordList, ClearAndFreeReleaseTheTextsOfTheElements) {
    const Text probe(u"shared text");
    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    for (int i = 0; i < 40; ++i) {
        Rec* rec = static_cast<Rec*>(AppendRecord(list));
        rec->path = probe;
        rec->shown = probe;
    }
    EXPECT_EQ(ShareCount(probe), 81u);
    ClearRecords(list);
    EXPECT_EQ(ShareCount(probe), 1u);
    EXPECT_EQ(RecordCount(list), 0);
    EXPECT_EQ(list->first, nullptr);
    EXPECT_EQ(list->last, nullptr);

    static_cast<Rec*>(AppendRecord(list))->user = probe;
    EXPECT_EQ(ShareCount(probe), 2u);
    FreeRecordList(list);
    EXPECT_EQ(ShareCount(probe), 1u);
}

TEST(RecordList, OnlyTextsInsideTheDataAreReleased) {
    // Offset 16 lies outside 16 bytes of data; it must be left alone.
    constexpr std::int64_t map[] = {8, 16, 8, -1};
    const Text probe(u"p");
    ListVariable variable;
    RecordList* list = CreateRecordList(16, &variable, map, ElementKind::Record);
    ASSERT_NE(list, nullptr);
    auto* data = static_cast<Text*>(AppendRecord(list));
    data[1] = probe;
    EXPECT_EQ(ShareCount(probe), 2u);
    FreeRecordList(list);
    EXPECT_EQ(ShareCount(probe), 1u);
}

TEST(RecordList, FreeThenCreateOnTheSameVariable) {
    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    AppendRecord(list);
    AppendRecord(list);
    FreeRecordList(variable.list);
    EXPECT_EQ(variable.list, nullptr);
    EXPECT_EQ(variable.current, nullptr);

    FreeRecordList(variable.list); // holds no list: nothing happens
    FreeRecordList(nullptr);

    list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(variable.list, list);
    EXPECT_EQ(RecordCount(list), 0);
    EXPECT_EQ(NextRecord(list), nullptr);
    FreeRecordList(list);
}

TEST(RecordList, ListWithoutVariableMakesItsOwn) {
    RecordList* list = CreateRecordList(sizeof(Rec), nullptr, kRecFieldMap, ElementKind::Record);
    ASSERT_NE(list, nullptr);
    ListVariable* variable = VariableOf(list);
    ASSERT_NE(variable, nullptr);
    EXPECT_EQ(variable->list, list);
    void* data = AppendRecord(list);
    EXPECT_EQ(variable->current->Data(), data);
    FreeRecordList(list);
}

TEST(RecordList, FreeLeavesAVariableThatWasBoundToAnotherList) {
    ListVariable variable;
    RecordList* old = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    FreeRecordList(old);
    EXPECT_EQ(variable.list, list);
    FreeRecordList(list);
    EXPECT_EQ(variable.list, nullptr);
}

TEST(RecordList, RejectedCreationAndNoListAreHarmless) {
    ListVariable variable;
    EXPECT_EQ(CreateRecordList(-1, &variable, kRecFieldMap, ElementKind::Record), nullptr);
    EXPECT_EQ(variable.list, nullptr);
    EXPECT_EQ(AppendRecord(nullptr), nullptr);
    EXPECT_EQ(NextRecord(nullptr), nullptr);
    EXPECT_EQ(CurrentRecord(nullptr), nullptr);
    EXPECT_EQ(RecordCount(nullptr), 0);
    EXPECT_EQ(VariableOf(nullptr), nullptr);
    ClearRecords(nullptr);
    ResetCursor(nullptr);
}

// Data sizes used below by no other test, so each test sees its own pool.
constexpr std::int64_t kSharedPoolData = 200;
constexpr std::int64_t kGrowthPoolData = 120;
constexpr std::int64_t kReusePoolData = 136;

TEST(ElementPool, SharedByListsOfOneSlotSizeAndReleasedByTheLast) {
    EXPECT_EQ(ElementPoolStatsFor(kSharedPoolData).users, 0);
    RecordList* a = CreateRecordList(kSharedPoolData, nullptr, nullptr, ElementKind::Record);
    // 197 bytes round up to the same slot size and share the pool.
    RecordList* b = CreateRecordList(kSharedPoolData - 3, nullptr, nullptr, ElementKind::Record);
    ElementPoolStats stats = ElementPoolStatsFor(kSharedPoolData);
    EXPECT_EQ(stats.users, 2);
    EXPECT_EQ(stats.slotSize, 8 + 16 + kSharedPoolData);

    for (int i = 0; i < 10; ++i)
        AppendRecord(a);
    for (int i = 0; i < 6; ++i)
        AppendRecord(b);
    stats = ElementPoolStatsFor(kSharedPoolData);
    EXPECT_EQ(stats.blocks, 1); // the 16 slots of the first block serve both lists
    EXPECT_EQ(stats.slotsInUse, 16);

    FreeRecordList(a);
    stats = ElementPoolStatsFor(kSharedPoolData);
    EXPECT_EQ(stats.users, 1);
    EXPECT_EQ(stats.slotsInUse, 6);
    FreeRecordList(b);
    EXPECT_EQ(ElementPoolStatsFor(kSharedPoolData).users, 0);
}

TEST(ElementPool, GrowsByASixteenthAndGivesEmptiedBlocksBack) {
    RecordList* list = CreateRecordList(kGrowthPoolData, nullptr, nullptr, ElementKind::Record);
    struct Step {
        int appends; // total appended so far
        std::int64_t totalSlots;
        std::int64_t blocks;
    };
    // Blocks of 16 until the pool holds 512 slots, then 32 (512 / 16), and
    // a sixteenth rounded down to a multiple of 16 from there on.
    const Step steps[] = {{1, 16, 1},     {16, 16, 1},    {17, 32, 2},    {512, 512, 32},
                          {513, 544, 33}, {544, 544, 33}, {545, 576, 34}, {1024, 1056, 46}};
    int appended = 0;
    for (const Step& step : steps) {
        while (appended < step.appends) {
            ASSERT_NE(AppendRecord(list), nullptr);
            ++appended;
        }
        const ElementPoolStats stats = ElementPoolStatsFor(kGrowthPoolData);
        EXPECT_EQ(stats.totalSlots, step.totalSlots) << step.appends;
        EXPECT_EQ(stats.blocks, step.blocks) << step.appends;
    }
    ClearRecords(list);
    const ElementPoolStats stats = ElementPoolStatsFor(kGrowthPoolData);
    EXPECT_EQ(stats.users, 1);
    EXPECT_EQ(stats.blocks, 0);
    EXPECT_EQ(stats.totalSlots, 0);
    EXPECT_EQ(stats.slotsInUse, 0);
    FreeRecordList(list);
}

TEST(ElementPool, ReturnedSlotsAreReusedFirst) {
    RecordList* a = CreateRecordList(kReusePoolData, nullptr, nullptr, ElementKind::Record);
    RecordList* b = CreateRecordList(kReusePoolData, nullptr, nullptr, ElementKind::Record);
    std::set<void*> slotsOfA;
    for (int i = 0; i < 10; ++i)
        slotsOfA.insert(AppendRecord(a));
    AppendRecord(b); // keeps the block alive
    ClearRecords(a);
    EXPECT_EQ(ElementPoolStatsFor(kReusePoolData).blocks, 1);
    // The block's untouched slots stay unused while returned ones are left.
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(slotsOfA.count(AppendRecord(a))) << i;
    EXPECT_FALSE(slotsOfA.count(AppendRecord(a)));
    EXPECT_EQ(ElementPoolStatsFor(kReusePoolData).totalSlots, 16);
    FreeRecordList(a);
    FreeRecordList(b);
}

TEST(RecordList, HundredThousandElementsAppendedClearedAndReused) {
    constexpr int kCount = 100000;
    const Text probe(u"probe");
    ListVariable variable;
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < kCount; ++i) {
            Rec* rec = static_cast<Rec*>(AppendRecord(list));
            ASSERT_NE(rec, nullptr);
            rec->name = probe;
            rec->user = Text(std::u16string(u"u") + static_cast<char16_t>(u'0' + i % 10));
        }
        EXPECT_EQ(RecordCount(list), kCount);
        EXPECT_EQ(ShareCount(probe), kCount + 1u);
        ResetCursor(list);
        int walked = 0;
        bool inOrder = true;
        while (auto* rec = static_cast<Rec*>(NextRecord(list))) {
            inOrder = inOrder && rec->user.view()[1] == u'0' + walked % 10;
            ++walked;
        }
        EXPECT_EQ(walked, kCount);
        EXPECT_TRUE(inOrder);
        ClearRecords(list);
        EXPECT_EQ(ShareCount(probe), 1u);
        EXPECT_EQ(ElementPoolStatsFor(sizeof(Rec)).slotsInUse, 0);
    }
    FreeRecordList(list);
}

} // namespace
} // namespace qk::test
