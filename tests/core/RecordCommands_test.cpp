#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "core/RecordWalk.h"
#include "text/TextFileReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace qk {
namespace {

namespace fs = std::filesystem;

class LoadedLog : public testing::Test {
  protected:
    void SetUp() override {
        path_ = fs::temp_directory_path() / ("quellkamp-core-" + std::to_string(getpid()) + ".txt");
    }
    void TearDown() override { fs::remove(path_); }

    bool Load(const std::string& content) {
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << content;
        return ReadDuplicateLog(Text::FromUtf8(path_.string()));
    }

    // Field `field` of every loaded record, in list order.
    static std::vector<std::string> Column(RecordTable& table, Text DuplicateRecord::*field) {
        std::vector<std::string> values;
        for (const std::uint32_t index : table.order)
            values.push_back((RecordAt(table, index).*field).ToUtf8());
        return values;
    }
    // Field `field` of every record of `list`, in list order.
    static std::vector<std::string> Column(ListVariable& list, Text DuplicateRecord::*field) {
        std::vector<std::string> values;
        ResetCursor(list.list);
        while (NextRecord(list.list))
            values.push_back((CurrentDuplicate(list)->*field).ToUtf8());
        return values;
    }

    fs::path path_;
};

using Strings = std::vector<std::string>;

TEST_F(LoadedLog, KeepsAcceptedLinesInFileOrder) {
    ASSERT_TRUE(Load("Kopfzeile\r\n"
                     "D:\\x\\c.par 3 01.01.2001 t u\r\n"
                     "\r\n"
                     "D:\\x\\a.PAR 1 01.01.2001 t u\n"
                     "D:\\y\\a.par 1 01.01.2001 t u\r"
                     "D:\\x\\b.dft 2 01.01.2001 t u"));
    EXPECT_EQ(TableCount(AllRecords), 3);
    EXPECT_EQ(Column(AllRecords, &DuplicateRecord::name), (Strings{"c.par ", "a.par ", "b.dft "}));
    EXPECT_EQ(Column(AllRecords, &DuplicateRecord::shown), (Strings{"1", "1", "1"}));
    EXPECT_EQ(RecordCount(NameMatches.list), 0);
}

TEST_F(LoadedLog, UnopenableOrEmptyLogsLeaveBothListsEmpty) {
    EXPECT_TRUE(Load(""));
    EXPECT_EQ(TableCount(AllRecords), 0);
    ASSERT_TRUE(Load("D:\\x\\a.par 1 01.01.2001 t u\n"));
    EXPECT_EQ(TableCount(AllRecords), 1);
    fs::remove(path_);
    EXPECT_FALSE(ReadDuplicateLog(Text::FromUtf8(path_.string())));
    EXPECT_EQ(TableCount(AllRecords), 0);
    EXPECT_EQ(RecordCount(NameMatches.list), 0);
}

TEST_F(LoadedLog, FindMarksSortKeepsMarksNameMatchesCopy) {
    ASSERT_TRUE(Load("D:\\x\\b.par 20 03.01.2001 t anna\n"
                     "D:\\y\\a.par 10 02.01.2001 t bernd\n"
                     "D:\\z\\b.par 30 01.01.2001 t carla\n"
                     "D:\\z\\B.par 30 01.01.2001 t dora\n"));
    struct FindCase {
        const char16_t* text;
        std::int64_t shown;
        Strings flags;
    };
    const FindCase finds[] = {
        {u"b.par", 2, {"1", "0", "1", "0"}},     // case-sensitive
        {u"2001.01.0", 4, {"1", "1", "1", "1"}}, // the stored date form
        {u"01.01.2001", 0, {"0", "0", "0", "0"}},
        {u"           3", 2, {"0", "0", "1", "1"}}, // the padded size
        {u"", 4, {"1", "1", "1", "1"}},             // an empty find shows everything
        {u"ann", 1, {"1", "0", "0", "0"}},
    };
    for (const FindCase& find : finds) {
        EXPECT_EQ(MarkRecordsByFindText(find.text), find.shown);
        EXPECT_EQ(Column(AllRecords, &DuplicateRecord::shown), find.flags);
    }

    SortAllRecords(RecordField::Date);
    EXPECT_EQ(Column(AllRecords, &DuplicateRecord::user),
              (Strings{"carla", "dora", "bernd", "anna"}));
    EXPECT_EQ(Column(AllRecords, &DuplicateRecord::shown), (Strings{"0", "0", "0", "1"}));

    CollectNameMatches(u"b.par ");
    EXPECT_EQ(Column(NameMatches, &DuplicateRecord::user), (Strings{"carla", "anna"}));
    EXPECT_EQ(Column(NameMatches, &DuplicateRecord::shown), (Strings{"", ""}));
    CollectNameMatches(u"b.par ");
    EXPECT_EQ(RecordCount(NameMatches.list), 2);
    CollectNameMatches(u"Name");
    EXPECT_EQ(RecordCount(NameMatches.list), 0);
}

// Counting without keeping records gives what loading and a find give.
TEST_F(LoadedLog, CountingAgreesWithLoadingAndFinding) {
    std::string log = "Kopf\r\n\xEF\xBB\xBF\n";
    const char* pieces[] = {"D:\\a\\", "b.par",      " ",     "  ",    "1.234,5KB",
                            "12MB",    "16.09.2018", "07:36", "cad01", "j\xC3\xB6rg",
                            ".asm",    "|",          "\"",    "\t",    "x/y"};
    unsigned seed = 7;
    for (int line = 0; line < 3000; ++line) {
        for (int n = 0; n < 9; ++n) {
            seed = seed * 1103515245u + 12345u;
            log += pieces[(seed >> 16) % std::size(pieces)];
        }
        log += line % 3 == 0 ? "\r\n" : "\n";
    }
    ASSERT_TRUE(Load(log));
    const Text path = Text::FromUtf8(path_.string());
    const char16_t* finds[] = {u"",      u"b.par ", u"2018.09.16", u"16.09", u"1.263.616", u" ",
                               u"cad01", u"jörg",   u"zzz",        u"\\",    u".."};
    for (const char16_t* find : finds) {
        const std::int64_t expected = MarkRecordsByFindText(find);
        std::int64_t listed = -1, total = -1;
        ASSERT_EQ(CountDuplicateLog(path, find, listed, total), LoadResult::Loaded);
        EXPECT_EQ(total, TableCount(AllRecords));
        EXPECT_EQ(listed, expected) << Text(find).ToUtf8();
    }
    std::int64_t listed = -1, total = -1;
    fs::remove(path_);
    EXPECT_EQ(CountDuplicateLog(path, u"x", listed, total), LoadResult::CannotOpen);
}

// A visit that walks again, here over a shorter list, gets a buffer of its
// own: the outer walk goes on over its own records.
TEST_F(LoadedLog, NestedWalksEachSeeTheirOwnRecords) {
    ASSERT_TRUE(Load("D:\\x\\b.par 1 01.01.2001 t u\n"
                     "D:\\y\\b.par 2 01.01.2001 t u\n"
                     "D:\\x\\c.par 3 01.01.2001 t u\n"));
    CollectNameMatches(u"b.par ");
    std::string outer, inner;
    WalkRecords(NameMatches, [&](const DuplicateRecord& record) {
        outer += record.path.ToUtf8()[3];
        WalkRecords(NameMatches,
                    [&](const DuplicateRecord& match) { inner += match.path.ToUtf8()[3]; });
    });
    EXPECT_EQ(outer, "xy");
    EXPECT_EQ(inner, "xyxy");
}

TEST(CountLabelText, ListedSlashTotal) {
    EXPECT_EQ(CountLabelText(1250, 1250).ToUtf8(), "1250/1250");
    EXPECT_EQ(CountLabelText(17, 1250).ToUtf8(), "17/1250");
    EXPECT_EQ(CountLabelText(0, 0).ToUtf8(), "0/0");
}

} // namespace
} // namespace qk

