// Reading a duplicate log into AllRecords.
#pragma once

#include "core/BlockLoading.h"
#include "text/Text.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace qk {

// Empties AllRecords and NameMatches, then reads the file at `path` (in
// blocks, on two threads) and keeps a record for every line that names a
// document file, in file order. Returns false when the file could not be
// opened or not held whole; both are empty then.
bool ReadDuplicateLog(const Text& path);

// Told now and then while a log loads: the bytes read so far and the file's
// size. Returning false cancels the loading.
using LoadProgress = std::function<bool(std::uint64_t read, std::uint64_t size)>;
// ReadDuplicateLog that tells `progress` how far it has come, every few
// thousand lines. A load that is cancelled or runs out of memory leaves both
// lists empty.
LoadResult ReadDuplicateLog(const Text& path, const LoadProgress& progress);

// Counts the records of the log at `path` without keeping them: `total` as
// loading would give, `listed` those a find for `findText` would list (all
// of them for an empty find text).
LoadResult CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                             std::int64_t& total);

} // namespace qk
