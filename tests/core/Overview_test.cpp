// The overview's rules on small crafted logs: each case is a few records, a
// find, and the lines the lister prints for the groups and the pairs.
#include "core/Overview.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qk {
namespace {

struct Row {
    std::u16string path, name, size, date = u"2020.01.01", time = u"10:00";
};

void Fill(RecordTable& table, const std::vector<Row>& rows) {
    for (const Row& row : rows)
        ASSERT_TRUE(
            AppendAfterCursor(table, DuplicateRecord{Text(row.path), Text(row.name), Text(row.size),
                                                     Text(row.date), Text(row.time), u"u", u"1"}));
}

Overview Compute(RecordTable& table, std::u16string_view find = u"") {
    MarkByFindText(table, find);
    Overview overview;
    EXPECT_EQ(ComputeOverview(table, NameRanks(table), overview), OverviewResult::Done);
    return overview;
}

// The JSON lines of the listed groups, then those of the listed pairs.
std::string Lines(const RecordTable& table, const Overview& overview) {
    std::string out;
    std::vector<std::uint32_t> rows;
    ListedGroups(table, overview, rows);
    for (const std::uint32_t g : rows)
        AppendGroupLine(out, table, overview.groups[g], ExportFormat::JsonLines);
    ListedPairs(table, overview, rows);
    for (const std::uint32_t p : rows)
        AppendPairLine(out, table, overview.pairs[p], ExportFormat::JsonLines);
    return out;
}

struct Case {
    const char* what;
    std::vector<Row> rows;
    std::u16string find;
    std::string lines;
};

const std::u16string kBig = u"12.345.678.901"; // beyond 32 bits

TEST(Overview, CraftedLogs) {
    const std::vector<Case> cases = {
        {"sizes that differ, a name alone",
         {{u"D:\\x\\", u"a.par", u"100"},
          {u"E:\\y\\", u"a.par", u"200"},
          {u"E:\\y\\", u"b.par", u"7"}},
         u"",
         R"({"name":"a.par","copies":2,"sizes":2,"bytes":300,"reclaimable":0,"newest":"2020.01.01 10:00"}
{"a":"D:\\x\\","b":"E:\\y\\","shared":1,"same_size":0,"names_a":1,"names_b":2,"reclaimable":0}
)"},
        {"the same record twice in one folder",
         {{u"D:\\x\\", u"a.par", u"100"},
          {u"D:\\x\\", u"a.par", u"100"},
          {u"E:\\y\\", u"a.par", u"100"}},
         u"",
         R"({"name":"a.par","copies":3,"sizes":1,"bytes":300,"reclaimable":200,"newest":"2020.01.01 10:00"}
{"a":"D:\\x\\","b":"E:\\y\\","shared":1,"same_size":1,"names_a":1,"names_b":1,"reclaimable":100}
)"},
        {"a folder copied wholly into another, which holds one more file",
         {{u"D:\\src\\", u"a.par", u"10"},
          {u"D:\\src\\", u"b.par", u"20"},
          {u"E:\\copy\\", u"b.par", u"20"},
          {u"E:\\copy\\", u"a.par", u"10"},
          {u"E:\\copy\\", u"d.par", u"5"},
          {u"D:\\src\\", u"c.par", u"1", u"2019.05.05"},
          {u"E:\\copy\\", u"c.par", u"2", u"2019.05.05", u"23:59"}},
         u"",
         R"({"name":"b.par","copies":2,"sizes":1,"bytes":40,"reclaimable":20,"newest":"2020.01.01 10:00"}
{"name":"a.par","copies":2,"sizes":1,"bytes":20,"reclaimable":10,"newest":"2020.01.01 10:00"}
{"name":"c.par","copies":2,"sizes":2,"bytes":3,"reclaimable":0,"newest":"2019.05.05 23:59"}
{"a":"D:\\src\\","b":"E:\\copy\\","shared":3,"same_size":2,"names_a":3,"names_b":4,"reclaimable":30}
)"},
        {"newest by date + blank + time as text; several sizes each held twice",
         {{u"D:\\", u"a.par", kBig, u"2018.09.1", u"23:00"},
          {u"E:\\", u"a.par", kBig, u"2018.09.0", u"01:00"},
          {u"F:\\", u"a.par", u"3", u"2018.09.1\t", u"99:00"},
          {u"F:\\", u"a.par", u"3", u"2018.09.1", u"23:01"}},
         u"",
         R"({"name":"a.par","copies":4,"sizes":2,"bytes":24691357808,"reclaimable":12345678904,"newest":"2018.09.1 23:01"}
{"a":"D:\\","b":"E:\\","shared":1,"same_size":1,"names_a":1,"names_b":1,"reclaimable":12345678901}
{"a":"D:\\","b":"F:\\","shared":1,"same_size":0,"names_a":1,"names_b":1,"reclaimable":0}
{"a":"E:\\","b":"F:\\","shared":1,"same_size":0,"names_a":1,"names_b":1,"reclaimable":0}
)"},
        {"newest of a date with a blank, as no log line gives one",
         {{u"D:\\", u"a.par", u"1", u"2020.01.01 x", u"1"},
          {u"D:\\", u"a.par", u"1", u"2020.01.01", u"z"}},
         u"",
         R"({"name":"a.par","copies":2,"sizes":1,"bytes":2,"reclaimable":1,"newest":"2020.01.01 z"}
)"},
        {"umlauts and characters beyond U+FFFF by UTF-16 code units",
         {{u"D:\\\uFFFD\\", u"\uFFFD.par", u"1"},
          {u"D:\\\U0001F600\\", u"\uFFFD.par", u"1"},
          {u"D:\\\u00C4\\", u"\U0001F600.par", u"1"},
          {u"D:\\\uFFFD\\", u"\U0001F600.par", u"1"},
          {u"D:\\\u00C4\\", u"\u00C4.par", u"1"},
          {u"D:\\Z\\", u"\u00C4.par", u"1"}},
         u"",
         "{\"name\":\"\u00C4.par\",\"copies\":2,\"sizes\":1,\"bytes\":2,\"reclaimable\":1,"
         "\"newest\":\"2020.01.01 10:00\"}\n"
         "{\"name\":\"\U0001F600.par\",\"copies\":2,\"sizes\":1,\"bytes\":2,\"reclaimable\":1,"
         "\"newest\":\"2020.01.01 10:00\"}\n"
         "{\"name\":\"\uFFFD.par\",\"copies\":2,\"sizes\":1,\"bytes\":2,\"reclaimable\":1,"
         "\"newest\":\"2020.01.01 10:00\"}\n"
         "{\"a\":\"D:\\\\Z\\\\\",\"b\":\"D:\\\\\u00C4\\\\\",\"shared\":1,\"same_size\":1,"
         "\"names_a\":1,\"names_b\":2,\"reclaimable\":1}\n"
         "{\"a\":\"D:\\\\\u00C4\\\\\",\"b\":\"D:\\\\\uFFFD\\\\\",\"shared\":1,\"same_size\":1,"
         "\"names_a\":2,\"names_b\":2,\"reclaimable\":1}\n"
         "{\"a\":\"D:\\\\\U0001F600\\\\\",\"b\":\"D:\\\\\uFFFD\\\\\",\"shared\":1,\"same_size\":1,"
         "\"names_a\":1,\"names_b\":2,\"reclaimable\":1}\n"},
        {"a find lists the groups and pairs of the names of the records it lists",
         {{u"D:\\x\\", u"a.par", u"1"},
          {u"E:\\y\\", u"a.par", u"1"},
          {u"D:\\x\\", u"b.par", u"2"},
          {u"F:\\z\\", u"b.par", u"2"},
          {u"G:\\w\\", u"c.par", u"3"},
          {u"G:\\w\\", u"c.par", u"3"}},
         u"F:",
         R"({"name":"b.par","copies":2,"sizes":1,"bytes":4,"reclaimable":2,"newest":"2020.01.01 10:00"}
{"a":"D:\\x\\","b":"F:\\z\\","shared":1,"same_size":1,"names_a":2,"names_b":1,"reclaimable":2}
)"},
        {"a find that lists no copy",
         {{u"D:\\", u"a.par", u"1"}, {u"E:\\", u"a.par", u"1"}},
         u"nowhere",
         ""},
    };
    for (const Case& c : cases) {
        RecordTable table;
        Fill(table, c.rows);
        const Overview overview = Compute(table, c.find);
        EXPECT_EQ(Lines(table, overview), c.lines) << c.what;
    }
}

// A name in 64 folders makes their 2016 pairs; one in 65 makes none and is
// counted as left out. The summary adds up over the whole log.
TEST(Overview, NamesInManyFolders) {
    for (const std::uint32_t folders : {64u, 65u}) {
        RecordTable table;
        std::vector<Row> rows;
        for (std::uint32_t f = 0; f < folders; ++f)
            rows.push_back(
                {u"D:\\" + std::u16string(1, char16_t(u'0' + f)) + u"\\", u"a.par", u"1.000"});
        Fill(table, rows);
        const Overview overview = Compute(table);
        const bool paired = folders <= kMostFoldersOfPairedName;
        EXPECT_EQ(overview.pairs.size(), paired ? 64u * 63 / 2 : 0u);
        EXPECT_EQ(overview.summary.pairs, overview.pairs.size());
        EXPECT_EQ(overview.summary.namesLeftOut, paired ? 0u : 1u);
        EXPECT_EQ(overview.summary.names, 1u);
        EXPECT_EQ(overview.summary.copies, folders);
        EXPECT_EQ(overview.summary.bytes, 1000 * std::int64_t{folders});
        EXPECT_EQ(overview.summary.reclaimable, 1000 * std::int64_t{folders - 1});
    }
}

// Work called off before it starts leaves nothing; done work counts up to
// the number of records.
TEST(Overview, CalledOffAndDone) {
    RecordTable table;
    Fill(table, {{u"D:\\", u"a.par", u"1"}, {u"E:\\", u"a.par", u"1"}});
    const std::vector<std::uint32_t>& ranks = NameRanks(table);
    Overview overview;
    std::atomic<bool> calledOff{true};
    std::atomic<std::uint64_t> done{0};
    EXPECT_EQ(ComputeOverview(table, ranks, overview, &calledOff, &done),
              OverviewResult::CalledOff);
    EXPECT_TRUE(overview.groups.empty() && overview.pairs.empty() && overview.detail.empty());
    calledOff = false;
    EXPECT_EQ(ComputeOverview(table, ranks, overview, &calledOff, &done), OverviewResult::Done);
    EXPECT_EQ(done.load(), 2u);
    EXPECT_EQ(overview.pairs.size(), 1u);
}

// What the overview window asks besides the lines: the orders by a column
// and the shared files of a pair, side by side.
TEST(Overview, ColumnOrdersAndSharedFiles) {
    RecordTable table;
    Fill(table, {{u"D:\\x\\", u"b.par", u"5"},
                 {u"E:\\y\\", u"b.par", u"5"},
                 {u"D:\\x\\", u"a.par", u"1"},
                 {u"E:\\y\\", u"a.par", u"2"},
                 {u"E:\\y\\", u"a.par", u"1"},
                 {u"F:\\z\\", u"a.par", u"1"}});
    const Overview overview = Compute(table);
    ASSERT_EQ(overview.groups.size(), 2u);
    std::vector<std::uint32_t> rows = {0, 1};
    const auto names = [&] {
        std::u16string all;
        for (const std::uint32_t g : rows) {
            std::u16string name;
            FieldInto(table, overview.groups[g].record, RecordField::Name, name);
            all += name;
        }
        return all;
    };
    OrderGroups(table, overview, GroupColumn::Name, false, rows);
    EXPECT_EQ(names(), u"a.parb.par");
    OrderGroups(table, overview, GroupColumn::Copies, false, rows);
    EXPECT_EQ(names(), u"a.parb.par");
    OrderGroups(table, overview, GroupColumn::Copies, true, rows);
    EXPECT_EQ(names(), u"b.para.par");

    // The pair of D:\x\ and E:\y\: both names, a.par by its copies of one size.
    const auto pair = std::find_if(overview.pairs.begin(), overview.pairs.end(),
                                   [](const FolderPair& p) { return p.shared == 2; });
    ASSERT_NE(pair, overview.pairs.end());
    std::vector<std::pair<std::uint32_t, std::uint32_t>> files;
    SharedFilesOfPair(table, overview, *pair, files);
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0], std::make_pair(2u, 4u));
    EXPECT_EQ(files[1], std::make_pair(0u, 1u));
    rows.assign({0, 1, 2});
    OrderPairs(table, overview, PairColumn::A, false, rows);
    std::u16string folders;
    for (const std::uint32_t p : rows) {
        std::u16string a;
        SharedTextInto(table, SharedColumn::Path, overview.pairs[p].a, a);
        folders += a;
    }
    EXPECT_EQ(folders, u"D:\\x\\D:\\x\\E:\\y\\");
}

} // namespace
} // namespace qk
