// The rules of the file dialogs that do not depend on a toolkit: the filter
// list made from a pattern, the initial folder and name made from a default
// file, the extension a saved name gets, and what a typed name means.
#pragma once

#include "text/Text.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qk::ui {

// One pair of a pattern "display|patterns|display|patterns...". A display
// text without a "|" after it has no patterns: the dialog lists every file.
struct FilterPair {
    Text display;
    Text patterns; // ";"-separated, as given
    bool hasPatterns = false;
};
std::vector<FilterPair> FilterPairs(const Text& pattern);

// The platform's filter list: the pattern with every "|" a zero, ended by
// two zeros.
std::u16string FilterList(const Text& pattern);

// The longest initial name a dialog takes.
constexpr std::size_t kInitialNameLimit = 259;

// The initial folder and name from a default file: cut at its last "\" or
// "/" when that is not its first character; otherwise the whole text is the
// name. The name is cut to kInitialNameLimit and dropped when it is no valid
// file name (a wildcard, say).
struct InitialFile {
    Text folder;
    Text name;
};
InitialFile SplitDefaultFile(const Text& defaultFile);

// The extension that pair `pair` (1-based) gives a saved name: "csv" of
// "CSV|*.csv;*.txt"; empty for "*", "*.*", "*.c?" or a pair that is not there.
Text PatternExtension(const Text& pattern, std::size_t pair);

// `file` with "." and the extension of pair `pair` added when its last name
// has no extension of its own.
Text WithPatternExtension(const Text& file, const Text& pattern, std::size_t pair);

// Whether a name typed into a file dialog is a wildcard ("*", "*.log",
// "logs/*.txt"): it changes the listed files instead of choosing one.
bool IsWildcardName(std::u16string_view typed);

} // namespace qk::ui
