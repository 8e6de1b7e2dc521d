// The rows of a record table as a list reads them, whatever the table's
// layout: the cells of the rows on screen, made on demand, the shared texts
// by id for a search that looks at each distinct text once, and which of
// them the listed records have.
#pragma once

#include "core/RecordTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qk {

class TableRows {
  public:
    explicit TableRows(const RecordTable& table) : table_(table) {}

    // The text of a cell (column as RecordField), valid until the next call
    // of Cell or SharedText; empty for an item or column out of range.
    std::u16string_view Cell(std::uint32_t item, int column) const;
    // The shared texts of a column (RecordField): their number (0 for a
    // column whose texts are not shared), one by id, and the ids of `count`
    // items (0 for an item out of range).
    std::uint32_t SharedCount(int column) const;
    std::u16string_view SharedText(int column, std::uint32_t id) const;
    void SharedIds(int column, const std::uint32_t* items, std::size_t count,
                   std::uint32_t* ids) const;
    // Sets present[id] for the id of every listed record (`present` holds
    // SharedCount bytes): one pass in storage order.
    void MarkListedIds(int column, std::uint8_t* present) const;

    // The table changed its records: nothing learnt of it holds.
    void Forget();

  private:
    static constexpr std::uint32_t kStep = 1024;
    // The segment of every kStep-th storage index, so that a row's segment
    // is found without a search; made again when the table changed.
    bool Indexed() const;
    const RecordSegment& SegmentAt(std::uint32_t item) const;

    const RecordTable& table_;
    mutable std::vector<std::uint32_t> segmentAt_;
    mutable std::uint32_t indexedCount_ = 0;
    mutable std::size_t indexedSegments_ = 0;
    mutable const void* indexedFirst_ = nullptr;
    // Texts handed out, two at a time, so that two cells may be held at once.
    mutable std::array<std::u16string, 2> made_;
    mutable std::size_t next_ = 0;
};

} // namespace qk
