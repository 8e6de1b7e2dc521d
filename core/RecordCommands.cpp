#include "core/RecordCommands.h"

#include "core/RecordWalk.h"
#include "records/ListSort.h"
#include "text/NumberText.h"
#include "text/TextPrimitives.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qk {

void SortAllRecords(RecordField field) {
    SortRecordsByField(AllRecords.list, 0, FieldOffset(field), ElementKind::Text);
}

namespace {

// Records share their path, date, time and user texts: the answer for each
// shared text is remembered, so most records need no search there at all.
class AnswerCache {
  public:
    // Whether `field` contains `findText`.
    bool Contains(const Text& field, std::u16string_view findText) {
        const void* storage = field.Storage();
        if (!storage) return false;
        const std::size_t slot = (reinterpret_cast<std::uintptr_t>(storage) >> 4) & (kSlots - 1);
        if (keys_[slot] != storage) {
            keys_[slot] = storage;
            found_[slot] = FieldContains(field, findText);
        }
        return found_[slot];
    }

  private:
    static constexpr std::size_t kSlots = 4096;
    std::array<const void*, kSlots> keys_{};
    std::array<bool, kSlots> found_{};
};

} // namespace

std::int64_t MarkRecordsByFindText(std::u16string_view findText) {
    std::int64_t shown = 0;
    if (findText.empty()) {
        WalkRecords(AllRecords, [&](DuplicateRecord& record) { record.shown = ShownText(); });
        return RecordCount(AllRecords.list);
    }
    auto cache = std::make_unique<std::array<AnswerCache, 4>>();
    AnswerCache& paths = (*cache)[0];
    AnswerCache& dates = (*cache)[1];
    AnswerCache& times = (*cache)[2];
    AnswerCache& users = (*cache)[3];
    WalkRecords<ReadAhead::RecordsNamesAndSizes>(AllRecords, [&](DuplicateRecord& record) {
        const bool listed = AnyVisibleFieldContains([&](RecordField field) {
            switch (field) {
            case RecordField::Path:
                return paths.Contains(record.path, findText);
            case RecordField::Name:
                return FieldContains(record.name, findText);
            case RecordField::Size:
                return FieldContains(record.size, findText);
            case RecordField::Date:
                return dates.Contains(record.date, findText);
            case RecordField::Time:
                return times.Contains(record.time, findText);
            case RecordField::User:
                return users.Contains(record.user, findText);
            }
            return false;
        });
        record.shown = listed ? ShownText() : HiddenText();
        shown += listed ? 1 : 0;
    });
    return shown;
}

void CollectNameMatches(std::u16string_view name) {
    ClearRecords(NameMatches.list);
    std::vector<const DuplicateRecord*> matches;
    WalkRecords<ReadAhead::RecordsAndNames>(AllRecords, [&](const DuplicateRecord& record) {
        if (record.name.view() == name) matches.push_back(&record);
    });
    for (const DuplicateRecord* record : matches) {
        auto* copy = static_cast<DuplicateRecord*>(AppendRecord(NameMatches.list));
        if (!copy) return; // no memory: the matches found so far stay
        copy->path = record->path;
        copy->name = record->name;
        copy->size = record->size;
        copy->date = record->date;
        copy->time = record->time;
        copy->user = record->user;
    }
}

Text CountLabelText(std::int64_t listed, std::int64_t total) {
    std::u16string text(IntegerToText(listed).view());
    text += u'/';
    text += IntegerToText(total).view();
    return Text(text);
}

} // namespace qk
