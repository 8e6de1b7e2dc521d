// Opening another log and reloading the current one while the window is up.
#pragma once

#include "text/Text.h"

#include <cstdint>

namespace qk {

// The MenuEvent sources of Ctrl+O and F5 (Ctrl+F is kFindShortcut).
constexpr std::int64_t kOpenShortcut = 2;
constexpr std::int64_t kReloadShortcut = 3;

// Gives the main window Ctrl+O and F5.
void AddLogShortcuts();

// Ctrl+O: asks for a log with the open dialog of the start (or takes `path`
// when it is not empty). Cancel keeps the current log and view; a chosen log
// replaces the current one as at start: a log that cannot be opened is
// reported and leaves both lists empty.
void OpenAnotherLog(const Text& path);

// F5: reads the current log again and puts the view back: the sort option,
// the find text, the lower list's name when it is still there. A log that
// cannot be opened any more is reported and the old records stay.
void ReloadCurrentLog();

} // namespace qk
