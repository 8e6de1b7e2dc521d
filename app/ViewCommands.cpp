#include "app/ViewCommands.h"

#include "app/ExportCommand.h"
#include "app/FileMessages.h"
#include "app/LoadProgress.h"
#include "app/MainWindow.h"
#include "app/OverviewWindow.h"
#include "core/DuplicateRecord.h"
#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "core/RecordWalk.h"
#include "core/TableRows.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Progress.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace qk {
namespace {

constexpr int kNameColumn = static_cast<int>(RecordField::Name);
constexpr int kPathColumn = static_cast<int>(RecordField::Path);

// Appends a row for every record of `list` to `control`.
void FillListView(std::int64_t control, ListVariable& list) {
    std::int64_t row = 0;
    WalkRecords(list, [&](const DuplicateRecord& record) {
        AddRow(control, -1, FieldOf(record, RecordField::Path));
        for (int column = 1; column < kVisibleFieldCount; ++column)
            SetCellText(control, row, FieldOf(record, static_cast<RecordField>(column)), column);
        ++row;
    });
}

// The upper list reads its rows from the loaded records. The paths are
// shared: type-ahead looks at each distinct path once.
class RecordRows final : public RowSource {
  public:
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        return rows_.Cell(item, column);
    }
    std::uint32_t SharedTextCount(int column) const override {
        return column == kPathColumn ? rows_.SharedCount(column) : 0;
    }
    std::u16string_view SharedText(int column, std::uint32_t id) const override {
        return column == kPathColumn ? rows_.SharedText(column, id) : std::u16string_view();
    }
    void SharedTextIds(int column, const std::uint32_t* items, std::size_t count,
                       std::uint32_t* ids) const override {
        if (column != kPathColumn) return RowSource::SharedTextIds(column, items, count, ids);
        rows_.SharedIds(column, items, count, ids);
    }
    // The rows of the upper list are the listed records: which paths they
    // have is one pass over the records in storage order.
    void MarkSharedTextIds(int column, const std::uint32_t* items, std::size_t count,
                           std::uint8_t* present) const override {
        const RecordTable& table = AllRecords;
        if (column != kPathColumn || items != listedItems_ || count != listedCount_ ||
            std::int64_t(count) != table.shownCount || table.shown.size() != TableCount(table)) {
            RowSource::MarkSharedTextIds(column, items, count, present);
            return;
        }
        rows_.MarkListedIds(column, present);
    }
    // The items the upper list was last filled with, the listed records.
    void Listed(const std::vector<std::uint32_t>& items) {
        listedItems_ = items.data();
        listedCount_ = items.size();
    }

    // The table is about to be replaced: nothing learnt of it holds.
    void Forget() {
        rows_.Forget();
        listedItems_ = nullptr;
        listedCount_ = 0;
    }

  private:
    TableRows rows_{AllRecords};
    const std::uint32_t* listedItems_ = nullptr;
    std::size_t listedCount_ = 0;
};

RecordRows gRecordRows;
Text gLoadedLog;
std::int64_t gSortOption = 0;
bool gFindApplied = false;

// What the lists need per row on the way to the screen (the row index, the
// views' sections), and a margin for the window.
constexpr std::size_t kShowBytesPerRow = 32;
constexpr std::size_t kShowMargin = std::size_t{32} << 20;

// Whether the memory to show `rows` rows can be had: asked for once and
// given back, so that a log that only just fits is turned away here rather
// than in the middle of the list's fill.
bool RoomToShow(std::size_t rows) {
    const std::size_t bytes = kShowMargin + rows * kShowBytesPerRow;
    void* room = std::malloc(bytes);
    std::free(room);
    return room != nullptr;
}

} // namespace

Text ChooseLogFile() {
    return ChooseFileToOpen(u"LOG-Datei", u"*.txt", u"*.txt", 0);
}

Text LoadedLog() {
    return gLoadedLog;
}

std::int64_t ChosenSortOption() {
    return gSortOption;
}

void RememberSortOption(std::int64_t control) {
    gSortOption = control;
}

bool FindTextApplied() {
    return gFindApplied;
}

void ShowMatchesOfName(const Text& name) {
    ClearRows(MatchListView);
    CollectNameMatches(name.view());
    FillListView(MatchListView, NameMatches);
}

