// The export button's command: the upper list as shown, written to a file
// the user chooses, as CSV or JSON Lines.
#pragma once

#include "core/ExportFormats.h"
#include "text/Text.h"

namespace qk {

// The pattern of the save dialog: CSV first, then JSON Lines.
inline constexpr const char16_t* kExportPattern = u"CSV (*.csv)|*.csv|JSON Lines (*.jsonl)|*.jsonl";

// The file the save dialog proposes for `log`: the same folder and name,
// with the extension `extension` (".csv") in place of the log's own.
Text ProposedExportFile(const Text& log, std::u16string_view extension);
// The format for the chosen file: its extension decides (.csv or .jsonl, in
// any case); otherwise the chosen pattern pair (1 CSV, 2 JSON Lines). The
// viewer's CSV is the spreadsheet CSV.
ExportFormat ExportFormatFor(const Text& file, std::int32_t chosenPattern);

// Remembers the log the lists were loaded from, for the proposed file name.
void RememberLoadedLog(const Text& log);

// Asks for the file and writes the upper list to it, the viewer's CSV being
// the spreadsheet CSV; a long export shows the progress window, whose Cancel
// stops it. A failure is shown in a message box; a failure or a cancel
// leaves an earlier file under that name as it was.
void ExportRecordList();

} // namespace qk
