#include "app/OverviewWindow.h"

#include "app/ExportCommand.h"
#include "app/FileMessages.h"
#include "app/LoadProgress.h"
#include "app/MainWindow.h"
#include "app/OverviewWork.h"
#include "app/ViewCommands.h"
#include "core/DuplicateRecord.h"
#include "core/Overview.h"
#include "core/RecordTable.h"
#include "core/WaitCalling.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"
#include "ui/Dialogs.h"
#include "ui/Events.h"
#include "ui/Progress.h"

#include <array>
#include <string>
#include <utility>
#include <vector>

namespace qk {
namespace {

constexpr int kInnerWidth = 1180;
constexpr int kInnerHeight = 560;
// Title bar and close box, centred on the main window; Escape closes it.
constexpr std::uint32_t kOverviewFlags =
    kWindowTitleBar | kWindowSystemMenu | kWindowCentreOnActive | kWindowEscapeCloses;
constexpr std::uint32_t kOverviewListFlags = kListFullRowSelect | kListGridLines;

struct ColumnSpec {
    const char16_t* heading;
    int width;
};
constexpr std::array<ColumnSpec, kGroupColumnCount> kGroupColumns = {{
    {u"Name", 150},
    {u"Kopien", 50},
    {u"Größen", 60},
    {u"Byte", 85},
    {u"Freigebbar", 75},
    {u"Neueste", 110},
}};
constexpr std::array<ColumnSpec, kPairColumnCount> kPairColumns = {{
    {u"Ordner A", 100},
    {u"Ordner B", 100},
    {u"Gemeinsam", 80},
    {u"Gleich groß", 80},
    {u"Namen A", 66},
    {u"Namen B", 66},
    {u"Freigebbar", 75},
}};
constexpr std::array<ColumnSpec, 6> kSharedColumns = {{
    {u"Verschieden", 85},
    {u"Name", 300},
    {u"Byte in A", 110},
    {u"Datum in A", 130},
    {u"Byte in B", 110},
    {u"Datum in B", 130},
}};
enum SharedFileColumn { kDiffers, kSharedName, kSizeA, kDateA, kSizeB, kDateB };

// The overview on screen and how its lists are ordered.
struct OverviewShown {
    Overview overview;
    const void* records = nullptr; // the table's first segment when it was worked out
    bool valid = false;            // false once the records it was worked out of went
    std::vector<std::uint32_t> groups, pairs;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> shared;
    ListOrder groupOrder, pairOrder;
    OverviewList exported = OverviewList::Groups; // the list last worked in
};
OverviewShown shown;

// Which records the table holds: a log loaded in its place has other
// segments.
const void* RecordsNow() {
    return AllRecords.segments.empty() ? nullptr : &AllRecords.segments.front();
}

bool HoldsRecord(std::uint32_t index) {
    return shown.valid && index < TableCount(AllRecords);
}

// "date time" of a record.
void DateTimeInto(std::uint32_t index, std::u16string& out) {
    static std::u16string time;
    FieldInto(AllRecords, index, RecordField::Date, out);
    FieldInto(AllRecords, index, RecordField::Time, time);
    out += u' ';
    out += time;
}

class GroupRows final : public RowSource {
  public:
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        if (!shown.valid || item >= shown.overview.groups.size()) return {};
        const NameGroup& group = shown.overview.groups[item];
        if (!HoldsRecord(group.record) || !HoldsRecord(group.newest)) return {};
        switch (static_cast<GroupColumn>(column)) {
        case GroupColumn::Name:
            FieldInto(AllRecords, group.record, RecordField::Name, cell_);
            break;
        case GroupColumn::Copies:
            cell_ = GroupedNumber(group.copies);
            break;
        case GroupColumn::Sizes:
            cell_ = GroupedNumber(group.sizes);
            break;
        case GroupColumn::Bytes:
            cell_ = GroupedNumber(group.bytes);
            break;
        case GroupColumn::Reclaimable:
            cell_ = GroupedNumber(group.reclaimable);
            break;
        case GroupColumn::Newest:
            DateTimeInto(group.newest, cell_);
            break;
        default:
            return {};
        }
        return cell_;
    }

