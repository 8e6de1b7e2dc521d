// Loading a duplicate log on several threads: the file is read in large
// blocks cut at line ends, each block decoded and parsed on its own into the
// records of one segment, and the segments stitched together in file order.
// The records come out exactly as a line-by-line read gives them.
#pragma once

#include "core/ExportFormats.h"
#include "core/RecordTable.h"
#include "text/Text.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace qk {

struct BlockLoadOptions {
    std::size_t blockBytes = std::size_t{1} << 20;
    int threads = 2;
    // Work out the ranks of names and sizes on another thread afterwards.
    bool rankWork = false;
    // Told on the calling thread, after each block it parsed or took and at
    // least every few hundredths of a second while it waits for the other
    // threads, how many bytes of how many have been read; false stops the
    // loading, which then leaves the table empty.
    std::function<bool(std::uint64_t read, std::uint64_t size)> progress = nullptr;
};

// How a load ended. Only Loaded leaves records: a log that could not be held
// whole (memory ran out on the way) leaves none, as a cancelled one does, and
// so does a log that was written to while it was read (Changed: cut short,
// rewritten or grown) or whose reading failed before its end (ReadFailed).
enum class LoadResult { Loaded, CannotOpen, Cancelled, OutOfMemory, Changed, ReadFailed };

// Empties `table`, then reads the log at `path` into it.
LoadResult LoadLogTable(const Text& path, RecordTable& table, const BlockLoadOptions& options = {});

// Counts the records of the log at `path` without keeping them: `total` as
// loading would give, `listed` those a find for `findText` would list (all
// of them for an empty find text). Both are 0 unless Loaded comes back.
LoadResult CountLogRecords(const Text& path, std::u16string_view findText, std::int64_t& listed,
                           std::int64_t& total, const BlockLoadOptions& options = {});

// Writes the records of the log at `path` that a find for `findText` lists
// (all of them for an empty find text), in file order, in `format` as the
// export writes them, heading line first, through `write`, block by block
// while the log is read: no record is kept. `written` turns false when
// `write` failed, which stops the reading. Nothing is written when the first
// block cannot be read, nor after the log was seen to change.
LoadResult PrintLogRecords(const Text& path, std::u16string_view findText, ExportFormat format,
                           const std::function<bool(std::string_view)>& write, bool& written,
                           const BlockLoadOptions& options = {});

} // namespace qk
