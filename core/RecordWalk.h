// Walking a record list fast. Once a sort has scattered the records over
// memory, a walk from element to element waits for memory at every step;
// these walks collect the records first and read ahead while they work.
#pragma once

#include "core/DuplicateRecord.h"

#include <cstddef>
#include <vector>

namespace qk {

// The buffer every walk collects the records into, kept between walks so
// that a walk over a million records allocates nothing. Walks do not nest.
std::vector<void*>& WalkBuffer();

// Which texts of the records ahead a walk brings in early.
enum class ReadAhead { Records, RecordsAndNames, RecordsNamesAndSizes };

// Calls `visit` with every record of `list` in order. Afterwards the cursor
// stands on the last record, as after a walk with NextRecord.
template <ReadAhead ahead = ReadAhead::Records, typename Visit>
void WalkRecords(ListVariable& list, Visit visit) {
    std::vector<void*>& records = WalkBuffer();
    CollectRecords(list.list, records);
    constexpr std::size_t kRecordsAhead = 16;
    constexpr std::size_t kTextsAhead = 8;
    const std::size_t count = records.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kRecordsAhead < count) __builtin_prefetch(records[i + kRecordsAhead]);
        if constexpr (ahead != ReadAhead::Records) {
            if (i + kTextsAhead < count) {
                const auto* later = static_cast<const DuplicateRecord*>(records[i + kTextsAhead]);
                __builtin_prefetch(later->name.data());
                if constexpr (ahead == ReadAhead::RecordsNamesAndSizes)
                    __builtin_prefetch(later->size.data());
            }
        }
        visit(*static_cast<DuplicateRecord*>(records[i]));
    }
}

} // namespace qk