  private:
    mutable std::u16string cell_;
};

class PairRows final : public RowSource {
  public:
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        if (!shown.valid || item >= shown.overview.pairs.size()) return {};
        const FolderPair& pair = shown.overview.pairs[item];
        const std::uint32_t paths = qk::SharedTextCount(AllRecords, SharedColumn::Path);
        switch (static_cast<PairColumn>(column)) {
        case PairColumn::A:
        case PairColumn::B: {
            const std::uint32_t id = column == int(PairColumn::A) ? pair.a : pair.b;
            if (id >= paths) return {};
            SharedTextInto(AllRecords, SharedColumn::Path, id, cell_);
            break;
        }
        case PairColumn::Shared:
            cell_ = GroupedNumber(pair.shared);
            break;
        case PairColumn::SameSize:
            cell_ = GroupedNumber(pair.sameSize);
            break;
        case PairColumn::NamesA:
            cell_ = GroupedNumber(pair.namesA);
            break;
        case PairColumn::NamesB:
            cell_ = GroupedNumber(pair.namesB);
            break;
        case PairColumn::Reclaimable:
            cell_ = GroupedNumber(pair.reclaimable);
            break;
        default:
            return {};
        }
        return cell_;
    }

  private:
    mutable std::u16string cell_;
};

// The shared files of the selected pair: a's copy and b's copy side by side.
class SharedRows final : public RowSource {
  public:
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        if (item >= shown.shared.size()) return {};
        const auto [a, b] = shown.shared[item];
        if (!HoldsRecord(a) || !HoldsRecord(b)) return {};
        switch (column) {
        case kDiffers:
            return DifferenceText(SizeBytesAt(AllRecords, a) != SizeBytesAt(AllRecords, b),
                                  SharedIdAt(AllRecords, a, SharedColumn::Date) !=
                                          SharedIdAt(AllRecords, b, SharedColumn::Date) ||
                                      SharedIdAt(AllRecords, a, SharedColumn::Time) !=
                                          SharedIdAt(AllRecords, b, SharedColumn::Time));
        case kSharedName:
            FieldInto(AllRecords, a, RecordField::Name, cell_);
            return cell_;
        case kSizeA:
        case kSizeB:
            cell_ = GroupedNumber(SizeBytesAt(AllRecords, column == kSizeA ? a : b));
            return cell_;
        case kDateA:
        case kDateB:
            DateTimeInto(column == kDateA ? a : b, cell_);
            return cell_;
        default:
            return {};
        }
    }

  private:
    mutable std::u16string cell_;
};

GroupRows groupRows;
PairRows pairRows;
SharedRows sharedRows;

template <std::size_t N>
void CreateList(std::int64_t control, int x, int y, int width, int height,
                const std::array<ColumnSpec, N>& columns, const Text& accessibleName) {
    CreateListView(control, x, y, width, height, columns[0].heading, columns[0].width,
                   kOverviewListFlags);
    for (int index = 1; index < int(N); ++index)
        AddColumn(control, index, columns[std::size_t(index)].heading,
                  columns[std::size_t(index)].width);
    SetAccessibleName(control, accessibleName);
}

// The window and its controls; the lists in Tab order, the button last.
bool OpenOverviewWindow() {
    if (OpenWindow(OverviewWindow, 0, 0, kInnerWidth, kInnerHeight, u"Übersicht", kOverviewFlags) ==
        0)
        return false;
    CreateTextLabel(FiguresLabel, 10, 10, 900, 16, Text(), kLabelLeft);
    CreateTextLabel(FiguresMoreLabel, 10, 28, 900, 16, Text(), kLabelLeft);
    CreateTextLabel(GroupLabel, 10, 52, 300, 16, u"Namen mit Kopien", kLabelLeft);
    CreateList(GroupListView, 10, 70, 560, 280, kGroupColumns, u"Namen mit Kopien");
    CreateTextLabel(PairLabel, 580, 52, 300, 16, u"Ordnerpaare", kLabelLeft);
    CreateList(PairListView, 580, 70, 590, 280, kPairColumns, u"Ordnerpaare");
    CreateTextLabel(SharedLabel, 10, 360, 500, 16, u"Gemeinsame Dateien des gewählten Paares",
                    kLabelLeft);
    CreateList(SharedListView, 10, 378, 1160, 172, kSharedColumns, u"Gemeinsame Dateien");
    CreatePushButton(OverviewExportButton, 1070, 10, 100, 24, u"Export to...", 0);
    return true;
}

