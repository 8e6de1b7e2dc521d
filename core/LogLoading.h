// Reading a duplicate log into AllRecords.
#pragma once

#include "text/Text.h"

namespace qk {

// Creates AllRecords and NameMatches afresh, then reads the file at `path`
// line by line and appends a record for every line that names a document
// file, in file order. Returns false when the file could not be opened; both
// lists are empty then.
bool ReadDuplicateLog(const Text& path);

} // namespace qk
