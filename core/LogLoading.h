// Reading a duplicate log into AllRecords.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace qk {

// Creates AllRecords and NameMatches afresh, then reads the file at `path`
// line by line and appends a record for every line that names a document
// file, in file order. Returns false when the file could not be opened; both
// lists are empty then.
bool ReadDuplicateLog(const Text& path);

// Told now and then while a log loads: the bytes read so far and the file's
// size. Returning false cancels the loading.
using LoadProgress = std::function<bool(std::uint64_t read, std::uint64_t size)>;
enum class LoadResult { Loaded, CannotOpen, Cancelled };
// ReadDuplicateLog that tells `progress` how far it has come, every few
// thousand lines. A cancelled load leaves both lists empty.
LoadResult ReadDuplicateLog(const Text& path, const LoadProgress& progress);

// Counts the records of the log at `path` without keeping them: `total` as
// loading would give, `listed` those a find for `findText` would list (all
// of them for an empty find text). False when the file could not be opened.
bool CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                       std::int64_t& total);

} // namespace qk
