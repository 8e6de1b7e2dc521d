// Stable sort of a RecordList by one field, by relinking its elements.
#pragma once

#include "records/RecordList.h"

#include <cstdint>
#include <string_view>

namespace qk {

constexpr std::int32_t kSortDescending = 1;
constexpr std::int32_t kSortIgnoreCase = 2;

// Sorts the whole list by the field at byte offset `field` of the element
// data, read as `kind` (ElementKind(-1): the list's own kind). A kind without
// an order leaves the list unchanged. The current element stays current.
void SortRecordsByField(RecordList* list, std::int32_t options, std::int64_t field,
                        ElementKind kind);
// Sorts only the elements at the 0-based positions first..last (both -1: the
// whole list); the cursor ends on the element at `last`.
void SortRecordRange(RecordList* list, std::int32_t options, std::int64_t field, ElementKind kind,
                     std::int64_t first, std::int64_t last);

// Ordinal comparison by UTF-16 code unit values: -1, 0 or +1.
int CompareTexts(std::u16string_view a, std::u16string_view b);
// Comparison with letter case folded: negative, 0 or positive.
int CompareTextsIgnoreCase(std::u16string_view a, std::u16string_view b);

} // namespace qk
