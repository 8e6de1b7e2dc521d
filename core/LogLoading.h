// Reading a duplicate log into AllRecords.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <string_view>

namespace qk {

// Empties AllRecords and NameMatches, then reads the file at `path` (in
// blocks, on two threads) and keeps a record for every line that names a
// document file, in file order. Returns false when the file could not be
// opened; both are empty then.
bool ReadDuplicateLog(const Text& path);

// Counts the records of the log at `path` without keeping them: `total` as
// loading would give, `listed` those a find for `findText` would list (all
// of them for an empty find text). False when the file could not be opened.
bool CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                       std::int64_t& total);

} // namespace qk
