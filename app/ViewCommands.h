// The viewer's commands: the record-level work followed by the refresh of the
// window's controls.
#pragma once

#include "text/Text.h"

#include <cstdint>

namespace qk {

// At start: loads the log at `path`, or when `path` is empty asks for one.
// Returns false when no file was chosen or the user cancelled a long load; a
// file that cannot be opened is reported and leaves both lists empty, as
// does a log without records (unreported). A log that changed while it was
// read is reported and the dialog asks again.
bool LoadDuplicateLog(const Text& path);
// With the window up (Ctrl+O, a drop, or with `reload` F5): loads the log at
// `path` in place of the one on screen. True when it took its place (a log
// that cannot be opened, with `reload` false, leaves both lists empty and is
// reported); false when the log on screen stays: the load was cancelled, or
// the new log changed while it was read, holds no record or (with `reload`)
// cannot be opened, which is reported.
bool LoadAnotherLog(const Text& path, bool reload);

// The open dialog of the start; the empty text when it was cancelled.
Text ChooseLogFile();
// The log the lists were last loaded from.
Text LoadedLog();
// The sort option last chosen (1 to 6), 0 for file order; RememberSortOption
// sets it without sorting.
std::int64_t ChosenSortOption();
void RememberSortOption(std::int64_t control);
// Whether the find field's text has been applied since the last load.
bool FindTextApplied();
// The lower list shows every record named `name`, when there are any.
void ShowMatchesOfName(const Text& name);

// Appends a row to the upper list for every shown record, in list order.
void FillRecordListView();
// The count label at start: every record is listed.
void ShowStartCount();

// Sort option `control` (1 to 6) was chosen.
void SortByOption(std::int64_t control);
// A row of the upper list was clicked: the lower list shows every record of
// the same file name.
void ShowNameMatches();
// The find field's text changed: the upper list shows the records that
// contain it.
void ApplyFindFilter();

} // namespace qk
