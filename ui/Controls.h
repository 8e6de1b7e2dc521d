// Windows and controls addressed by the program's own numbers.
//
// The program never touches a window-system object: it opens a window, creates
// controls inside the window opened last, and reads and changes them by
// number. Creation operations return a non-zero handle on success and 0 on
// failure; creating under a number in use replaces the old window or control.
#pragma once

#include "text/Text.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace qk {

using Handle = std::intptr_t;

// OpenWindow flags.
constexpr std::uint32_t kWindowCentreOnScreen = 0x00000001;
constexpr std::uint32_t kWindowCentreOnActive = 0x00000002;
constexpr std::uint32_t kWindowToolWindow = 0x00000004;
constexpr std::uint32_t kWindowNotCurrent = 0x00000008;
// Escape in the window asks to close it, as its close box does.
constexpr std::uint32_t kWindowEscapeCloses = 0x00000010;
constexpr std::uint32_t kWindowMaximizeBox = 0x00010000;
constexpr std::uint32_t kWindowMinimizeBox = 0x00020000;
constexpr std::uint32_t kWindowSizingBorder = 0x00040000;
constexpr std::uint32_t kWindowSystemMenu = 0x00080000;
constexpr std::uint32_t kWindowTitleBar = 0x00C00000;
constexpr std::uint32_t kWindowShowMaximized = 0x01000000;
constexpr std::uint32_t kWindowShowNoActivate = 0x02000000;
constexpr std::uint32_t kWindowInvisible = 0x10000000;
constexpr std::uint32_t kWindowShowMinimized = 0x20000000;

// CreateListView flags.
constexpr std::uint32_t kListCheckBoxes = 0x00000001;
constexpr std::uint32_t kListMultiSelect = 0x00000004;
constexpr std::uint32_t kListGridLines = 0x00010000;
constexpr std::uint32_t kListHeaderDragDrop = 0x10000000;
constexpr std::uint32_t kListFullRowSelect = 0x40000000;

// CreateTextLabel / CreateTextField flags.
constexpr std::uint32_t kLabelLeft = 0;
constexpr std::uint32_t kLabelCentre = 1;
constexpr std::uint32_t kLabelRight = 2;
constexpr std::uint32_t kSunkenBorder = 0x00020000;

// `width` and `height` are those of the inner area.
Handle OpenWindow(std::int64_t window, int x, int y, int width, int height, const Text& title,
                  std::uint32_t flags);
// Removes window `window` with its controls and their waiting events; the
// other windows stay. No event; a number not in use is left alone.
void CloseWindow(std::int64_t window);
// Shows window `window` again when it was minimized, puts it in front of the
// program's other windows and activates it.
void BringWindowToFront(std::int64_t window);
// Whether window `window` is open.
bool WindowOpen(std::int64_t window);

Handle CreateListView(std::int64_t control, int x, int y, int width, int height,
                      const Text& firstHeading, int firstWidth, std::uint32_t flags);
void AddColumn(std::int64_t control, int index, const Text& heading, int width);
// Position -1 or beyond the last row appends. Line feeds split the text into
// the cells from column 0 on.
void AddRow(std::int64_t control, std::int64_t position, const Text& text);
// Row -1 sets the column heading; a row or column that does not exist is
// left alone.
void SetCellText(std::int64_t control, std::int64_t row, const Text& text, int column);
// Row -1 reads the column heading; the empty text for a missing cell.
Text GetCellText(std::int64_t control, std::int64_t row, int column);
// The first selected row, -1 when none is.
std::int64_t SelectedRow(std::int64_t control);
void ClearRows(std::int64_t control);
std::int64_t RowCount(std::int64_t control);
// Selects `row` alone, makes it the row the keys move from and scrolls it
// into view; -1 or a row that does not exist clears the selection. Like
// every change the program makes, it raises no event.
void SelectRow(std::int64_t control, std::int64_t row);
// The row at the top of what a list shows, 0 when it is empty.
std::int64_t TopRow(std::int64_t control);
// Scrolls a list so that `row` is at the top, or as near as its last page
// lets it (TopRowFor in ui/common/ListRules.h). No event.
void ScrollToRow(std::int64_t control, std::int64_t row);

// Where a list can read its rows from instead of holding their texts: the
// caller's items, by number. A cell's text stays valid until the next call.
class RowSource {
  public:
    virtual ~RowSource() = default;
    virtual std::u16string_view CellText(std::uint32_t item, int column) const = 0;
    // A column whose texts many items share can say so, and a search then
    // looks at each distinct text once: the number of distinct texts (0 for
    // a column that is not shared), the text with an id, and the ids of the
    // texts of `count` items.
    virtual std::uint32_t SharedTextCount(int /*column*/) const { return 0; }
    virtual std::u16string_view SharedText(int /*column*/, std::uint32_t /*id*/) const {
        return {};
    }
    virtual void SharedTextIds(int /*column*/, const std::uint32_t* /*items*/, std::size_t count,
                               std::uint32_t* ids) const {
        for (std::size_t i = 0; i < count; ++i)
            ids[i] = 0;
    }
    // Sets present[id] to 1 for the id of every one of `count` items
    // (`present` holds SharedTextCount bytes). A source may know a quicker
    // way than asking each item's id.
    virtual void MarkSharedTextIds(int column, const std::uint32_t* items, std::size_t count,
                                   std::uint8_t* present) const {
        const std::uint32_t texts = SharedTextCount(column);
        std::uint32_t ids[1024];
        for (std::size_t done = 0; done < count; done += 1024) {
            const std::size_t n = count - done < 1024 ? count - done : 1024;
            SharedTextIds(column, items + done, n, ids);
            for (std::size_t i = 0; i < n; ++i)
                if (ids[i] < texts) present[ids[i]] = 1;
        }
    }
};
// Replaces the rows of a list by rows that show the items `rows` of `source`
// (row r shows item rows[r]); the texts are read only for the rows on
// screen. The list behaves as if the rows had been added with AddRow and
// SetCellText; `source` must last until ClearRows or the next ShowRows.
void ShowRows(std::int64_t control, const RowSource* source, std::vector<std::uint32_t> rows);

Handle CreateOptionButton(std::int64_t control, int x, int y, int width, int height,
                          const Text& text);
Handle CreatePushButton(std::int64_t control, int x, int y, int width, int height, const Text& text,
                        std::uint32_t flags);
Handle CreateTextLabel(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags);
Handle CreateTextField(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags);

// The option button is no longer chosen; its group may then have none
// chosen, as when it was created. No event.
void UnchooseOption(std::int64_t control);

// Text of a label, button or text field; for a list, column 0 of the
// selected row.
void SetControlText(std::int64_t control, const Text& text);
Text GetControlText(std::int64_t control);

} // namespace qk
