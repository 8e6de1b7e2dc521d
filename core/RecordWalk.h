// Walking a record list fast. Once a sort has scattered the records over
// memory, a walk from element to element waits for memory at every step;
// these walks collect the records first and read ahead while they work.
#pragma once

#include "core/DuplicateRecord.h"
#include "text/Scan.h"

#include <cstddef>
#include <vector>

namespace qk {

// The buffer a walk collects the records into. One shared buffer is kept
// between walks, so that a walk over a million records allocates nothing; it
// is lent to one walk at a time, and a walk that starts while another holds
// it (a visit that walks again) gets a buffer of its own.
class WalkBuffer {
  public:
    WalkBuffer();
    ~WalkBuffer();
    WalkBuffer(const WalkBuffer&) = delete;
    WalkBuffer& operator=(const WalkBuffer&) = delete;

    std::vector<void*>& records() { return shared_ ? *shared_ : own_; }

  private:
    std::vector<void*>* shared_;
    std::vector<void*> own_;
};

// Which texts of the records ahead a walk brings in early.
enum class ReadAhead { Records, RecordsAndNames, RecordsNamesAndSizes };

// Calls `visit` with every record of `list` in order. Afterwards the cursor
// stands on the last record, as after a walk with NextRecord.
template <ReadAhead ahead = ReadAhead::Records, typename Visit>
void WalkRecords(ListVariable& list, Visit visit) {
    WalkBuffer buffer;
    std::vector<void*>& records = buffer.records();
    CollectRecords(list.list, records);
    constexpr std::size_t kRecordsAhead = 16;
    constexpr std::size_t kTextsAhead = 8;
    const std::size_t count = records.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kRecordsAhead < count) Prefetch(records[i + kRecordsAhead]);
        if constexpr (ahead != ReadAhead::Records) {
            if (i + kTextsAhead < count) {
                const auto* later = static_cast<const DuplicateRecord*>(records[i + kTextsAhead]);
                Prefetch(later->name.data());
                if constexpr (ahead == ReadAhead::RecordsNamesAndSizes)
                    Prefetch(later->size.data());
            }
        }
        visit(*static_cast<DuplicateRecord*>(records[i]));
    }
}

} // namespace qk
