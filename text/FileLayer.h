// The program's few calls to the operating system's files: open, read, seek
// and close for the text file reader; create, write, rename and remove for
// writing a file whole. FileLayerPosix.cpp and FileLayerWin32.cpp implement
// them; the rules above them (file table, buffer, line ends, decoding,
// formats) stay portable.
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
// How far reading has come: the position and the size of the file in bytes.
// False when the system cannot tell.
bool FileProgress(FileHandle file, std::uint64_t& position, std::uint64_t& size);

// Whether `path` names a folder that exists.
bool FolderExists(const Text& path);

// Writing. Each call that fails leaves a description for FileErrorText.

// Creates a new file for writing; fails when anything exists under `path`.
// The new file gets the permissions an ordinary new file gets.
FileHandle CreateFileForWriting(const Text& path);
// Writes all `count` bytes; false when they could not all be written.
bool WriteToFile(FileHandle file, const void* source, std::size_t count);
// Brings the written bytes to the disk and closes the file; false when
// either failed (the file is closed all the same).
bool FinishWriting(FileHandle file);
// Renames `from` to `to`, replacing a file `to` in one step.
bool ReplaceFile(const Text& from, const Text& to);
// Removes the file; false when it could not be removed.
bool RemoveFile(const Text& path);
// What went wrong in the last failed call above, in a few words.
Text FileErrorText();
// Whether the last failed call above failed because the name was in use.
bool FileErrorIsNameInUse();

// Whether standard output (or, with `error`, standard error) is a terminal
// or console, where text is shown to a person rather than kept.
bool StandardStreamIsTerminal(bool error);

} // namespace qk
