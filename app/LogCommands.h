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
// when it is not empty). Cancel, in the dialog or in the progress window of
// a long load, keeps the current log and view; a chosen log replaces the
// current one and shows as at start (file order, no sort option chosen): a
// log that cannot be opened is reported and leaves both lists empty. A log
// that holds no record or changed while it was read is reported, and the
// current log and view stay.
void OpenAnotherLog(const Text& path);

// F5: reads the current log again and puts the view back: the sort option,
// the find text, the lower list's name when it is still there, the selected
// row and the record at the top of the upper list where they are still
// listed (the top row's place when its record went). A log that cannot be
// opened any more, holds no record now or changed while it was read is
// reported and the old records and view stay; so do they when the user
// cancels a long reload.
void ReloadCurrentLog();

} // namespace qk