void ShowSummary() {
    const OverviewSummary& s = shown.overview.summary;
    SetControlText(FiguresLabel, Text(u"Namen mit Kopien: " + GroupedNumber(std::int64_t(s.names)) +
                                      u"    Kopien: " + GroupedNumber(std::int64_t(s.copies)) +
                                      u"    Byte: " + GroupedNumber(s.bytes) + u"    Freigebbar: " +
                                      GroupedNumber(s.reclaimable)));
    SetControlText(FiguresMoreLabel,
                   Text(u"Ordnerpaare: " + GroupedNumber(std::int64_t(s.pairs)) +
                        u"    Namen in mehr als " +
                        GroupedNumber(std::int64_t(kMostFoldersOfPairedName)) +
                        u" Ordnern, ohne Paare: " + GroupedNumber(std::int64_t(s.namesLeftOut))));
}

void ShowGroups() {
    std::vector<std::uint32_t> rows = shown.groups;
    ShowRows(GroupListView, &groupRows, std::move(rows));
}

void ShowPairs() {
    std::vector<std::uint32_t> rows = shown.pairs;
    ShowRows(PairListView, &pairRows, std::move(rows));
}

void ShowSharedFiles() {
    const std::int64_t row = SelectedRow(PairListView);
    shown.shared.clear();
    if (shown.valid && row >= 0 && std::size_t(row) < shown.pairs.size())
        SharedFilesOfPair(AllRecords, shown.overview,
                          shown.overview.pairs[shown.pairs[std::size_t(row)]], shown.shared);
    std::vector<std::uint32_t> rows(shown.shared.size());
    for (std::uint32_t k = 0; k < rows.size(); ++k)
        rows[k] = k;
    ShowRows(SharedListView, &sharedRows, std::move(rows));
}

void OrderGroupRows(std::vector<std::uint32_t>& rows) {
    if (shown.groupOrder.column >= 0)
        OrderGroups(AllRecords, shown.overview, static_cast<GroupColumn>(shown.groupOrder.column),
                    shown.groupOrder.reversed, rows);
}

void OrderPairRows(std::vector<std::uint32_t>& rows) {
    if (shown.pairOrder.column >= 0)
        OrderPairs(AllRecords, shown.overview, static_cast<PairColumn>(shown.pairOrder.column),
                   shown.pairOrder.reversed, rows);
}

// Runs `work` on the overview's rows on another thread while the windows
// repaint and answer the window system: a log of ten million records has
// millions of groups and pairs. The rows shown are not touched meanwhile;
// `work` fills rows of its own, which take their place afterwards.
template <typename Work> void WorkOutRows(Work work) {
    if (!RunAside(work, RepaintWindows)) work();
}

// A click on a group (or Enter on it): the main window's lower list shows
// the copies of its name.
void ShowCopiesOfGroup() {
    const std::int64_t row = SelectedRow(GroupListView);
    if (!shown.valid || row < 0 || std::size_t(row) >= shown.groups.size()) return;
    const NameGroup& group = shown.overview.groups[shown.groups[std::size_t(row)]];
    if (!HoldsRecord(group.record)) return;
    ShowMatchesOfName(FieldText(AllRecords, group.record, RecordField::Name));
}

void SortList(std::int64_t list, int column) {
    if (list == GroupListView && column < kGroupColumnCount) {
        shown.groupOrder = AfterHeadingClick(shown.groupOrder, column);
        std::vector<std::uint32_t> rows = shown.groups;
        WorkOutRows([&] { OrderGroupRows(rows); });
        shown.groups.swap(rows);
        ShowGroups();
    } else if (list == PairListView && column < kPairColumnCount) {
        shown.pairOrder = AfterHeadingClick(shown.pairOrder, column);
        std::vector<std::uint32_t> rows = shown.pairs;
        WorkOutRows([&] { OrderPairRows(rows); });
        shown.pairs.swap(rows);
        ShowPairs();
        ShowSharedFiles();
    }
}

void ExportShownList() {
    const bool groups = shown.exported == OverviewList::Groups;
    const Text file = ChooseFileToSave(
        u"Export to...",
        ProposedExportFile(LoadedLog(), groups ? u"-groups.csv" : u"-folder-pairs.csv"),
        kExportPattern, 0);
    if (file.empty()) return; // cancelled: nothing is written
    ExportOutcome outcome;
    {
        DelayedProgressWindow progress(file);
        outcome = ExportOverviewRows(
            file, ExportFormatFor(file, ChosenPattern()), shown.overview, shown.exported,
            groups ? shown.groups : shown.pairs,
            [&](std::uint64_t done, std::uint64_t total) { return progress(done, total); });
    }
    if (outcome.failed)
        ShowMessage(u"Information", CannotWriteMessage(file, outcome.error, outcome.errorNumber));
}

