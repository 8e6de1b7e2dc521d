// The viewer's commands: the record-level work followed by the refresh of the
// window's controls.
#pragma once

#include "text/Text.h"

#include <cstdint>

namespace qk {

// Loads the log at `path`, or when `path` is empty asks for one. Returns
// false when no file was chosen or the user cancelled a long load; a file
// that cannot be opened is reported and leaves both lists empty.
bool LoadDuplicateLog(const Text& path);

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
