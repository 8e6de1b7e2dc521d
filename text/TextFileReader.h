// Line-by-line reading of UTF-8 text files under small numbers chosen by the
// caller. A file is opened for reading only, shared with other readers only,
// and only if it is a regular file that exists; lines end at LF, CR LF, a
// lone CR or a NUL byte.
// A UTF-8 byte-order mark at the start of the file is skipped; a malformed
// sequence becomes U+FFFD (a stray continuation or invalid lead byte "?").
#pragma once

#include "text/FileLayer.h"
#include "text/Text.h"

#include <cstdint>
#include <string>

namespace qk {

// Non-zero when the file is open under `number` (for -1 the new number), 0
// when the open failed. A file already open under `number` is closed first.
std::int64_t OpenTextFile(std::int64_t number, const Text& name);
// Non-zero when no byte of the file is left; 0 when a byte is left and for a
// number under which no file is open.
std::int64_t AtEndOfFile(std::int64_t number);
// The next line without its terminator; the empty text at the end.
Text ReadTextLine(std::int64_t number);
// Closes the file; -1 closes every open file; an unused number is ignored.
void CloseTextFile(std::int64_t number);

// Additions for fast loading and for tests.

// Reads the next line into `line` (replacing its content) without making a
// Text, so a caller can parse from a reused buffer. 1 when a line was read
// (possibly empty), 0 at the end of the file or for an unused number (then
// `line` is empty). ReadTextLine reads the same way and makes its Text in one
// allocation.
std::int64_t ReadTextLineInto(std::int64_t number, std::u16string& line);
// Takes up to `count` raw bytes of the file (after a skipped byte-order mark)
// through its buffer; requests of at least the buffer size bypass it. Returns
// the number of bytes taken, fewer than `count` only at the end of the file,
// 0 for an unused number.
std::int64_t ReadFileBytes(std::int64_t number, void* destination, std::int64_t count);
// How far the file under `number` has been read: the bytes taken from the
// disk so far and the file's size. False for an unused number or when the
// system cannot tell.
bool TextFileProgress(std::int64_t number, std::uint64_t& read, std::uint64_t& size);
// After the file under `number` was read to its end: whether it was read as
// it was when it was opened. FileError::Other when it was; Changed when it
// was written to since (its size or time of change moved: cut short,
// rewritten or grown), or when the system cannot tell; ReadFailed when the
// end came before the size it had at the open with no sign of a change (a
// failed read).
FileError TextFileReadProblem(std::int64_t number);
// Whether the file under `number` still has the size and time of change it
// had when it was opened; a cheap test while it is read.
bool TextFileUnchanged(std::int64_t number);

// Told after every read from the disk with the bytes read from that file so
// far, so that tests can change a file at a chosen point of its reading;
// nullptr for none.
using TextFileReadHook = void (*)(std::uint64_t taken);
void SetTextFileReadHookForTesting(TextFileReadHook hook);
// Makes the buffer allocation of later opens fail (true) or work again
// (false), so that the unbuffered reading can be exercised by tests.
void FailTextFileBuffersForTesting(bool fail);

} // namespace qk
