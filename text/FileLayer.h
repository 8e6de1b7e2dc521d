// The text file reader's few calls to the operating system: open, read, seek
// and close. FileLayerPosix.cpp and FileLayerWin32.cpp implement them; the
// reader's rules (file table, buffer, line ends, decoding) stay portable.
#pragma once

#include "text/Text.h"

#include <cstddef>
#include <cstdint>

namespace qk {

// An open file of the operating system; kNoFileHandle when none.
using FileHandle = std::intptr_t;
inline constexpr FileHandle kNoFileHandle = -1;

// Opens an existing regular (disk) file for reading, shared with nobody: a
// second open of the same file fails while this one is open. Never blocks (a
// FIFO, device or directory is refused). kNoFileHandle on failure.
FileHandle OpenFileForReading(const Text& path);
// Reads up to `count` bytes at the current position; interrupted reads are
// retried. The number of bytes read: 0 at the end of the file and on failure.
std::size_t ReadFromFile(FileHandle file, void* destination, std::size_t count);
// Moves the position to `offset` bytes from the start; false on failure.
bool SeekFile(FileHandle file, std::uint64_t offset);
void CloseFile(FileHandle file);

} // namespace qk
