#include "app/LogCommands.h"

#include "app/ExportCommand.h"
#include "app/MainWindow.h"
#include "app/ViewCommands.h"
#include "core/DuplicateRecord.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "text/FileLayer.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialogs.h"

namespace qk {
namespace {

constexpr int kNameColumn = static_cast<int>(RecordField::Name);

// The lists as a freshly loaded log shows them: in file order, all listed.
void ShowFreshLog() {
    ClearRows(MatchListView);
    ClearRows(RecordListView);
    ClearRecords(NameMatches.list);
    SetControlText(FindField, u"?");
    RememberSortOption(0);
    FillRecordListView();
    ShowStartCount();
}

} // namespace

void AddLogShortcuts() {
    AddKeyShortcut(MainWindow, kOpenShortcut, u"Ctrl+O");
    AddKeyShortcut(MainWindow, kReloadShortcut, u"F5");
}

void OpenAnotherLog(const Text& given) {
    const Text path = given.empty() ? ChooseLogFile() : given;
    if (path.empty()) return; // Cancel: the current log stays
    LoadDuplicateLog(path);
    ShowFreshLog();
}

void ReloadCurrentLog() {
    const Text path = LoadedLog();
    if (path.empty()) return;
    // A log that went away leaves the records on screen.
    const FileHandle probe = OpenFileForReading(path);
    if (probe == kNoFileHandle) {
        ShowMessage(u"Information", u"Konnte Datei nicht öffnen!");
        return;
    }
    CloseFile(probe);
    const std::int64_t sortOption = ChosenSortOption();
    const Text findText = GetControlText(FindField);
    const bool findApplied = FindTextApplied();
    // The lower list shows the records of one name; it is looked up again.
    const Text name =
        RowCount(MatchListView) > 0 ? GetCellText(MatchListView, 0, kNameColumn) : Text();
    LoadDuplicateLog(path);
    ClearRows(MatchListView);
    ClearRows(RecordListView);
    ClearRecords(NameMatches.list);
    if (sortOption >= FirstSortOption)
        SortAllRecords(static_cast<RecordField>(sortOption - FirstSortOption));
    RememberSortOption(sortOption);
    // The find text "?" of the start lists everything until it is edited.
    if (findApplied) MarkRecordsByFindText(findText.view());
    FillRecordListView();
    if (findApplied)
        SetControlText(CountLabel,
                       CountLabelText(RowCount(RecordListView), TableCount(AllRecords)));
    else
        ShowStartCount();
    if (!name.empty()) ShowMatchesOfName(name);
}

} // namespace qk
