// The layout of a RecordList, shared by the list operations and the sort.
#pragma once

#include "records/RecordList.h"
#include "text/Scan.h"

#include <cstdint>
#include <cstdlib>

namespace qk {

struct ElementPool;

struct RecordList {
    Element* first = nullptr;
    Element* last = nullptr;
    Element* current = nullptr; // null: the cursor stands before the first element
    std::int64_t count = 0;
    const std::int64_t* textOffsets = nullptr; // the field map's valid offsets, ended by -1
    std::int64_t dataSize = 0;
    ElementKind kind = ElementKind::Record;
    ElementPool* pool = nullptr;
    ListVariable* variable = nullptr;
    bool ownsVariable = false;
    // The elements from first to last as the last sort of the whole list left
    // them, or null. Any change of the links drops it; the sort uses it to
    // avoid walking a list whose elements lie scattered in memory.
    Element** order = nullptr;
};

inline void DropOrder(RecordList* list) noexcept {
    std::free(list->order);
    list->order = nullptr;
}

// Keeps the variable's second word equal to the list's current element.
inline void SetCurrent(RecordList* list, Element* element) noexcept {
    list->current = element;
    list->variable->current = element;
}

// What a pool holds, for tests and diagnostics.
struct ElementPoolStats {
    std::int64_t users = 0;      // lists drawing from the pool; 0 when there is no pool
    std::int64_t slotSize = 0;   // bytes per slot, the block word included
    std::int64_t totalSlots = 0; // slots of all blocks the pool holds
    std::int64_t blocks = 0;
    std::int64_t slotsInUse = 0;
};
// Whether the sort may collect a range into a temporary array (the default)
// or relinks it in place at once, as it does when that array's memory cannot
// be had. For tests of the in-place merge.
void UseSortArray(bool enabled);

// The pool that lists with `dataSize` bytes of data per element draw from.
ElementPoolStats ElementPoolStatsFor(std::int64_t dataSize);

} // namespace qk