// Fills the open window from the overview just worked out.
void FillOverviewWindow() {
    ShowSummary();
    ListOverviewRows();
}

} // namespace

std::u16string GroupedNumber(std::int64_t number) {
    const bool negative = number < 0;
    std::uint64_t rest = negative ? 0 - std::uint64_t(number) : std::uint64_t(number);
    std::u16string text;
    int digits = 0;
    do {
        if (digits > 0 && digits % 3 == 0) text += u'.';
        text += char16_t(u'0' + rest % 10);
        rest /= 10;
        ++digits;
    } while (rest > 0);
    if (negative) text += u'-';
    return std::u16string(text.rbegin(), text.rend());
}

ListOrder AfterHeadingClick(ListOrder order, int column) {
    if (column == order.column) return {column, !order.reversed};
    return {column, false};
}

std::u16string_view DifferenceText(bool sizeDiffers, bool dateDiffers) {
    if (sizeDiffers && dateDiffers) return u"Byte, Datum";
    if (sizeDiffers) return u"Byte";
    if (dateDiffers) return u"Datum";
    return {};
}

void AddOverviewShortcut() {
    AddKeyShortcut(MainWindow, kOverviewShortcut, u"Ctrl+D");
}

bool OverviewOpen() {
    return WindowOpen(OverviewWindow);
}

void OpenOverview() {
    if (OverviewOpen()) {
        BringWindowToFront(OverviewWindow);
        return;
    }
    Overview fresh;
    if (!WorkOutOverview(fresh)) return;
    shown = OverviewShown();
    shown.overview = std::move(fresh);
    shown.valid = true;
    shown.records = RecordsNow();
    if (!OpenOverviewWindow()) {
        ShowMessage(u"Information", u"Konnte die Übersicht nicht öffnen.");
        shown = OverviewShown();
        return;
    }
    FillOverviewWindow();
}

void CloseOverview() {
    CloseWindow(OverviewWindow);
    shown = OverviewShown(); // the memory goes with the window
}

void SetOverviewAside() {
    if (!OverviewOpen()) return;
    shown.valid = false;
    ClearRows(SharedListView);
    ClearRows(PairListView);
    ClearRows(GroupListView);
}

void ResumeOverview() {
    if (!OverviewOpen()) return;
    if (shown.records != nullptr && shown.records == RecordsNow()) {
        shown.valid = true; // the same log: nothing to work out again
        ListOverviewRows();
        return;
    }
    Overview fresh;
    if (!WorkOutOverview(fresh)) {
        CloseOverview(); // it would show a log that is gone
        return;
    }
    const ListOrder groupOrder = shown.groupOrder, pairOrder = shown.pairOrder;
    const OverviewList exported = shown.exported;
    shown = OverviewShown();
    shown.overview = std::move(fresh);
    shown.valid = true;
    shown.groupOrder = groupOrder;
    shown.pairOrder = pairOrder;
    shown.exported = exported;
    shown.records = RecordsNow();
    FillOverviewWindow();
}

void ListOverviewRows() {
    if (!OverviewOpen() || !shown.valid) return;
    std::vector<std::uint32_t> groups, pairs;
    WorkOutRows([&] {
        ListedGroups(AllRecords, shown.overview, groups);
        ListedPairs(AllRecords, shown.overview, pairs);
        OrderGroupRows(groups);
        OrderPairRows(pairs);
    });
    shown.groups.swap(groups);
    shown.pairs.swap(pairs);
    ShowGroups();
    ShowPairs();
    ShowSharedFiles();
}

bool DispatchOverviewEvent(std::int64_t source, std::int64_t type) {
    if (source < FiguresLabel || source > OverviewExportButton) return false;
    const std::int64_t column = HeadingColumnOf(type);
    if (source == GroupListView || source == PairListView) {
        shown.exported = source == GroupListView ? OverviewList::Groups : OverviewList::Pairs;
        if (column >= 0) SortList(source, int(column));
    }
    if (source == GroupListView && (type == kLeftClick || type == kRowActivated)) {
        ShowCopiesOfGroup();
    } else if (source == PairListView &&
               (type == kLeftClick || type == kRowActivated || type == kSelectionOrTextChanged)) {
        ShowSharedFiles();
    } else if (source == OverviewExportButton && type == kLeftClick) {
        ExportShownList();
    }
    return true;
}

} // namespace qk
