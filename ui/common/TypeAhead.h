// Type-ahead in a list: typing selects the next row whose first column
// starts with the typed letters, ignoring case, as the platform's list does.
#pragma once

#include "ui/common/ListRows.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qk::ui {

// Whether `text` starts with `prefix`, ignoring letter case.
bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix);

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
// rows change.
class TypeAhead {
  public:
    // The first row at or after `start`, wrapping past the last row to row
    // 0, whose first column starts with `prefix`; -1 when none does.
    std::int64_t Find(const ListRows& rows, std::int64_t start, std::u16string_view prefix);
    std::size_t StorageBytes() const;

  private:
    static constexpr std::int64_t kChunk = 4096;
    bool Holds(const ListRows& rows) const;
    void Reset(const ListRows& rows);
    bool MarkMatches(std::u16string_view prefix);
    std::int64_t FindInRange(const ListRows& rows, std::int64_t from, std::int64_t to);
    const std::uint32_t* ChunkIds(const ListRows& rows, std::int64_t chunk);

    const RowSource* source_ = nullptr;
    std::uint64_t generation_ = 0;
    std::vector<std::uint32_t> rowIds_;  // by row, the id of its first column's text
    std::vector<std::uint8_t> fetched_;  // by chunk of rows: 1 once rowIds_ holds it
    std::vector<std::uint8_t> matching_; // by id: 1 when the text starts with the prefix
    std::vector<std::uint32_t> matched_; // the ids marked in matching_
    std::u16string lastPrefix_;          // what matched_ was found for
    bool lastPrefixHolds_ = false;
};

} // namespace qk::ui
