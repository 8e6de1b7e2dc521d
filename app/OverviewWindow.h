// The overview window "Übersicht": the summary of the duplicates, the names
// with copies and the folder pairs in two sortable lists, the shared files
// of the selected pair, and their export. One at a time; it follows the
// main window's log and find.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <string>

namespace qk {

// Window and control numbers (the main window's controls are 0 to 12).
constexpr std::int64_t OverviewWindow = 1;
constexpr std::int64_t FiguresLabel = 20; // two lines of figures
constexpr std::int64_t FiguresMoreLabel = 21;
constexpr std::int64_t GroupLabel = 22;
constexpr std::int64_t GroupListView = 23;
constexpr std::int64_t PairLabel = 24;
constexpr std::int64_t PairListView = 25;
constexpr std::int64_t SharedLabel = 26;
constexpr std::int64_t SharedListView = 27;
constexpr std::int64_t OverviewExportButton = 28;

// The MenuEvent source of Ctrl+D in the main window.
constexpr std::int64_t kOverviewShortcut = 4;

// Gives the main window Ctrl+D.
void AddOverviewShortcut();

// Ctrl+D or the row menu's "Übersicht...": works the overview out (with
// the progress window when it takes long; Cancel leaves the window
// unopened) and opens the window, or brings it to the front when it is open.
void OpenOverview();
// The close box or Escape of the overview window.
void CloseOverview();
// Whether the overview window is open.
bool OverviewOpen();

// A control event of one of the overview's controls; false for an event of
// another control.
bool DispatchOverviewEvent(std::int64_t source, std::int64_t type);

// Before the main window's log is replaced (Ctrl+O, F5, a drop): the
// overview's lists let go of the records.
void SetOverviewAside();
// After that, when the window is open: the overview of the log now loaded
// (a cancel closes the window), or the same again when the log stayed.
void ResumeOverview();
// The find changed: the lists show the rows it lets through.
void ListOverviewRows();

// "1.234.567": a number with its thousands grouped by dots, as the log
// writes sizes.
std::u16string GroupedNumber(std::int64_t number);

// A heading click on a sortable list: the same column again reverses the
// order, another column sorts by it from its natural direction.
struct ListOrder {
    int column = -1; // -1: the order the overview came in
    bool reversed = false;
};
ListOrder AfterHeadingClick(ListOrder order, int column);

// What differs between the two copies of a shared file: "" when nothing,
// otherwise "Byte", "Datum" or "Byte, Datum".
std::u16string_view DifferenceText(bool sizeDiffers, bool dateDiffers);

} // namespace qk
