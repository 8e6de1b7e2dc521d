// Line-by-line reading of UTF-8 text files under small numbers chosen by the
// caller. A file is opened for reading only, exclusively, and only if it is a
// regular file that exists; lines end at LF, CR LF, a lone CR or a NUL byte.
#pragma once

#include "text/Text.h"

#include <cstdint>

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

} // namespace qk
