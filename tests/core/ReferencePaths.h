// The straightforward paths that the fast ones must agree with: loading line
// by line through the text file reader and the parser, asking every field of
// every record for a find text, and the record list's stable merge sort.
#pragma once

#include "core/DuplicateRecord.h"
#include "core/LogLineParser.h"
#include "core/RecordTable.h"
#include "records/ListSort.h"
#include "records/RecordList.h"
#include "text/TextFileReader.h"
#include "text/TextPrimitives.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qk::reference {

// Every record of the log at `path`, in file order; false when it cannot be
// opened.
inline bool LoadLineByLine(const Text& path, std::vector<DuplicateRecord>& records) {
    records.clear();
    constexpr std::int64_t kFile = 7;
    if (OpenTextFile(kFile, path) == 0) return false;
    std::u16string line;
    while (AtEndOfFile(kFile) == 0) {
        ReadTextLineInto(kFile, line);
        if (auto record = ParseLogLine(line)) records.push_back(std::move(*record));
    }
    CloseTextFile(kFile);
    return true;
}

// Whether the record at storage index `index` is listed for `findText`.
inline bool Listed(const RecordTable& table, std::uint32_t index, std::u16string_view findText) {
    if (findText.empty()) return true;
    for (int f = 0; f < kVisibleFieldCount; ++f)
        if (FindText(FieldString(table, index, static_cast<RecordField>(f)), findText) > 0)
            return true;
    return false;
}

// The list order after the record list's merge sort by `field` of the
// table's records, taken in `order`.
inline std::vector<std::uint32_t>
MergeSorted(const RecordTable& table, const std::vector<std::uint32_t>& order, RecordField field) {
    struct Element {
        Text key;
        std::int64_t index;
    };
    static const std::int64_t kFieldMap[] = {0, -1};
    ListVariable list;
    CreateRecordList(sizeof(Element), &list, kFieldMap, ElementKind::Record);
    for (const std::uint32_t index : order) {
        auto* element = static_cast<Element*>(AppendRecord(list.list));
        element->key = FieldText(table, index, field);
        element->index = index;
    }
    SortRecordsByField(list.list, 0, 0, ElementKind::Text);
    std::vector<std::uint32_t> sorted;
    ResetCursor(list.list);
    while (auto* element = static_cast<Element*>(NextRecord(list.list)))
        sorted.push_back(static_cast<std::uint32_t>(element->index));
    FreeRecordList(list.list);
    return sorted;
}

} // namespace qk::reference
