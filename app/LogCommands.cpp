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
#include "ui/Progress.h"

#include <array>

namespace qk {
namespace {

constexpr int kNameColumn = static_cast<int>(RecordField::Name);

// The lists as a freshly loaded log shows them: in file order, all listed,
// no sort option chosen.
void ShowFreshLog() {
    ClearRows(MatchListView);
    ClearRows(RecordListView);
    ClearRecords(NameMatches.list);
    SetControlText(FindField, u"?");
    for (std::int64_t option = FirstSortOption; option <= LastSortOption; ++option)
        UnchooseOption(option);
    RememberSortOption(0);
    FillRecordListView();
    ShowStartCount();
}

// A row of the upper list as the user saw it: where it stood and what it
// showed, so that the same record can be found after a reload.
struct SeenRow {
    std::int64_t row = -1;
    std::array<Text, kVisibleFieldCount> cells;
};

SeenRow RowAsSeen(std::int64_t row) {
    SeenRow seen;
    if (row < 0 || row >= RowCount(RecordListView)) return seen;
    seen.row = row;
    for (int column = 0; column < kVisibleFieldCount; ++column)
        seen.cells[static_cast<std::size_t>(column)] = GetCellText(RecordListView, row, column);
    return seen;
}

bool ShowsRecord(std::int64_t row, const SeenRow& seen) {
    // The name first: it tells most records apart.
    if (GetCellText(RecordListView, row, kNameColumn) != seen.cells[kNameColumn]) return false;
    for (int column = 0; column < kVisibleFieldCount; ++column)
        if (column != kNameColumn && GetCellText(RecordListView, row, column) !=
                                         seen.cells[static_cast<std::size_t>(column)])
            return false;
    return true;
}

// The row that shows the seen record now, the one nearest its old place
// when several do; -1 when none does.
std::int64_t RowNow(const SeenRow& seen) {
    if (seen.row < 0) return -1;
    const std::int64_t rows = RowCount(RecordListView);
    for (std::int64_t distance = 0;; ++distance) {
        const std::int64_t below = seen.row + distance, above = seen.row - distance;
        if (below >= rows && above < 0) return -1;
        if (below < rows && ShowsRecord(below, seen)) return below;
        if (distance > 0 && above >= 0 && above < rows && ShowsRecord(above, seen)) return above;
    }
}

// The view of the upper list that F5 puts back: the selected row, and the
// record at the top (or, when it went away, the same place).
struct ListPlace {
    SeenRow selected, top;
};

ListPlace PlaceInRecordList() {
    return {RowAsSeen(SelectedRow(RecordListView)), RowAsSeen(TopRow(RecordListView))};
}

void PutBack(const ListPlace& view) {
    SelectRow(RecordListView, RowNow(view.selected));
    const std::int64_t top = RowNow(view.top);
    ScrollToRow(RecordListView, top >= 0 ? top : view.top.row);
}

} // namespace

void AddLogShortcuts() {
    AddKeyShortcut(MainWindow, kOpenShortcut, u"Ctrl+O");
    AddKeyShortcut(MainWindow, kReloadShortcut, u"F5");
}

void OpenAnotherLog(const Text& given) {
    const Text path = given.empty() ? ChooseLogFile() : given;
    if (path.empty()) return; // Cancel: the current log stays
    // A long load cancelled keeps the current log and its view as well, and
    // so does a log that changed while it was read or holds no record.
    if (!LoadAnotherLog(path, false)) return;
    ShowFreshLog();
}

void ReloadCurrentLog() {
    const Text path = LoadedLog();
    if (path.empty()) return;
    const std::int64_t sortOption = ChosenSortOption();
    const bool findApplied = FindTextApplied();
    // The lower list shows the records of one name; it is looked up again.
    const Text name =
        RowCount(MatchListView) > 0 ? GetCellText(MatchListView, 0, kNameColumn) : Text();
    const ListPlace place = PlaceInRecordList();
    // Cancelled, gone, changed while read or without records: the log and
    // the view stay as they were.
    if (!LoadAnotherLog(path, true)) return;
    ClearRows(MatchListView);
    ClearRows(RecordListView);
    ClearRecords(NameMatches.list);
    // A sort that waits for ranks still being worked out keeps the windows
    // answering meanwhile.
    if (sortOption >= FirstSortOption)
        SortAllRecords(static_cast<RecordField>(sortOption - FirstSortOption), RepaintWindows);
    RememberSortOption(sortOption);
    // The find text "?" of the start lists everything until it is edited.
    if (findApplied) {
        ApplyFindFilter(); // the field still holds the text
    } else {
        FillRecordListView();
        ShowStartCount();
    }
    if (!name.empty()) ShowMatchesOfName(name);
    PutBack(place);
}

} // namespace qk
