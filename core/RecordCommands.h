// The record-level work of the viewer's three commands. The viewer refreshes
// its lists after each; quellkamp-list prints the result instead.
#pragma once

#include "core/DuplicateRecord.h"
#include "text/Text.h"
#include "text/TextPrimitives.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace qk {

// Sorts AllRecords stably, ascending and case-sensitively, by one field.
// `whileWaiting` is called while the sort waits for ranks (see
// SortTableByField).
void SortAllRecords(RecordField field, const std::function<void()>& whileWaiting = {});

// The find rule: a field contains the find text when it holds it anywhere,
// exactly (case-sensitive).
inline bool FieldContains(std::u16string_view field, std::u16string_view findText) {
    return FindText(field, findText) > 0;
}
// The find rule: a record is listed when any of its six visible fields
// contains the find text. `contains(field)` answers for one field; the fields
// are asked in column order until one does.
template <typename Contains> bool AnyVisibleFieldContains(Contains contains) {
    for (const RecordFieldSpec& spec : kRecordFields)
        if (contains(spec.field)) return true;
    return false;
}

// Marks every record of AllRecords shown when one of its six visible fields
// contains `findText` (case-sensitive), hidden otherwise. An empty find text
// shows every record. Returns the number of records shown.
std::int64_t MarkRecordsByFindText(std::u16string_view findText);

// Fills NameMatches with copies of the records of AllRecords whose name
// equals `name` exactly, in the current order of AllRecords, hidden records
// included. The copies' shown fields stay empty.
void CollectNameMatches(std::u16string_view name);

// Whether a record copy is marked listed.
inline bool IsShown(const DuplicateRecord& record) {
    return record.shown.size() == 1 && record.shown[0] == u'1';
}

// The count label's text: listed "/" total.
Text CountLabelText(std::int64_t listed, std::int64_t total);

} // namespace qk
