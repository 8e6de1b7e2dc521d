#include "core/DuplicateRecord.h"

#include "core/RecordTable.h"

namespace qk {

const std::int64_t kDuplicateRecordFieldMap[8] = {
    FieldOffset(RecordField::Path),   FieldOffset(RecordField::Name),
    FieldOffset(RecordField::Size),   FieldOffset(RecordField::Date),
    FieldOffset(RecordField::Time),   FieldOffset(RecordField::User),
    offsetof(DuplicateRecord, shown), -1};

namespace {
constexpr bool FieldsInColumnOrder() {
    for (int i = 0; i < kVisibleFieldCount; ++i)
        if (static_cast<int>(kRecordFields[static_cast<std::size_t>(i)].field) != i) return false;
    return true;
}
static_assert(FieldsInColumnOrder(), "kRecordFields is indexed by RecordField");
} // namespace

ListVariable NameMatches;

void CreateDuplicateLists() {
    ClearTable(AllRecords);
    FreeRecordList(NameMatches.list);
    CreateRecordList(sizeof(DuplicateRecord), &NameMatches, kDuplicateRecordFieldMap,
                     ElementKind::Record);
}

const Text& ShownText() {
    static const Text shown(u"1");
    return shown;
}

const Text& HiddenText() {
    static const Text hidden(u"0");
    return hidden;
}

} // namespace qk
