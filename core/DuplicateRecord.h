// DuplicateRecord: one accepted line of the duplicate log, and the two
// program-wide record lists.
#pragma once

#include "records/RecordList.h"
#include "text/Text.h"

#include <cstddef>
#include <cstdint>

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

// The six visible fields in column order, as byte offsets for the sort.
enum class RecordField : std::int32_t { Path = 0, Name, Size, Date, Time, User };
constexpr std::int64_t FieldOffset(RecordField field) {
    return static_cast<std::int64_t>(field) * static_cast<std::int64_t>(sizeof(Text));
}
constexpr int kVisibleFieldCount = 6;

// Every member is a text that the list releases.
extern const std::int64_t kDuplicateRecordFieldMap[8];

// Every accepted line in file order until the first sort.
extern ListVariable AllRecords;
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
