#include "core/RecordCommands.h"

#include "core/RecordTable.h"
#include "text/NumberText.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qk {

void SortAllRecords(RecordField field, const std::function<void()>& whileWaiting) {
    SortTableByField(AllRecords, field, whileWaiting);
}

std::int64_t MarkRecordsByFindText(std::u16string_view findText) {
    return MarkByFindText(AllRecords, findText);
}

void CollectNameMatches(std::u16string_view name) {
    ClearRecords(NameMatches.list);
    std::vector<std::uint32_t> matches;
    RecordsNamed(AllRecords, name, matches);
    for (const std::uint32_t index : matches) {
        auto* copy = static_cast<DuplicateRecord*>(AppendRecord(NameMatches.list));
        if (!copy) return; // no memory: the matches found so far stay
        for (const RecordFieldSpec& spec : kRecordFields)
            FieldOf(*copy, spec.field) = FieldText(AllRecords, index, spec.field);
    }
}

Text CountLabelText(std::int64_t listed, std::int64_t total) {
    std::u16string text(IntegerToText(listed).view());
    text += u'/';
    text += IntegerToText(total).view();
    return Text(text);
}

} // namespace qk
