// The record table and block loading against the straightforward paths:
// line-by-line loading, a find that asks every field of every
// record, a stable sort that compares texts, and the lines of the records
// written one by one.
#include "core/BlockLoading.h"
#include "core/ExportFormats.h"
#include "core/RecordTable.h"
#include "tests/core/ReferencePaths.h"
#include "text/TextPrimitives.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <string>
#include <unistd.h>
#include <vector>

namespace qk {
namespace {

namespace fs = std::filesystem;

// A log of `lines` lines made of pieces that matter to the parser and the
// reader: separators, extensions, sizes, dates, umlauts, broken UTF-8, every
// kind of line end, NUL bytes.
std::string RandomLog(unsigned seed, int lines) {
    static const char* const pieces[] = {"D:\\a\\",
                                         "K:\\Pr\xC3\xBC\x66\\", // a folder with an umlaut
                                         "b.par",
                                         "c.dft ",
                                         " ",
                                         "  ",
                                         "1.234,5KB",
                                         "12MB",
                                         "999",
                                         "16.09.2018",
                                         "01.01.2001",
                                         "07:36",
                                         "cad01",
                                         "j\xC3\xB6rg",
                                         ".asm",
                                         "|",
                                         "\"",
                                         "\t",
                                         "x/y",
                                         "\xC3",
                                         "\xA4",
                                         "\xF0\x9F\x98\x80",
                                         "\xED\xA0\x80",
                                         "\xC0\xAF",
                                         "\r",
                                         "\0",
                                         "\r\n",
                                         "Spann"};
    std::string log = seed % 2 ? "\xEF\xBB\xBF" : "";
    for (int line = 0; line < lines; ++line) {
        for (int n = 0; n < 8; ++n) {
            seed = seed * 1103515245u + 12345u;
            const char* piece = pieces[(seed >> 16) % std::size(pieces)];
            log.append(piece, *piece ? std::strlen(piece) : 1);
        }
        log += line % 3 == 0 ? "\r\n" : line % 3 == 1 ? "\n" : "\r";
    }
    return log;
}

class RecordTableTest : public testing::Test {
  protected:
    void SetUp() override {
        path_ = fs::temp_directory_path() / ("quellkamp-table-" + std::to_string(getpid()));
    }
    void TearDown() override { fs::remove(path_); }

    Text Write(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
        return Text::FromUtf8(path_.string());
    }

