// Type-ahead in a list: typing selects the next row whose first column
// starts with the typed letters, ignoring case, as the platform's list does.
#pragma once

#include "ui/common/ListRows.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace qk::ui {

// Whether `text` starts with `prefix`, ignoring letter case.
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);
// Whether what a cell of `text` shows (ShownCellText) starts with `prefix`,
// ignoring letter case.
bool ShownStartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

// The keys typed into one list and how they make the text searched for.
struct TypedKeys {
    std::u16string typed;
    std::int64_t lastKeyMs = 0;
};

// What to look for after a key, and from where.
struct TypeAheadSearch {
    std::u16string_view prefix; // valid until the next key
    bool afterCurrent;          // start at the row after the current one
};

// Adds the characters of one key typed at `nowMs`. A key more than
// `intervalMs` after the one before starts a new search, which begins after
// the current row; a key that extends the search looks from the current row
// on. Typing one letter again and again steps through the rows starting
// with it.
TypeAheadSearch AddTypedKey(TypedKeys& keys, std::u16string_view key, std::int64_t nowMs,
                            std::int64_t intervalMs);

// Finds rows by the start of their first column. Rows read from a source
// whose first column is shared are searched by text id: each distinct text
// is looked at once per search, and the rows' ids, fetched from the source
// a chunk at a time as a search first walks over them, are kept until the
// rows change. A search that finds nothing near its start first asks which
// ids the rows hold at all, so that letters only other rows start with are
// answered without walking every row.
class TypeAhead {
  public:
    // The first row at or after `start`, wrapping past the last row to row
    // 0, whose first column starts with `prefix`; -1 when none does.
    std::int64_t Find(const ListRows& rows, std::int64_t start, std::u16string_view prefix);
    std::size_t StorageBytes() const;

  private:
    static constexpr std::int64_t kChunk = 4096;
    // Rows walked before the search asks whether any row can match.
    static constexpr std::int64_t kNearRows = 16 * kChunk;
    bool Holds(const ListRows& rows) const;
    void Reset(const ListRows& rows);
    bool MarkMatches(std::u16string_view prefix);
    bool AnyRowMatches(const ListRows& rows);
    // The first matching row of the `limit` rows from `start` on, wrapping.
    std::int64_t FindFrom(const ListRows& rows, std::int64_t start, std::int64_t limit);
    std::int64_t FindInRange(const ListRows& rows, std::int64_t from, std::int64_t to);
    const std::uint32_t* ChunkIds(const ListRows& rows, std::int64_t chunk);

    const RowSource* source_ = nullptr;
    std::uint64_t generation_ = 0;
    // By row, the id of its first column's text; filled a chunk at a time.
    std::unique_ptr<std::uint32_t[]> rowIds_;
    std::size_t rowIdCount_ = 0;
    std::vector<std::uint8_t> fetched_;  // by chunk of rows: 1 once rowIds_ holds it
    std::vector<std::uint8_t> matching_; // by id: 1 when the text starts with the prefix
    std::vector<std::uint32_t> matched_; // the ids marked in matching_
    std::vector<std::uint8_t> present_;  // by id: 1 when some row has it; empty until asked
    std::u16string lastPrefix_;          // what matched_ was found for
    bool lastPrefixHolds_ = false;
};

} // namespace qk::ui
