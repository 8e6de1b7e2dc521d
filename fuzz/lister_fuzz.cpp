// The lister's pipeline on any log: the input is written to a temporary file,
// loaded with ReadDuplicateLog, and then a few of the viewer's commands run on
// it: sorts, finds and name-match lookups.
//
// Input layout (missing header bytes count as 0):
//   byte 0     n = byte % 9, the number of commands;
//   bytes 1-2  the block size of the second load, little-endian v: by v % 4
//              a few bytes (lines cut across blocks), about a line, a few
//              kilobytes (several lines a block, several blocks a log) or the
//              default (one block);
//   byte 3     how often the log is written one after the other (1 to 32), so
//              that short inputs give logs of many blocks;
//   n bytes    the commands; a command byte b:
//     b % 3 == 0: sort by field (b / 3) % 6;
//     b % 3 == 1: find a text taken from a record chosen by b (or one that
//                 occurs nowhere, or the empty text);
//     b % 3 == 2: collect the name matches of a record chosen by b (or of a
//                 name that occurs nowhere);
//   the rest   the log.
//
// Checks: the records loaded (on two threads, in blocks) are the reader's
// lines run through ParseLogLine, in file order, whatever the block size;
// counting without keeping records agrees, and so do the lines printed
// while reading; the count shown
// never exceeds the total and is exactly the records with a field containing
// the find text, also when the find only narrows the last one; a sort by
// ranks gives the order of the record list's merge sort, keeps every record,
// leaves the list ordered by CompareTexts on its key and stable, and
// CompareTexts agrees with plain code-unit order; the name matches are
// exactly the records of that name, in list order, with their shown field
// empty; after each sort and find, the listed records written straight from
// the table are the lines of their records one by one; after the commands,
// the overview's groups and folder pairs, and those the find lists, are
// those worked out from the records' texts in maps (OverviewReference.h).
#include "core/BlockLoading.h"
#include "core/DuplicateRecord.h"
#include "core/ExportFormats.h"
#include "core/LogLineParser.h"
#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/OverviewReference.h"
#include "records/ListSort.h"
#include "records/RecordList.h"
#include "tests/core/ReferencePaths.h"
#include "text/Text.h"
#include "text/TextFileReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace qk {
namespace {

constexpr std::size_t kCommandChoices = 9;
constexpr std::size_t kHeaderBytes = 4;
constexpr std::size_t kMaxCopies = 32;
// Larger logs only slow the runs down without reaching new code.
constexpr std::size_t kMaxLogBytes = std::size_t{64} << 10;

// The fuzzed block size: each range takes other paths through the loader.
std::size_t BlockBytes(std::uint16_t v) {
    const std::size_t r = v / 4;
    switch (v % 4) {
    case 0:
        return 1 + r % 64;
    case 1:
        return 64 + r % 192;
    case 2:
        return 256 + r % 8192;
    default:
        return BlockLoadOptions{}.blockBytes;
    }
}

fuzz::ScratchFile& Scratch() {
    static fuzz::ScratchFile file("lister");
    return file;
}

const Text& FieldOf(const DuplicateRecord& record, int field) {
    return FieldOf(record, static_cast<RecordField>(field));
}

// The loaded records in list order, each with its storage index.
struct Listed {
    std::uint32_t index;
    DuplicateRecord record;
};
std::vector<Listed> Records() {
    std::vector<Listed> records;
    for (const std::uint32_t index : AllRecords.order)
        records.push_back({index, RecordAt(AllRecords, index)});
    return records;
}

std::string Show(const DuplicateRecord& record) {
    std::string out;
    for (int field = 0; field < kVisibleFieldCount; ++field)
        out += "\"" + fuzz::Escaped(FieldOf(record, field)) + "\" ";
    return out + "shown \"" + fuzz::Escaped(record.shown) + "\"";
}

bool SameRecord(const DuplicateRecord& a, const DuplicateRecord& b) {
    bool same = a.shown == b.shown;
    for (int field = 0; field < kVisibleFieldCount; ++field)
        same = same && FieldOf(a, field) == FieldOf(b, field);
    return same;
}

// The loaded records against the reader's lines parsed one by one, and
// against loading in blocks of `blockBytes` on two threads.
void CheckLoaded(std::size_t blockBytes) {
    std::vector<DuplicateRecord> expected;
    QK_REQUIRE(reference::LoadLineByLine(Text::FromUtf8(Scratch().path), expected),
               "the log could not be opened again");
    const std::vector<Listed> records = Records();
    QK_REQUIRE(records.size() == expected.size(),
               std::to_string(records.size()) + " records loaded, " +
                   std::to_string(expected.size()) + " lines parse");
    for (std::size_t i = 0; i < records.size(); ++i)
        QK_REQUIRE(records[i].index == i && SameRecord(records[i].record, expected[i]),
                   "record " + std::to_string(i + 1) + "\nloaded: " + Show(records[i].record) +
                       "\nparsed: " + Show(expected[i]));

    RecordTable small;
    QK_REQUIRE(LoadLogTable(Text::FromUtf8(Scratch().path), small, {blockBytes, 2, false}) ==
                   LoadResult::Loaded,
               "the log could not be opened in blocks");
    QK_REQUIRE(TableCount(small) == expected.size(),
               std::to_string(TableCount(small)) + " records loaded in blocks of " +
                   std::to_string(blockBytes) + ", " + std::to_string(expected.size()) +
                   " lines parse");
    for (std::uint32_t i = 0; i < TableCount(small); ++i)
        QK_REQUIRE(SameRecord(RecordAt(small, i), expected[i]),
                   "record " + std::to_string(i + 1) + " in blocks of " +
                       std::to_string(blockBytes) + ": " + Show(RecordAt(small, i)));
}

// The lines of the listed records written straight from the table are the
// lines of their records, as the export wrote them one by one.
void CheckWritten(ExportFormat format) {
    std::vector<std::uint32_t> rows;
    ListedRecords(AllRecords, rows);
    std::string expected;
    AppendHeadingLine(expected, format);
    for (const std::uint32_t index : rows)
        AppendRecordLine(expected, RecordAt(AllRecords, index), format);
    std::string written;
    QK_REQUIRE(WriteTableRecords(AllRecords, rows, format,
                                 [&](std::string_view bytes) {
                                     written += bytes;
                                     return true;
                                 }) &&
                   written == expected,
               "the lines written from the table differ from those of their records in format " +
                   std::to_string(static_cast<int>(format)));
}

void CheckSort(int field) {
    const std::vector<std::uint32_t> merged =
        reference::MergeSorted(AllRecords, AllRecords.order, static_cast<RecordField>(field));
    const std::vector<Listed> before = Records();
    std::vector<std::size_t> previous(before.size());
    for (std::size_t i = 0; i < before.size(); ++i)
        previous[before[i].index] = i;

    SortAllRecords(static_cast<RecordField>(field));

    QK_REQUIRE(AllRecords.order == merged,
               "the sort by field " + std::to_string(field) + " differs from the merge sort");
    const std::vector<Listed> after = Records();
    QK_REQUIRE(after.size() == before.size(), "a sort changed the number of records");
    std::vector<bool> seen(before.size(), false);
    for (std::size_t i = 0; i < after.size(); ++i) {
        QK_REQUIRE(after[i].index < seen.size() && !seen[after[i].index],
                   "a sort lost or duplicated a record");
        seen[after[i].index] = true;
        if (i == 0) continue;
        const std::u16string_view a = FieldOf(after[i - 1].record, field);
        const std::u16string_view b = FieldOf(after[i].record, field);
        const int order = CompareTexts(a, b);
        const int plain = a.compare(b);
        QK_REQUIRE((order < 0) == (plain < 0) && (order == 0) == (plain == 0),
                   "CompareTexts(\"" + fuzz::Escaped(a) + "\", \"" + fuzz::Escaped(b) +
                       "\") = " + std::to_string(order));
        QK_REQUIRE(order <= 0, "not ordered by field " + std::to_string(field) + " at " +
                                   std::to_string(i) + ": \"" + fuzz::Escaped(a) + "\" before \"" +
                                   fuzz::Escaped(b) + "\"");
        QK_REQUIRE(order != 0 || previous[after[i - 1].index] < previous[after[i].index],
                   "not stable by field " + std::to_string(field) + " at " + std::to_string(i) +
                       ": \"" + fuzz::Escaped(a) + "\"");
    }
    CheckWritten(static_cast<ExportFormat>(field % 3));
}

void CheckFind(std::u16string_view findText) {
    const std::int64_t shown = MarkRecordsByFindText(findText);
    const std::int64_t total = TableCount(AllRecords);
    QK_REQUIRE(shown >= 0 && shown <= total,
               std::to_string(shown) + " of " + std::to_string(total) + " shown");
    std::int64_t counted = 0;
    for (const Listed& listed : Records()) {
        const DuplicateRecord* record = &listed.record;
        const bool contains = reference::Listed(AllRecords, listed.index, findText);
        QK_REQUIRE(IsShown(*record) == contains && (record->shown == u"1" || record->shown == u"0"),
                   "find \"" + fuzz::Escaped(findText) + "\": " + Show(*record));
        counted += contains ? 1 : 0;
    }
    QK_REQUIRE(counted == shown, "find \"" + fuzz::Escaped(findText) +
                                     "\": " + std::to_string(shown) + " reported, " +
                                     std::to_string(counted) + " marked");
    std::int64_t countedListed = -1, countedTotal = -1;
    QK_REQUIRE(CountDuplicateLog(Text::FromUtf8(Scratch().path), findText, countedListed,
                                 countedTotal) == LoadResult::Loaded &&
                   countedListed == shown && countedTotal == total,
               "counting for \"" + fuzz::Escaped(findText) +
                   "\": " + std::to_string(countedListed) + "/" + std::to_string(countedTotal) +
                   ", loading and finding: " + std::to_string(shown) + "/" + std::to_string(total));
    const std::string label = std::to_string(shown) + "/" + std::to_string(total);
    QK_REQUIRE(CountLabelText(shown, total) == Text::FromUtf8(label), "count label for " + label);

    // Printing while reading: the lines of the records the find lists, in
    // file order, as the export writes them.
    const auto format = static_cast<ExportFormat>(findText.size() % 3);
    std::string expected;
    AppendHeadingLine(expected, format);
    for (std::uint32_t i = 0; i < TableCount(AllRecords); ++i)
        if (AllRecords.shown[i]) AppendRecordLine(expected, RecordAt(AllRecords, i), format);
    std::string printed;
    bool written = false;
    QK_REQUIRE(PrintLogRecords(
                   Text::FromUtf8(Scratch().path), findText, format,
                   [&](std::string_view bytes) {
                       printed += bytes;
                       return true;
                   },
                   written) == LoadResult::Loaded &&
                   written && printed == expected,
               "printing for \"" + fuzz::Escaped(findText) + "\" differs from the export");
    CheckWritten(static_cast<ExportFormat>((findText.size() + 1) % 3));
}

void CheckNameMatches(std::u16string_view name) {
    CollectNameMatches(name);
    std::vector<DuplicateRecord> expected;
    for (const Listed& listed : Records())
        if (listed.record.name == name) expected.push_back(listed.record);
    QK_REQUIRE(RecordCount(NameMatches.list) == static_cast<std::int64_t>(expected.size()),
               "name \"" + fuzz::Escaped(name) +
                   "\": " + std::to_string(RecordCount(NameMatches.list)) + " matches, want " +
                   std::to_string(expected.size()));
    ResetCursor(NameMatches.list);
    for (const DuplicateRecord& wanted : expected) {
        const DuplicateRecord* want = &wanted;
        const auto* got = static_cast<const DuplicateRecord*>(NextRecord(NameMatches.list));
        QK_REQUIRE(got != nullptr, "a name match is missing");
        bool same = got->shown.empty();
        for (int field = 0; field < kVisibleFieldCount; ++field)
            same = same && FieldOf(*got, field) == FieldOf(*want, field);
        QK_REQUIRE(same, "name \"" + fuzz::Escaped(name) + "\"\nmatch:  " + Show(*got) +
                             "\nrecord: " + Show(*want));
    }
}

// A text of some record's field chosen by `choice`, or nothing when there is
// no record.
std::optional<Text> ChosenText(std::uint8_t choice, int field) {
    const std::vector<Listed> records = Records();
    if (records.empty()) return std::nullopt;
    return FieldOf(records[choice % records.size()].record, field);
}

void RunCommand(std::uint8_t command) {
    const std::uint8_t choice = command / 3;
    switch (command % 3) {
    case 0:
        CheckSort(choice % kVisibleFieldCount);
        break;
    case 1: {
        // A whole field, a part of one, a text found nowhere, or the empty text.
        const std::optional<Text> text = ChosenText(choice, choice % kVisibleFieldCount);
        if (!text || choice % 7 == 0) {
            CheckFind(u"");
        } else if (choice % 7 == 1) {
            CheckFind(u"\uFFFF|nowhere|");
        } else if (choice % 7 == 2) {
            const std::u16string_view view = *text;
            CheckFind(view.substr(view.size() / 3, (view.size() + 1) / 2));
        } else {
            CheckFind(*text);
        }
        break;
    }
    default: {
        const std::optional<Text> name = ChosenText(choice, 1);
        CheckNameMatches(name && choice % 5 != 0 ? name->view() : u"nowhere.par ");
        break;
    }
    }
}

// The overview against the one worked out from the texts in maps.
void CheckOverview() {
    Overview overview;
    QK_REQUIRE(ComputeOverview(AllRecords, NameRanks(AllRecords), overview) == OverviewResult::Done,
               "the overview could not be worked out");
    const reference::OverviewRows expected = reference::ReferenceOverview(AllRecords);
    const auto lines = [&](const auto& rows, const auto& line) {
        std::vector<std::string> out;
        for (const std::uint32_t row : rows) {
            out.emplace_back();
            line(out.back(), row);
        }
        return out;
    };
    const auto groupLine = [&](std::string& out, std::uint32_t g) {
        AppendGroupLine(out, AllRecords, overview.groups[g], ExportFormat::JsonLines);
    };
    const auto pairLine = [&](std::string& out, std::uint32_t p) {
        AppendPairLine(out, AllRecords, overview.pairs[p], ExportFormat::JsonLines);
    };
    std::vector<std::uint32_t> all(overview.groups.size());
    std::iota(all.begin(), all.end(), 0u);
    QK_REQUIRE(lines(all, groupLine) == expected.groups, "the groups differ from the maps'");
    all.resize(overview.pairs.size());
    std::iota(all.begin(), all.end(), 0u);
    QK_REQUIRE(lines(all, pairLine) == expected.pairs, "the folder pairs differ from the maps'");
    QK_REQUIRE(overview.summary.names == expected.groups.size() &&
                   overview.summary.pairs == expected.pairs.size() &&
                   overview.summary.namesLeftOut == expected.leftOut,
               "the summary differs from the maps'");
    std::vector<std::uint32_t> rows;
    ListedGroups(AllRecords, overview, rows);
    QK_REQUIRE(lines(rows, groupLine) == expected.listedGroups,
               "the groups the find lists differ from the maps'");
    ListedPairs(AllRecords, overview, rows);
    QK_REQUIRE(lines(rows, pairLine) == expected.listedPairs,
               "the folder pairs the find lists differ from the maps'");
}

} // namespace
} // namespace qk

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qk;
    std::array<std::uint8_t, kHeaderBytes> header{};
    std::copy_n(data, std::min(size, kHeaderBytes), header.begin());
    const std::size_t rest = size - std::min(size, kHeaderBytes);
    const std::size_t commands = std::min<std::size_t>(header[0] % kCommandChoices, rest);
    const std::uint8_t* command = data + std::min(size, kHeaderBytes);
    const std::uint8_t* log = command + commands;
    const std::size_t logBytes = rest - commands;

    const std::size_t copies =
        std::min(1 + header[3] % kMaxCopies, kMaxLogBytes / std::max<std::size_t>(logBytes, 1));
    std::string logs;
    for (std::size_t i = 0; i < std::max<std::size_t>(copies, 1); ++i)
        logs.append(reinterpret_cast<const char*>(log), logBytes);
    Scratch().Write(reinterpret_cast<const std::uint8_t*>(logs.data()), logs.size());

    QK_REQUIRE(ReadDuplicateLog(Text::FromUtf8(Scratch().path)), "the log could not be opened");
    CheckLoaded(BlockBytes(static_cast<std::uint16_t>(header[1] | header[2] << 8)));
    for (std::size_t i = 0; i < commands; ++i)
        RunCommand(command[i]);
    CheckOverview();
    return 0;
}