namespace qk {
namespace {

// Loading tells how far it has come every 16384 lines and stops when told
// to: a cancelled load leaves both lists empty and the file closed.
TEST_F(LoadedLog, ProgressIsReportedAndCancelStopsLoading) {
    // Reports come after each block of some 2 MB the loading thread parsed,
    // and on while the other thread puts the last blocks together: a Cancel
    // once the whole file is read still stops it.
    enum Cancel { Never, AtOnce, WhenAllRead };
    const struct {
        int lines;
        Cancel cancel;
        LoadResult result;
        std::int64_t records;
    } cases[] = {
        {100, Never, LoadResult::Loaded, 100},
        {150000, Never, LoadResult::Loaded, 150000},
        {150000, AtOnce, LoadResult::Cancelled, 0},
        {150000, WhenAllRead, LoadResult::Cancelled, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines);
        std::string log;
        for (int i = 0; i < c.lines; ++i)
            log += "D:\\A\\teil" + std::to_string(i) + ".par 12KB 01.02.2017 13:05 cad\r\n";
        std::ofstream(path_, std::ios::binary | std::ios::trunc) << log;
        std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
        const LoadResult result = ReadDuplicateLog(
            Text::FromUtf8(path_.string()), [&](std::uint64_t read, std::uint64_t size) {
                reports.emplace_back(read, size);
                return c.cancel == Never || (c.cancel == WhenAllRead && read < size);
            });
        EXPECT_EQ(result, c.result);
        for (std::size_t i = 0; i < reports.size(); ++i) {
            EXPECT_EQ(reports[i].second, log.size());
            EXPECT_LE(reports[i].first, log.size());
            if (i > 0) {
                EXPECT_GE(reports[i].first, reports[i - 1].first);
            }
        }
        EXPECT_EQ(TableCount(AllRecords), c.records);
        EXPECT_EQ(AtEndOfFile(0), 0); // no file left open under the log's number
    }
    EXPECT_EQ(ReadDuplicateLog(Text::FromUtf8(path_.string() + ".fehlt"),
                               [](std::uint64_t, std::uint64_t) { return true; }),
              LoadResult::CannotOpen);
}

} // namespace
} // namespace qk
