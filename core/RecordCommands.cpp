#include "core/RecordCommands.h"

#include "records/ListSort.h"
#include "text/NumberText.h"
#include "text/TextPrimitives.h"

#include <array>
#include <string>

namespace qk {

void SortAllRecords(RecordField field) {
    SortRecordsByField(AllRecords.list, 0, FieldOffset(field), ElementKind::Text);
}

namespace {

// Records share their path, date, time and user texts; the answer for a
// shared text is remembered while the same text comes up again.
struct LastAnswer {
    const void* storage = nullptr;
    bool found = false;
};

bool Contains(const Text& field, std::u16string_view findText, LastAnswer& last) {
    if (field.Storage() != nullptr && field.Storage() == last.storage) return last.found;
    const bool found = FindText(field, findText) > 0;
    last = {field.Storage(), found};
    return found;
}

} // namespace

std::int64_t MarkRecordsByFindText(std::u16string_view findText) {
    std::int64_t shown = 0;
    std::array<LastAnswer, kVisibleFieldCount> last{};
    ResetCursor(AllRecords.list);
    while (NextRecord(AllRecords.list)) {
        DuplicateRecord& record = *CurrentDuplicate(AllRecords);
        const std::array<const Text*, kVisibleFieldCount> fields = {
            &record.path, &record.name, &record.size, &record.date, &record.time, &record.user};
        bool listed = findText.empty();
        for (int i = 0; i < kVisibleFieldCount && !listed; ++i)
            listed = Contains(*fields[i], findText, last[i]);
        record.shown = listed ? ShownText() : HiddenText();
        shown += listed ? 1 : 0;
    }
    return shown;
}

void CollectNameMatches(std::u16string_view name) {
    ClearRecords(NameMatches.list);
    ResetCursor(AllRecords.list);
    while (NextRecord(AllRecords.list)) {
        const DuplicateRecord& record = *CurrentDuplicate(AllRecords);
        if (record.name.view() != name) continue;
        auto* copy = static_cast<DuplicateRecord*>(AppendRecord(NameMatches.list));
        if (!copy) return; // no memory: the matches found so far stay
        copy->path = record.path;
        copy->name = record.name;
        copy->size = record.size;
        copy->date = record.date;
        copy->time = record.time;
        copy->user = record.user;
    }
}

Text CountLabelText(std::int64_t listed, std::int64_t total) {
    std::u16string text(IntegerToText(listed).view());
    text += u'/';
    text += IntegerToText(total).view();
    return Text(text);
}

} // namespace qk
