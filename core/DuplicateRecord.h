// DuplicateRecord: one accepted line of the duplicate log, and the two
// program-wide record lists.
#pragma once

#include "records/RecordList.h"
#include "text/Text.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace qk {

struct DuplicateRecord {
    Text path;  // directory part with its final separator
    Text name;  // file name, extension and the one character after it
    Text size;  // byte count grouped by "." in threes, right-aligned to 13
    Text date;  // year.month.day
    Text time;  // as logged
    Text user;  // as logged
    Text shown; // "1" when listed in the upper list, "0" when the find hides it
};
static_assert(sizeof(DuplicateRecord) == 56, "seven text references of 8 bytes");

// The six visible fields in column order.
enum class RecordField : std::int32_t { Path = 0, Name, Size, Date, Time, User };
constexpr int kVisibleFieldCount = 6;

// What every place that lists, sorts or names the fields reads: the record
// member, its byte offset (for the sort), the column heading (also the sort
// option's text) and the lister's column name (also its JSON key).
struct RecordFieldSpec {
    RecordField field;
    Text DuplicateRecord::*member;
    std::int64_t offset;
    const char16_t* heading;
    std::string_view key;
};
inline constexpr std::array<RecordFieldSpec, kVisibleFieldCount> kRecordFields = {{
    {RecordField::Path, &DuplicateRecord::path, offsetof(DuplicateRecord, path), u"Pfad", "path"},
    {RecordField::Name, &DuplicateRecord::name, offsetof(DuplicateRecord, name), u"Name", "name"},
    {RecordField::Size, &DuplicateRecord::size, offsetof(DuplicateRecord, size), u"Byte", "size"},
    {RecordField::Date, &DuplicateRecord::date, offsetof(DuplicateRecord, date), u"Datum", "date"},
    {RecordField::Time, &DuplicateRecord::time, offsetof(DuplicateRecord, time), u"Zeit", "time"},
    {RecordField::User, &DuplicateRecord::user, offsetof(DuplicateRecord, user), u"User", "user"},
}};

constexpr const RecordFieldSpec& FieldSpec(RecordField field) {
    return kRecordFields[static_cast<std::size_t>(field)];
}
constexpr std::int64_t FieldOffset(RecordField field) {
    return FieldSpec(field).offset;
}
inline const Text& FieldOf(const DuplicateRecord& record, RecordField field) {
    return record.*FieldSpec(field).member;
}
inline Text& FieldOf(DuplicateRecord& record, RecordField field) {
    return record.*FieldSpec(field).member;
}
// Every member is a text that the list releases.
extern const std::int64_t kDuplicateRecordFieldMap[8];

// Copies of the records whose name equals the clicked row's name.
extern ListVariable NameMatches;

// The current element of a record list, or null before the first element.
inline DuplicateRecord* CurrentDuplicate(const ListVariable& variable) {
    return variable.current ? static_cast<DuplicateRecord*>(variable.current->Data()) : nullptr;
}

// Releases whatever the two variables hold and creates both lists empty.
void CreateDuplicateLists();

// The texts "1" and "0" of the shown flag, shared by every record.
const Text& ShownText();
const Text& HiddenText();

} // namespace qk
