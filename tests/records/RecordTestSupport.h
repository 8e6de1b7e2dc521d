// Records of seven texts laid out like the program's duplicate records, and
// helpers to build and inspect lists of them.
#pragma once

#include "records/RecordList.h"
#include "records/RecordListInternal.h"
#include "text/Text.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace qk::test {

struct Rec {
    Text path;
    Text name;
    Text size;
    Text date;
    Text time;
    Text user;
    Text shown;
};
static_assert(sizeof(Rec) == 56);

inline constexpr std::int64_t kRecFieldMap[8] = {0, 8, 16, 24, 32, 40, 48, -1};
inline constexpr std::int64_t kPathField = 0;
inline constexpr std::int64_t kNameField = 8;
inline constexpr std::int64_t kUserField = 40;

inline Rec* RecOf(Element* element) {
    return static_cast<Rec*>(element->Data());
}

// How many holders share a text's storage. Reads the reference count that
// leads the storage block of a non-empty text.
inline std::uint32_t ShareCount(const Text& text) {
    return *static_cast<const std::uint32_t*>(text.Storage());
}

// The `user` fields from first to last, by the links (the cursor stays).
inline std::vector<std::u16string> Users(const RecordList* list) {
    std::vector<std::u16string> users;
    for (Element* e = list->first; e; e = e->next)
        users.emplace_back(RecOf(e)->user.view());
    return users;
}

// True when the links run consistently both ways and match first, last and
// count.
inline bool LinksConsistent(const RecordList* list) {
    std::int64_t n = 0;
    Element* previous = nullptr;
    for (Element* e = list->first; e; e = e->next) {
        if (e->previous != previous) return false;
        previous = e;
        ++n;
    }
    return previous == list->last && n == list->count;
}

// A list of records whose `user` is the label and whose `name` is the key;
// an absent key leaves the field absent.
struct Keyed {
    const char16_t* label;
    const char16_t* key; // nullptr: absent
};

inline RecordList* MakeRecList(ListVariable& variable, const std::vector<Keyed>& rows) {
    RecordList* list = CreateRecordList(sizeof(Rec), &variable, kRecFieldMap, ElementKind::Record);
    for (const Keyed& row : rows) {
        Rec* rec = static_cast<Rec*>(AppendRecord(list));
        rec->user = Text(row.label);
        if (row.key) rec->name = Text(row.key);
    }
    return list;
}

} // namespace qk::test