    fs::path path_;
};

bool SameFields(const DuplicateRecord& a, const DuplicateRecord& b) {
    return a.path == b.path && a.name == b.name && a.size == b.size && a.date == b.date &&
           a.time == b.time && a.user == b.user;
}

TEST_F(RecordTableTest, BlockLoadingGivesWhatLineByLineLoadingGives) {
    struct Case {
        std::size_t blockBytes;
        int threads;
    };
    const Case cases[] = {{1, 1}, {1, 2}, {2, 2}, {7, 2}, {64, 1}, {100, 2}, {4096, 2}};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        const Text path = Write(RandomLog(seed, 400));
        std::vector<DuplicateRecord> expected;
        ASSERT_TRUE(reference::LoadLineByLine(path, expected));
        ASSERT_GT(expected.size(), 20u);
        for (const Case& c : cases) {
            SCOPED_TRACE("seed " + std::to_string(seed) + ", block " +
                         std::to_string(c.blockBytes) + ", threads " + std::to_string(c.threads));
            RecordTable table;
            ASSERT_EQ(LoadLogTable(path, table, {c.blockBytes, c.threads, seed % 2 == 0}),
                      LoadResult::Loaded);
            ASSERT_EQ(TableCount(table), expected.size());
            for (std::uint32_t i = 0; i < expected.size(); ++i)
                ASSERT_TRUE(SameFields(RecordAt(table, i), expected[i])) << "record " << i;
            EXPECT_EQ(table.shownCount, static_cast<std::int64_t>(expected.size()));

            // Counting decides on bytes where it can: finds that may and may
            // not be looked for in the bytes.
            for (const char16_t* find : {u"1", u"jörg", u"Spann", u"x/y", u"\\", u"|", u"rg\t",
                                         u"\U0001F600", u"\uFFFD", u"a\\"}) {
                std::int64_t listed = -1, total = -1;
                ASSERT_EQ(CountLogRecords(path, find, listed, total, {c.blockBytes, c.threads}),
                          LoadResult::Loaded);
                EXPECT_EQ(total, static_cast<std::int64_t>(expected.size()));
                EXPECT_EQ(listed, MarkByFindText(table, find)) << Text(find).ToUtf8();
            }
        }
    }
    RecordTable table;
    fs::remove(path_);
    EXPECT_EQ(LoadLogTable(Text::FromUtf8(path_.string()), table), LoadResult::CannotOpen);
    EXPECT_EQ(TableCount(table), 0u);
}

TEST_F(RecordTableTest, EdgesOfTheFile) {
    const struct {
        const char* content;
        std::size_t records;
    } cases[] = {
        {"", 0},
        {"\xEF\xBB\xBF", 0},
        {"\xEF\xBB\xBF"
         "D:\\a.par 1 01.01.2001 t u",
         1},
        {"D:\\a.par 1 01.01.2001 t u\r", 1},
        {"D:\\a.par\r\nD:\\b.par\rD:\\c.par\nD:\\d.par", 4},
        {"D:\\a.p\nar 1\r\n", 0},
    };
    for (const auto& c : cases) {
        for (const std::size_t block : {std::size_t{1}, std::size_t{3}, std::size_t{1} << 20}) {
            RecordTable table;
            ASSERT_EQ(LoadLogTable(Write(c.content), table, {block, 2, false}), LoadResult::Loaded);
            EXPECT_EQ(TableCount(table), c.records) << c.content << " block " << block;
        }
    }
}

// A log as the duplicate logs are: few paths, dates, times and users, many
// names and sizes (so a find asks the shared texts all at once).
std::string FewSharedTextsLog(int lines) {
    static const char* const paths[] = {"D:\\a\\", "K:\\Pr\xC3\xBC\x66\\", "x/y/"};
    static const char* const tails[] = {" 16.09.2018 07:36 cad01", " 01.01.2001 13:05 j\xC3\xB6rg"};
    std::string log;
    for (std::int64_t line = 0; line < lines; ++line)
        log += std::string(paths[line % 3]) + "Spann" + std::to_string(line * 7919 % 1000) +
               (line % 2 ? ".par " : ".asm ") + std::to_string(line * 104729 % 100000) +
               tails[line / 3 % 2] + "\n";
    return log;
}

// Marks the table's records by `find`: each mark, and the count, as the
// record-by-record rule has them.
void ExpectFindAsRecordByRecord(RecordTable& table, const char16_t* find) {
    const std::int64_t listed = MarkByFindText(table, find);
    std::int64_t expected = 0;
    for (std::uint32_t i = 0; i < TableCount(table); ++i) {
        const bool shown = reference::Listed(table, i, find);
        ASSERT_EQ(table.shown[i] != 0, shown) << Text(find).ToUtf8() << " record " << i;
        expected += shown;
    }
    EXPECT_EQ(listed, expected) << Text(find).ToUtf8();
}

TEST_F(RecordTableTest, NarrowedFindsMarkAsFullFinds) {
    for (const std::string& log : {RandomLog(11, 3000), FewSharedTextsLog(3000)}) {
        RecordTable table;
        ASSERT_EQ(LoadLogTable(Write(log), table, {512, 2, false}), LoadResult::Loaded);
        ASSERT_GT(TableCount(table), 500u);
        // Typing, deleting, extending at either end, texts found in shared and
        // in own fields, and an empty text in between.
        const char16_t* steps[] = {
            u"D",      u"D:",      u"D:\\",   u"D:\\a",   u"x",       u"",      u"0",
            u"01",     u"2001.01", u"01.01",  u" ",       u"  ",      u"Spann", u"rg",
            u"jörg",   u"c.dft ",  u"\uFFFD", u"\uFFFD?", u"zz",      u"zzz",   u"a",
            u"Spann1", u"Spann12", u"y/S",    u"18.09",   u"2018.09", u"6 K"};
        for (const char16_t* find : steps) {
            ExpectFindAsRecordByRecord(table, find);
            if (HasFatalFailure()) return;
        }
    }
}

// A log long enough to be marked on two threads: the halves meet where
// they should, narrowing or not.
TEST_F(RecordTableTest, FindsOfALongLogMarkAsTheRecordsAsk) {
    RecordTable table;
    // One name twice, first and last: in list order after a sort, its
    // records are found by two threads, one in each half of the order.
    const std::string log = "D:\\e\\Einzeln.psm 2 01.01.2001 01:01 u\n" +
                            FewSharedTextsLog(600'000) + "x/y/Einzeln.psm 2 01.01.2019 01:01 u\n";
    ASSERT_EQ(LoadLogTable(Write(log), table), LoadResult::Loaded);
    for (const char16_t* find : {u"Spann12", u"Spann123", u"x/y/", u"1"}) {
        ExpectFindAsRecordByRecord(table, find);
        if (HasFatalFailure()) return;
    }
    SortTableByField(table, RecordField::Date);
    const std::u16string name = FieldString(table, 0, RecordField::Name);
    std::vector<std::uint32_t> matches, expected;
    RecordsNamed(table, name, matches);
    std::copy_if(table.order.begin(), table.order.end(), std::back_inserter(expected),
                 [&](std::uint32_t i) { return FieldString(table, i, RecordField::Name) == name; });
    EXPECT_EQ(matches, expected);
    EXPECT_EQ(matches, (std::vector<std::uint32_t>{0, TableCount(table) - 1}));
}

// Ranks made in the background, or on first use after that work was called
// off, order as the merge sort does: sorted before, while or after the rank
// work, with or without being called while they wait for ranks.
TEST_F(RecordTableTest, RankSortsAreTheStableSort) {
    const Text path = Write(RandomLog(5, 2000));
    enum Work { CalledOff, Running, Finished };
    const struct {
        Work work;
        bool whileWaiting;
    } cases[] = {
        {CalledOff, false}, {Running, false}, {CalledOff, true}, {Running, true}, {Finished, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "work " << c.work << " called " << c.whileWaiting);
        RecordTable table;
        ASSERT_EQ(LoadLogTable(path, table, {4096, 2, true}), LoadResult::Loaded);
        if (c.work == CalledOff) CallOffRankWork(table);
        if (c.work == Finished) FinishRankWork(table);
        std::vector<std::uint32_t> expected = table.order, before;
        std::array<int, kVisibleFieldCount> calls{};
        int sorting = 0;
        // Meanwhile the list is still as it was.
        const WhileWaiting counted = [&] {
            ++calls[sorting];
            EXPECT_EQ(table.order, before);
        };
        const int fields[] = {1, 3, 3, 0, 2, 5, 4, 1, 2};
        table.cursor = 17;
        const std::uint32_t current = table.order[17];
        for (const int f : fields) {
            const auto field = static_cast<RecordField>(f);
            expected = reference::MergeSorted(table, expected, field);
            before = table.order;
            sorting = f;
            SortTableByField(table, field, c.whileWaiting ? counted : WhileWaiting());
            ASSERT_EQ(table.order, expected) << "field " << f;
            EXPECT_EQ(table.order[table.cursor], current);
        }
        // A column ranked by the sort itself is waited for; names and sizes
        // ranked before are not.
        for (int f = 0; f < kVisibleFieldCount; ++f) {
            const auto field = static_cast<RecordField>(f);
            const bool ranked =
                c.work == Finished && (field == RecordField::Name || field == RecordField::Size);
            if (ranked || !c.whileWaiting) {
                EXPECT_EQ(calls[f], 0) << "field " << f;
            } else if (c.work != Running) {
                EXPECT_GE(calls[f], 1) << "field " << f;
            }
        }
        FinishRankWork(table);
    }
}

TEST_F(RecordTableTest, NameLookupAndListedRowsFollowTheListOrder) {
    RecordTable table;
    ASSERT_EQ(LoadLogTable(Write(RandomLog(3, 2000)), table, {4096, 2, false}), LoadResult::Loaded);
    // Listed rows as the straightforward walk finds them: in storage order
    // (finds narrowing, widening, listing all or none; records added last
    // and in between), after a sort (its last pass collects them), asked twice.
    std::vector<std::uint32_t> rows, expected;
    const auto listed = [&] {
        expected.clear();
        std::copy_if(table.order.begin(), table.order.end(), std::back_inserter(expected),
                     [&](std::uint32_t i) { return table.shown[i] != 0; });
        return expected;
    };
    const auto find = [&](const char16_t* text) {
        return [&, text] { MarkByFindText(table, text); };
    };
    const auto addAt = [&](std::int64_t cursor) {
        return [&, cursor] {
            table.cursor = cursor < 0 ? TableCount(table) - 1 : cursor;
            ASSERT_TRUE(AppendAfterCursor(table, RecordAt(table, 7)));
        };
    };
    const auto sortBy = [&](RecordField field) {
        return [&, field] { SortTableByField(table, field); };
    };
    const auto listAll = [&] { ASSERT_TRUE(ListAllRecords(table)); };
    const auto same = [] {}; // asked again
    const std::vector<std::function<void()>> changes{same,
                                                     find(u"1"),
                                                     find(u"12"),
                                                     find(u"1"),
                                                     find(u"\u00A7none"),
                                                     same,
                                                     find(u""),
                                                     addAt(-1),
                                                     find(u"3"),
                                                     sortBy(RecordField::Date),
                                                     same,
                                                     find(u"2"),
                                                     find(u""),
                                                     sortBy(RecordField::Size),
                                                     find(u"1"),
                                                     find(u"zzz"),
                                                     find(u"1"),
                                                     listAll,
                                                     find(u"5"),
                                                     addAt(-1),
                                                     find(u"4"),
                                                     addAt(3),
                                                     find(u"7"),
                                                     find(u"")};
    for (std::size_t step = 0; step < changes.size(); ++step) {
        changes[step]();
        ListedRecords(table, rows);
        EXPECT_EQ(rows, listed()) << "step " << step;
    }

    // Found by a scan, then among the names in order once they are ranked.
    for (const bool ranked : {false, true}) {
        if (ranked) {
            SortTableByField(table, RecordField::Name);
            SortTableByField(table, RecordField::Date);
        }
        const std::u16string fifth = FieldString(table, table.order[5], RecordField::Name);
        for (const std::u16string_view name :
             {std::u16string_view(fifth), std::u16string_view(u"b.par"), std::u16string_view()}) {
            std::vector<std::uint32_t> matches;
            RecordsNamed(table, name, matches);
            expected.clear();
            std::copy_if(
                table.order.begin(), table.order.end(), std::back_inserter(expected),
                [&](std::uint32_t i) { return FieldString(table, i, RecordField::Name) == name; });
            EXPECT_EQ(matches, expected) << Text(name).ToUtf8() << " ranked " << ranked;
        }
        EXPECT_EQ(table.byName.size(), ranked ? TableCount(table) : 0u);
    }
}

// What a table shows: its records in list order, listed or not, with the
// last find and the names in order.
std::vector<std::string> Shown(RecordTable& table) {
    std::vector<std::string> shown{table.lastFindHolds ? Text(table.lastFind).ToUtf8() : "-"};
    std::vector<std::uint32_t> rows;
    ListedRecords(table, rows);
    for (const std::uint32_t i : table.order) {
        std::string line = table.shown[i] ? "+" : "-";
        for (int field = 0; field < kVisibleFieldCount; ++field)
            line += Text(FieldString(table, i, static_cast<RecordField>(field))).ToUtf8() + "|";
        shown.push_back(line);
    }
    shown.push_back(std::to_string(rows.size()) + " listed, " +
                    std::to_string(table.byName.size()) + " ranked by name");
    return shown;
}

TEST_F(RecordTableTest, SwappedTablesShowEachOthersRecords) {
    RecordTable a, b;
    ASSERT_EQ(LoadLogTable(Write(RandomLog(3, 400)), a, {1024, 2, false}), LoadResult::Loaded);
    ASSERT_EQ(LoadLogTable(Write(RandomLog(4, 300)), b, {4096, 2, false}), LoadResult::Loaded);
    SortTableByField(a, RecordField::Name);
    MarkByFindText(a, u"1");
    MarkByFindText(b, u"cad");
    const std::vector<std::string> shownA = Shown(a), shownB = Shown(b);
    SwapTables(a, b);
    EXPECT_EQ(Shown(a), shownB);
    EXPECT_EQ(Shown(b), shownA);
    // Each keeps working with the texts it took: new ones join them, and
    // emptying the other leaves them whole.
    ClearTable(b);
    a.cursor = -1;
    ASSERT_TRUE(AppendAfterCursor(a, DuplicateRecord{u"Z:\\neu\\", u"neu.par ", u"            1",
                                                     u"2001.01.01", u"t", u"u", u"1"}));
    std::vector<std::string> expected = shownB;
    expected.insert(expected.begin() + 1, "+Z:\\neu\\|neu.par |            1|2001.01.01|t|u|");
    expected.front() = "-";
    expected.back() =
        std::to_string(std::count_if(expected.begin() + 1, expected.end() - 1,
                                     [](const std::string& line) { return line.front() == '+'; })) +
        " listed, 0 ranked by name";
    EXPECT_EQ(Shown(a), expected);
}

// Names and sizes the parser would not make, or makes of malformed sizes:
// ranked in the background (while other sorts run) and on first use, they
// sort as the merge sort does.
TEST(RecordTable, AwkwardNamesAndSizesSortAsTheMergeSort) {
    using namespace std::string_literals;
    const std::u16string texts[] = {u"",
                                    u"    1.263.616",
                                    u"   12.345.678",
                                    u"1.263.616",
                                    u"    1.263.61",
                                    u"    1.263.616 ",
                                    u" 1,5MB",
                                    u"Spannb\u00fcgel-37729.asm ",
                                    u"Spannb\u00fcgel_37729.asm ",
                                    u"Spannb\u00fcgel-37729.asm",
                                    std::u16string{0xDC80, 0xDCFF},
                                    std::u16string{0xDC80},
                                    std::u16string{0xD83D, 0xDE00},
                                    u"\uFFFF",
                                    u"a\0b"s,
                                    u"a"};
    constexpr std::size_t kTexts = std::size(texts);
    for (const bool inBackground : {false, true}) {
        RecordTable table;
        for (std::size_t k = 0; k < 400; ++k)
            ASSERT_TRUE(AppendAfterCursor(table, DuplicateRecord{k % 2 ? u"D:\\" : u"C:\\",
                                                                 Text(texts[k * 7 % kTexts]),
                                                                 Text(texts[k * 11 % kTexts]),
                                                                 u"2001.01.01", u"t", u"u", u"1"}));
        if (inBackground) StartRankWork(table);
        std::vector<std::uint32_t> expected = table.order;
        // Sizes first: asked for before the rank work comes to them, they are
        // taken over by the sort.
        for (const RecordField field : {RecordField::Size, RecordField::Path, RecordField::Name,
                                        RecordField::Size, RecordField::Path, RecordField::Name}) {
            expected = reference::MergeSorted(table, expected, field);
            SortTableByField(table, field);
            ASSERT_EQ(table.order, expected)
                << "field " << static_cast<int>(field) << " in background " << inBackground;
        }
        FinishRankWork(table);
    }
}

TEST(SharedTexts, IdsHoldAcrossGrowthAndADroppedIndex) {
    // Texts that share long starts and differ late, enough of them for
    // several rehashes; after the index is dropped (as after a load), known
    // texts keep their ids and new ones follow the last.
    SharedTexts texts;
    const auto text = [](int k) { return std::string(40, 'x') + std::to_string(k); };
    constexpr int kTexts = 5000;
    for (int k = 0; k < kTexts; ++k)
        ASSERT_EQ(texts.Intern(text(k)), static_cast<std::uint32_t>(k));
    ASSERT_EQ(texts.Intern(""), static_cast<std::uint32_t>(kTexts));
    for (const int drop : {1, 0}) {
        if (drop) texts.DropIndex();
        for (int k = 0; k < kTexts; k += 7)
            ASSERT_EQ(texts.Intern(text(k)), static_cast<std::uint32_t>(k));
        ASSERT_EQ(texts.Intern(""), static_cast<std::uint32_t>(kTexts));
    }
    ASSERT_EQ(texts.Intern(text(kTexts)), static_cast<std::uint32_t>(kTexts + 1));
    EXPECT_EQ(texts[kTexts + 1], text(kTexts));
    EXPECT_EQ(texts.size(), static_cast<std::uint32_t>(kTexts + 2));
}

TEST(RecordTable, AppendsAfterTheCurrentRecord) {
    RecordTable table;
    const auto record = [](const char16_t* name) {
        return DuplicateRecord{u"D:\\", name, u"            1", u"2001.01.01", u"t", u"u", u"1"};
    };
    ASSERT_TRUE(AppendAfterCursor(table, record(u"a.par ")));
    ASSERT_TRUE(AppendAfterCursor(table, record(u"c.par ")));
    table.cursor = 0;
    ASSERT_TRUE(AppendAfterCursor(table, record(u"b.par ")));
    table.cursor = -1;
    ASSERT_TRUE(AppendAfterCursor(table, record(u"0.par ")));
    std::vector<std::string> names;
    for (const std::uint32_t i : table.order)
        names.push_back(FieldText(table, i, RecordField::Name).ToUtf8());
    EXPECT_EQ(names, (std::vector<std::string>{"0.par ", "a.par ", "b.par ", "c.par "}));
    EXPECT_EQ(table.cursor, 0);
    EXPECT_EQ(table.shared[0].size(), 1u); // one path text for all
    ClearTable(table);
    EXPECT_EQ(TableCount(table), 0u);
}

// A loaded segment keeps its sizes as the counts they are made from; a
// record appended with a size of its own keeps that text.
TEST_F(RecordTableTest, SizesOfTheCommonWidthAndAnotherAppended) {
    RecordTable table;
    ASSERT_EQ(LoadLogTable(Write("D:\\a.par 1 1.2.3 t u\nD:\\b.par 12345678901234 1.2.3 t u\n"
                                 "D:\\c.par 2KB 1.2.3 t u\n"),
                           table, {1 << 20, 1, false}),
              LoadResult::Loaded);
    ASSERT_TRUE(AppendAfterCursor(table, {u"D:\\", u"d.par ", u"5", u"", u"", u"", u"1"}));
    std::vector<std::string> sizes;
    for (const std::uint32_t i : table.order)
        sizes.push_back(FieldText(table, i, RecordField::Size).ToUtf8());
    EXPECT_EQ(sizes, (std::vector<std::string>{"            1", "12.345.678.901.234",
                                               "        2.048", "5"}));
    EXPECT_EQ(MarkByFindText(table, u"1.234"), 1); // each found by its own size only
    EXPECT_EQ(MarkByFindText(table, u" 2."), 1);

    ASSERT_EQ(LoadLogTable(Write("D:\\a.par 1 1.2.3 t u\nD:\\b.par 2KB 1.2.3 t u\n"), table,
                           {1 << 20, 1, false}),
              LoadResult::Loaded);
    EXPECT_TRUE(table.segments[0].oddSizeAt.empty()); // every size a count's text
    ASSERT_TRUE(AppendAfterCursor(table, {u"D:\\", u"d.par ", u"5", u"", u"", u"", u"1"}));
    sizes.clear();
    for (const std::uint32_t i : table.order)
        sizes.push_back(FieldText(table, i, RecordField::Size).ToUtf8());
    EXPECT_EQ(sizes, (std::vector<std::string>{"            1", "        2.048", "5"}));
    EXPECT_EQ(MarkByFindText(table, u"1 "), 0);
    EXPECT_EQ(MarkByFindText(table, u"8"), 1);
}

// Texts are stored as bytes, yet order, find and come back as UTF-16 units:
// U+E000-U+FFFF after the surrogates of characters beyond U+FFFF, lone
// surrogates kept; sizes beyond 2^53 show their double, an odd size its text.
TEST(RecordTable, StoredTextsKeepTheUnitsAndTheirOrder) {
    const std::u16string pair = {0xD83D, 0xDE00}, lowAlone = {0xDC80}, highAlone = {0xD83D};
    const std::u16string names[] = {u"\uE000.par",      pair + u".par", highAlone + u"x.par",
                                    lowAlone + u".par", u"\uFFFD.par",  u"z.par",
                                    pair + lowAlone,    u"\u00e4.par"};
    const char16_t* sizes[] = {u"9.007.199.254.740.992",
                               u"            1",
                               u"12",
                               u"9.223.372.036.854.775.808",
                               u"  -1",
                               u"        2.048",
                               u"      -10.000",
                               u"10.000.000.000"};
    RecordTable table;
    for (std::size_t i = 0; i < std::size(names); ++i)
        ASSERT_TRUE(AppendAfterCursor(table, {Text(u"P" + names[(i + 3) % 8]), Text(names[i]),
                                              sizes[i], u"d", u"t", u"u", u"1"}));
    for (std::uint32_t i = 0; i < std::size(names); ++i) {
        EXPECT_EQ(FieldString(table, i, RecordField::Name), names[i]);
        EXPECT_EQ(FieldString(table, i, RecordField::Size), sizes[i]);
    }
    EXPECT_EQ(SizeBytesAt(table, 0), 9007199254740992);
    EXPECT_EQ(SizeBytesAt(table, 3), INT64_MAX);
    EXPECT_EQ(SizeBytesAt(table, 6), -10000);
    for (const RecordField field : {RecordField::Name, RecordField::Path, RecordField::Size}) {
        std::vector<std::uint32_t> expected(std::size(names));
        std::iota(expected.begin(), expected.end(), 0u);
        std::stable_sort(expected.begin(), expected.end(), [&](std::uint32_t a, std::uint32_t b) {
            return FieldString(table, a, field) < FieldString(table, b, field);
        });
        SortTableByField(table, field);
        EXPECT_EQ(table.order, expected) << "field " << static_cast<int>(field);
    }
    for (const std::u16string& find :
         {lowAlone, highAlone, pair, std::u16string(u"\uE000"), std::u16string(u"992"),
          std::u16string(u"2."), std::u16string(u"-1"), std::u16string(u"P\u00e4")}) {
        std::int64_t expected = 0;
        for (std::uint32_t i = 0; i < std::size(names); ++i)
            expected += reference::Listed(table, i, find);
        EXPECT_EQ(MarkByFindText(table, find, false), expected) << Text(find).ToUtf8();
        EXPECT_GT(expected, 0);
    }
    std::vector<std::uint32_t> matches;
    RecordsNamed(table, names[3], matches);
    EXPECT_EQ(matches, std::vector<std::uint32_t>{3});
}

// The lines written straight from the table, in a sorted order that jumps
// over many segments, are those of the records one by one, in every format:
// with fields that are quoted, escaped, made text or left as they stand, in
// chunks of whole lines; a progress that says stop stops the writing.
TEST_F(RecordTableTest, WrittenLinesAreTheLinesOfTheirRecords) {
    RecordTable table;
    ASSERT_EQ(LoadLogTable(Write(RandomLog(5, 3000)), table, {4096, 2, false}), LoadResult::Loaded);
    const std::u16string longPath = u"D:\\" + std::u16string(3000, u'\u00e4') + u"\\";
    const DuplicateRecord awkward[] = {
        {u"=cmd|'/c calc'!A1\\", u"+a.par ", u"-12", u"2018.9.16", u"@t", u"-u", u"1"},
        {u"D:\\a,\"b\"\\", u"x,\"y\r\n.asm ", u" 1.2\u00e4", u"2018.13.01", u"\t", u"\u0085", u"1"},
        {Text(longPath), u"\u007f\u0001\\.psm", u"  -1.234", u"", u"\r", u"x\"", u"1"},
        {u"", u"", u"", u"18.09.16", u"", Text(std::u16string{0xD83D, 0xDE00, 0xDC80}), u"1"},
        // Names straight from their stored bytes, next to those that need
        // escaping, decoding (surrogates; Hangul shares their lead byte) or
        // a spreadsheet's rules; sizes from their counts, on both sides of
        // 2^53 and of the size width.
        {u"D:\\", u"\u00e4\u00f6\u00fc\u00df.PsM\u00e4", u"9.007.199.254.740.991", u"", u"", u"",
         u"1"},
        {u"D:\\", Text(std::u16string{0xD83D, 0xDE00, u'x', u'.', u'a', u's', u'm', 0xD83D}),
         u"-9.007.199.254.740.991", u"", u"", u"", u"1"},
        {u"D:\\", u"\uD55C\uAE00.dft ", u"9.007.199.254.740.992", u"", u"", u"", u"1"},
        {u"D:\\", u"\uE000\uFFFF\u0080\u009F.par\u20AC", u"            0", u"", u"", u"", u"1"},
        {u"D:\\", u"  -5.par ", u"           -1", u"", u"", u"", u"1"},
        {u"D:\\", u"  x.pa", u"  123.456.789", u"", u"", u"", u"1"},
        {u"D:\\", u"abcdefgh\"ijklmnop\\qrstuvw.par ", u"1.234.567.890.123", u"", u"", u"", u"1"},
        {u"D:\\", u"abcdefghijklmnop,qrst\u0001uvw\u007f.par ", u"      -10.000", u"", u"", u"",
         u"1"},
    };
    // Enough rows for two threads to write them; from the 400th copy on a
    // folder of its own for each record, so that the folders are too many to
    // be kept in their format.
    for (int copy = 0; copy < 800; ++copy) {
        for (DuplicateRecord record : awkward) {
            std::u16string path(record.path.view());
            for (const char digit : std::to_string(copy))
                path.push_back(static_cast<char16_t>(digit));
            if (copy >= 400) record.path = Text(path);
            ASSERT_TRUE(AppendAfterCursor(table, record));
        }
    }
    SortTableByField(table, RecordField::Name);
    for (const std::u16string_view find : {u"", u"a"}) { // all records, then some
        MarkByFindText(table, find);
        std::vector<std::uint32_t> rows;
        ListedRecords(table, rows);
        for (const ExportFormat format :
             {ExportFormat::JsonLines, ExportFormat::Csv, ExportFormat::SpreadsheetCsv}) {
            std::string expected;
            AppendHeadingLine(expected, format);
            for (const std::uint32_t index : rows)
                AppendRecordLine(expected, RecordAt(table, index), format);
            std::string written;
            int chunks = 0;
            EXPECT_TRUE(WriteTableRecords(table, rows, format, [&](std::string_view bytes) {
                EXPECT_EQ(bytes.back(), '\n');
                written += bytes;
                return ++chunks > 0;
            }));
            EXPECT_EQ(written, expected) << "format " << static_cast<int>(format);
            EXPECT_GE(chunks, static_cast<int>(expected.size() >> 20));
            int calls = 0; // a write that fails ends the writing
            EXPECT_FALSE(WriteTableRecords(table, rows, format,
                                           [&](std::string_view) { return ++calls > 1; }));
            EXPECT_EQ(calls, 1);
            // Asked before the first record and every 2048th.
            const bool stopped = rows.size() > 2048;
            std::vector<std::uint64_t> asked;
            EXPECT_EQ(WriteTableRecords(
                          table, rows, format, [](std::string_view) { return true; },
                          [&](std::uint64_t done, std::uint64_t total) {
                              EXPECT_EQ(total, rows.size());
                              asked.push_back(done);
                              return done < 2048;
                          }),
                      !stopped);
            const std::vector<std::uint64_t> wanted =
                stopped ? std::vector<std::uint64_t>{0, 2048} : std::vector<std::uint64_t>{0};
            EXPECT_EQ(asked, wanted);
        }
    }
}

} // namespace
} // namespace qk
