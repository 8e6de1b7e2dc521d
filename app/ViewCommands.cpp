#include "app/ViewCommands.h"

#include "app/ExportCommand.h"
#include "app/LoadProgress.h"
#include "core/DuplicateRecord.h"
#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "core/RecordWalk.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"

namespace qk {
namespace {

constexpr int kNameColumn = static_cast<int>(RecordField::Name);

// Appends the rows of `list`'s records that pass `include` to `control`.
template <typename Include>
void FillListView(std::int64_t control, ListVariable& list, Include include) {
    std::int64_t row = 0;
    WalkRecords(list, [&](const DuplicateRecord& record) {
        if (!include(record)) return;
        AddRow(control, -1, FieldOf(record, RecordField::Path));
        for (int column = 1; column < kVisibleFieldCount; ++column)
            SetCellText(control, row, FieldOf(record, static_cast<RecordField>(column)), column);
        ++row;
    });
}

} // namespace

bool LoadDuplicateLog(const Text& given) {
    const Text path = given.empty() ? ChooseFileToOpen(u"LOG-Datei", u"*.txt", u"*.txt", 0) : given;
    if (path.empty()) return false;
    RememberLoadedLog(path);
    switch (ReadLogShowingProgress(path)) {
    case LoadResult::Cancelled:
        return false; // as if no file had been chosen
    case LoadResult::CannotOpen:
        ShowMessage(u"Information", u"Konnte Datei nicht öffnen!");
        break;
    case LoadResult::Loaded:
        break;
    }
    return true;
}

void FillRecordListView() {
    FillListView(RecordListView, AllRecords, IsShown);
}

void ShowStartCount() {
    const std::int64_t total = RecordCount(AllRecords.list);
    SetControlText(CountLabel, CountLabelText(total, total));
}

void SortByOption(std::int64_t control) {
    SortAllRecords(static_cast<RecordField>(control - FirstSortOption));
    ClearRows(RecordListView);
    FillRecordListView();
}

void ShowNameMatches() {
    const std::int64_t row = SelectedRow(RecordListView);
    ClearRows(MatchListView);
    if (row < 0) {
        // No row is selected (the click's row went away): nothing to match.
        ClearRecords(NameMatches.list);
        return;
    }
    CollectNameMatches(GetCellText(RecordListView, row, kNameColumn));
    FillListView(MatchListView, NameMatches, [](const DuplicateRecord&) { return true; });
}

void ApplyFindFilter() {
    const Text findText = GetControlText(FindField);
    ClearRows(RecordListView);
    ClearRows(MatchListView);
    ClearRecords(NameMatches.list);
    MarkRecordsByFindText(findText);
    FillRecordListView();
    SetControlText(CountLabel,
                   CountLabelText(RowCount(RecordListView), RecordCount(AllRecords.list)));
}

} // namespace qk
