// The lister's pipeline on any log: the input is written to a temporary file,
// loaded with ReadDuplicateLog, and then a few of the viewer's commands run on
// it: sorts, finds and name-match lookups.
//
// Input layout: the first byte n (taken modulo 9) is the number of commands,
// the next n bytes choose them, and the rest is the log. A command byte b:
//   b % 3 == 0: sort by field (b / 3) % 6;
//   b % 3 == 1: find a text taken from a record chosen by b (or one that
//               occurs nowhere, or the empty text);
//   b % 3 == 2: collect the name matches of a record chosen by b (or of a name
//               that occurs nowhere).
//
// Checks: the records loaded are the reader's lines run through ParseLogLine,
// in file order; the count shown never exceeds the total and is exactly the
// records with a field containing the find text; a sort keeps every record,
// leaves the list ordered by CompareTexts on its key and stable (equal keys
// keep their previous relative order), and CompareTexts agrees with plain
// code-unit order; the name matches are exactly the records of that name, in
// list order, with their shown field empty.
#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "fuzz/FuzzCheck.h"
#include "records/ListSort.h"
#include "records/RecordList.h"
#include "text/Text.h"
#include "text/TextFileReader.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace qk {
namespace {

constexpr std::size_t kCommandChoices = 9;
constexpr std::int64_t kFileNumber = 0;

fuzz::ScratchFile& Scratch() {
    static fuzz::ScratchFile file("lister");
    return file;
}

const Text& FieldOf(const DuplicateRecord& record, int field) {
    return FieldOf(record, static_cast<RecordField>(field));
}

std::vector<DuplicateRecord*> Records() {
    std::vector<DuplicateRecord*> records;
    ResetCursor(AllRecords.list);
    while (auto* record = static_cast<DuplicateRecord*>(NextRecord(AllRecords.list)))
        records.push_back(record);
    return records;
}

std::string Show(const DuplicateRecord& record) {
    std::string out;
    for (int field = 0; field < kVisibleFieldCount; ++field)
        out += "\"" + fuzz::Escaped(FieldOf(record, field)) + "\" ";
    return out + "shown \"" + fuzz::Escaped(record.shown) + "\"";
}

// The loaded records against the reader's lines parsed one by one.
void CheckLoaded() {
    std::vector<DuplicateRecord> expected;
    QK_REQUIRE(OpenTextFile(kFileNumber, Text::FromUtf8(Scratch().path)) != 0,
               "the log could not be opened again");
    while (AtEndOfFile(kFileNumber) == 0)
        if (auto record = ParseLogLine(ReadTextLine(kFileNumber))) expected.push_back(*record);
    CloseTextFile(kFileNumber);

    const std::vector<DuplicateRecord*> records = Records();
    QK_REQUIRE(records.size() == expected.size(),
               std::to_string(records.size()) + " records loaded, " +
                   std::to_string(expected.size()) + " lines parse");
    QK_REQUIRE(RecordCount(AllRecords.list) == static_cast<std::int64_t>(records.size()),
               "RecordCount differs from the records walked");
    for (std::size_t i = 0; i < records.size(); ++i) {
        bool same = records[i]->shown == expected[i].shown;
        for (int field = 0; field < kVisibleFieldCount; ++field)
            same = same && FieldOf(*records[i], field) == FieldOf(expected[i], field);
        QK_REQUIRE(same, "record " + std::to_string(i + 1) + "\nloaded: " + Show(*records[i]) +
                             "\nparsed: " + Show(expected[i]));
    }
}

void CheckSort(int field) {
    const std::vector<DuplicateRecord*> before = Records();
    std::unordered_map<const DuplicateRecord*, std::size_t> previous;
    for (std::size_t i = 0; i < before.size(); ++i)
        previous.emplace(before[i], i);

    SortAllRecords(static_cast<RecordField>(field));

    const std::vector<DuplicateRecord*> after = Records();
    QK_REQUIRE(after.size() == before.size(), "a sort changed the number of records");
    std::vector<bool> seen(before.size(), false);
    for (std::size_t i = 0; i < after.size(); ++i) {
        const auto found = previous.find(after[i]);
        QK_REQUIRE(found != previous.end() && !seen[found->second],
                   "a sort lost or duplicated a record");
        seen[found->second] = true;
        if (i == 0) continue;
        const std::u16string_view a = FieldOf(*after[i - 1], field);
        const std::u16string_view b = FieldOf(*after[i], field);
        const int order = CompareTexts(a, b);
        const int plain = a.compare(b);
        QK_REQUIRE((order < 0) == (plain < 0) && (order == 0) == (plain == 0),
                   "CompareTexts(\"" + fuzz::Escaped(a) + "\", \"" + fuzz::Escaped(b) +
                       "\") = " + std::to_string(order));
        QK_REQUIRE(order <= 0, "not ordered by field " + std::to_string(field) + " at " +
                                   std::to_string(i) + ": \"" + fuzz::Escaped(a) + "\" before \"" +
                                   fuzz::Escaped(b) + "\"");
        QK_REQUIRE(order != 0 || previous[after[i - 1]] < previous[after[i]],
                   "not stable by field " + std::to_string(field) + " at " + std::to_string(i) +
                       ": \"" + fuzz::Escaped(a) + "\"");
    }
}

void CheckFind(std::u16string_view findText) {
    const std::int64_t shown = MarkRecordsByFindText(findText);
    const std::int64_t total = RecordCount(AllRecords.list);
    QK_REQUIRE(shown >= 0 && shown <= total,
               std::to_string(shown) + " of " + std::to_string(total) + " shown");
    std::int64_t counted = 0;
    for (const DuplicateRecord* record : Records()) {
        bool contains = findText.empty();
        for (int field = 0; field < kVisibleFieldCount && !contains; ++field)
            contains = FieldOf(*record, field).view().find(findText) != std::u16string_view::npos;
        QK_REQUIRE(IsShown(*record) == contains && (record->shown == u"1" || record->shown == u"0"),
                   "find \"" + fuzz::Escaped(findText) + "\": " + Show(*record));
        counted += contains ? 1 : 0;
    }
    QK_REQUIRE(counted == shown, "find \"" + fuzz::Escaped(findText) +
                                     "\": " + std::to_string(shown) + " reported, " +
                                     std::to_string(counted) + " marked");
    const std::string label = std::to_string(shown) + "/" + std::to_string(total);
    QK_REQUIRE(CountLabelText(shown, total) == Text::FromUtf8(label), "count label for " + label);
}

void CheckNameMatches(std::u16string_view name) {
    CollectNameMatches(name);
    std::vector<const DuplicateRecord*> expected;
    for (const DuplicateRecord* record : Records())
        if (record->name == name) expected.push_back(record);
    QK_REQUIRE(RecordCount(NameMatches.list) == static_cast<std::int64_t>(expected.size()),
               "name \"" + fuzz::Escaped(name) +
                   "\": " + std::to_string(RecordCount(NameMatches.list)) + " matches, want " +
                   std::to_string(expected.size()));
    ResetCursor(NameMatches.list);
    for (const DuplicateRecord* want : expected) {
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
std::optional<Text> FieldText(std::uint8_t choice, int field) {
    const std::vector<DuplicateRecord*> records = Records();
    if (records.empty()) return std::nullopt;
    return FieldOf(*records[choice % records.size()], field);
}

void RunCommand(std::uint8_t command) {
    const std::uint8_t choice = command / 3;
    switch (command % 3) {
    case 0:
        CheckSort(choice % kVisibleFieldCount);
        break;
    case 1: {
        // A whole field, a part of one, a text found nowhere, or the empty text.
        const std::optional<Text> text = FieldText(choice, choice % kVisibleFieldCount);
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
        const std::optional<Text> name = FieldText(choice, 1);
        CheckNameMatches(name && choice % 5 != 0 ? name->view() : u"nowhere.par ");
        break;
    }
    }
}

} // namespace
} // namespace qk

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qk;
    const std::size_t commands =
        size == 0 ? 0 : std::min<std::size_t>(data[0] % kCommandChoices, size - 1);
    const std::size_t logStart = size == 0 ? 0 : 1 + commands;
    Scratch().Write(data + logStart, size - logStart);

    QK_REQUIRE(ReadDuplicateLog(Text::FromUtf8(Scratch().path)), "the log could not be opened");
    CheckLoaded();
    for (std::size_t i = 0; i < commands; ++i)
        RunCommand(data[1 + i]);
    return 0;
}
