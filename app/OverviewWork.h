// The long work behind the overview window: working the overview out on a
// helper thread while the windows keep answering, and writing a list of it
// to a file.
#pragma once

#include "core/ExportFormats.h"
#include "core/Overview.h"
#include "text/Text.h"

#include <cstdint>
#include <vector>

namespace qk {

// The overview of AllRecords into `overview`: the ranks of the names are
// waited for and the rest is worked out on a helper thread, with the
// progress window after progressWindowDelay. False when the user cancelled
// or it could not be done; what failed has been told then.
bool WorkOutOverview(Overview& overview);

// Which list of the overview a file gets.
enum class OverviewList { Groups, Pairs };

// Writes the rows `rows` (indices into the groups or the pairs) of
// `overview` to `file` as quellkamp-list prints them, safely as the record
// export does; `progress` is asked now and then.
ExportOutcome ExportOverviewRows(const Text& file, ExportFormat format, const Overview& overview,
                                 OverviewList list, const std::vector<std::uint32_t>& rows,
                                 const ExportProgress& progress);

} // namespace qk
