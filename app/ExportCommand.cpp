#include "app/ExportCommand.h"

#include "app/FileMessages.h"
#include "app/LoadProgress.h"
#include "ui/Dialogs.h"

#include <string>

namespace qk {
namespace {

Text loadedLog;

constexpr std::int32_t kJsonLinesPattern = 2;

// Whether `units` ends with `suffix`, ignoring the case of ASCII letters.
bool EndsWithAsciiFolded(std::u16string_view units, std::u16string_view suffix) {
    if (units.size() < suffix.size()) return false;
    const std::u16string_view tail = units.substr(units.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i) {
        char16_t unit = tail[i];
        if (unit >= u'A' && unit <= u'Z') unit = static_cast<char16_t>(unit - u'A' + u'a');
        if (unit != suffix[i]) return false;
    }
    return true;
}

} // namespace

Text ProposedExportFile(const Text& log, std::u16string_view extension) {
    std::u16string file(log.view());
    const std::size_t nameStart = file.find_last_of(u"\\/") + 1; // npos + 1 == 0
    const std::size_t dot = file.rfind(u'.');
    // A leading dot starts a name, not an extension.
    if (dot != std::u16string::npos && dot > nameStart) file.resize(dot);
    if (file.size() == nameStart) return Text(); // no name to propose
    file += extension;
    return Text(file);
}

ExportFormat ExportFormatFor(const Text& file, std::int32_t chosenPattern) {
    if (EndsWithAsciiFolded(file.view(), u".jsonl")) return ExportFormat::JsonLines;
    if (EndsWithAsciiFolded(file.view(), u".csv")) return ExportFormat::SpreadsheetCsv;
    return chosenPattern == kJsonLinesPattern ? ExportFormat::JsonLines
                                              : ExportFormat::SpreadsheetCsv;
}

void RememberLoadedLog(const Text& log) {
    loadedLog = log;
}

void ExportRecordList() {
    const Text file = ChooseFileToSave(u"Export to...", ProposedExportFile(loadedLog, u".csv"),
                                       kExportPattern, 0);
    if (file.empty()) return; // cancelled: nothing is written
    ExportOutcome outcome;
    {
        // The window goes before a message about the file is shown.
        DelayedProgressWindow progress(file);
        outcome = ExportShownRecords(
            file, ExportFormatFor(file, ChosenPattern()),
            [&](std::uint64_t done, std::uint64_t total) { return progress(done, total); });
    }
    if (outcome.failed)
        ShowMessage(u"Information", CannotWriteMessage(file, outcome.error, outcome.errorNumber));
}

} // namespace qk