namespace {

// The log at `path` is the one on screen now: its records replaced the old.
void TakeLog(const Text& path, const WindowLoad& load) {
    RememberLoadedLog(path);
    gLoadedLog = path;
    gFindApplied = false;
    gRecordRows.Forget();
    if (load.result == LoadResult::CannotOpen) {
        ShowMessage(u"Information", CannotOpenMessage(path, load.error, load.errorNumber));
    } else if (load.result == LoadResult::OutOfMemory ||
               (load.result == LoadResult::Loaded && !RoomToShow(TableCount(AllRecords)))) {
        CreateDuplicateLists(); // the list could not show them all
        ShowMessage(u"Information", u"Nicht genug Speicher für die ganze Datei.");
    }
    // The ranks of names and sizes, for their sorts and the name lookup,
    // are worked out on the other core while the user looks at the list.
    StartRankWork(AllRecords);
}

// Tells why a log did not take the place of the one on screen.
void ReportKeptLog(const Text& path, const WindowLoad& load) {
    if (load.result == LoadResult::Changed)
        ShowMessage(u"Information", CannotReadMessage(path, FileError::Changed));
    else if (load.result == LoadResult::ReadFailed)
        ShowMessage(u"Information", CannotReadMessage(path, FileError::ReadFailed));
    else if (load.result == LoadResult::CannotOpen)
        ShowMessage(u"Information", CannotOpenMessage(path, load.error, load.errorNumber));
    else if (load.noRecord)
        ShowMessage(u"Information", NoRecordMessage(path));
}

} // namespace

bool LoadDuplicateLog(const Text& given) {
    Text path = given.empty() ? ChooseLogFile() : given;
    for (;;) {
        if (path.empty()) return false;
        const WindowLoad load = ReadLogShowingProgress(path, false);
        // Cancelled: as if no file had been chosen.
        if (load.result == LoadResult::Cancelled) return false;
        const bool unread =
            load.result == LoadResult::Changed || load.result == LoadResult::ReadFailed;
        if (!unread) {
            if (load.kept) CreateDuplicateLists(); // a log without records: empty lists
            TakeLog(path, load);
            return true;
        }
        // Not read as it was: said so, and another try in the dialog.
        ReportKeptLog(path, load);
        path = ChooseLogFile();
    }
}

bool LoadAnotherLog(const Text& path, bool reload) {
    const WindowLoad load = ReadLogShowingProgress(path, reload);
    if (load.kept) {
        ReportKeptLog(path, load);
        return false;
    }
    TakeLog(path, load);
    return true;
}

void FillRecordListView() {
    static std::vector<std::uint32_t> rows;
    ListedRecords(AllRecords, rows);
    if (RowCount(RecordListView) == 0) {
        // One index per listed record; the list reads the texts it shows.
        gRecordRows.Listed(rows);
        ShowRows(RecordListView, &gRecordRows, std::move(rows));
        rows = {};
        return;
    }
    // Rows are there already: the new ones are appended after them.
    std::int64_t row = RowCount(RecordListView);
    for (const std::uint32_t index : rows) {
        AddRow(RecordListView, -1, FieldText(AllRecords, index, RecordField::Path));
        for (int column = 1; column < kVisibleFieldCount; ++column)
            SetCellText(RecordListView, row,
                        FieldText(AllRecords, index, static_cast<RecordField>(column)), column);
        ++row;
    }
}

void ShowStartCount() {
    const std::int64_t total = TableCount(AllRecords);
    SetControlText(CountLabel, CountLabelText(total, total));
}

void SortByOption(std::int64_t control) {
    gSortOption = control;
    // Ranks not ready yet are waited for with the windows repainting and
    // answering the window system; the user's input waits for the sort.
    SortAllRecords(static_cast<RecordField>(control - FirstSortOption), RepaintWindows);
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
    FillListView(MatchListView, NameMatches);
}

void ApplyFindFilter() {
    const Text findText = GetControlText(FindField);
    gFindApplied = true;
    ClearRows(RecordListView);
    ClearRows(MatchListView);
    ClearRecords(NameMatches.list);
    MarkRecordsByFindText(findText);
    FillRecordListView();
    SetControlText(CountLabel, CountLabelText(RowCount(RecordListView), TableCount(AllRecords)));
    ListOverviewRows(); // the overview follows the find
}

} // namespace qk
