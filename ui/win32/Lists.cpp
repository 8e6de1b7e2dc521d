// The multi-column lists on the Win32 list control: owner data read from the
// layer's own rows, the list's notifications and keys, and type-ahead.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/ListRules.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>

#include <algorithm>
#include <cwchar>

namespace qk {

namespace ui {

namespace {

// Room for a column heading read back.
constexpr int kHeadingCapacity = 4096;

LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(hwnd, message, wParam, lParam);
}

std::int64_t SelectedRowOf(HWND list) {
    return std::int64_t(SendTo(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

// Hands out the texts of the rows the list control draws.
void GiveDisplayText(ControlRecord& record, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    const ShownCell shown = record.list->rows.ShownCellAt(item.iItem, item.iSubItem);
    const std::size_t room = std::size_t(item.cchTextMax - 1);
    std::size_t length = std::min(shown.head.size(), room);
    if (length > 0)
        std::wmemcpy(item.pszText, reinterpret_cast<const wchar_t*>(shown.head.data()), length);
    if (shown.cut && length < room) item.pszText[length++] = wchar_t(kCellEllipsis);
    item.pszText[length] = L'\0';
}

// The list control has gathered the typed letters and asks for the row
// they start, from iStart on.
LRESULT FindTypedRow(ControlRecord& record, const NMLVFINDITEMW& find) {
    if (!(find.lvfi.flags & (LVFI_STRING | LVFI_PARTIAL)) || !find.lvfi.psz) return -1;
    const std::u16string_view prefix(reinterpret_cast<const char16_t*>(find.lvfi.psz),
                                     std::wcslen(find.lvfi.psz));
    ListState& list = *record.list;
    const std::int64_t found = list.typeAhead.Find(list.rows, find.iStart, prefix);
    if (found < 0) return -1;
    if (!(find.lvfi.flags & LVFI_WRAP) && found < find.iStart) return -1;
    return LRESULT(found);
}

void ItemChanged(ControlRecord& record, const NMLISTVIEW& change) {
    if (!(change.uChanged & LVIF_STATE)) return;
    if (SelectionChangeNotification(record.list->lastSelected, change.iItem,
                                    change.uNewState & LVIS_SELECTED,
                                    change.uOldState & LVIS_SELECTED,
                                    (change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK))
        PostFromControl(record, kSelectionOrTextChanged);
}

ListState* ListStateOf(std::int64_t control, HWND& hwnd) {
    ControlRecord* record = FindControl(control);
    if (!record || !record->list) return nullptr;
    hwnd = record->hwnd;
    return record->list.get();
}

// Tells the list control its row count and redraws changed rows.
void FlushList(HWND hwnd, ListState& list) {
    SuppressEvents quiet;
    if (list.rows.Rows() != list.shown.count) {
        list.shown.count = list.rows.Rows();
        SendTo(hwnd, LVM_SETITEMCOUNT, WPARAM(list.shown.count),
               LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    if (list.shown.changedFirst >= 0) {
        SendTo(hwnd, LVM_REDRAWITEMS, WPARAM(list.shown.changedFirst),
               LPARAM(list.shown.changedLast));
        list.shown.changedFirst = list.shown.changedLast = -1;
    }
}

// A row inserted at `position` above the selection moves the selection
// down with its row.
void KeepSelectionAfterInsert(HWND hwnd, ListState& list, std::int64_t position) {
    const std::int64_t selected = SelectedRowOf(hwnd);
    FlushList(hwnd, list);
    if (selected >= position) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendTo(hwnd, LVM_SETITEMSTATE, WPARAM(selected + 1), reinterpret_cast<LPARAM>(&state));
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

void SetHeading(HWND hwnd, int column, const Text& text) {
    std::wstring units = Wide(text);
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = units.data();
    SendTo(ListView_GetHeader(hwnd), HDM_SETITEMW, WPARAM(column), reinterpret_cast<LPARAM>(&item));
}

Text Heading(HWND hwnd, int column) {
    std::vector<wchar_t> units(kHeadingCapacity, L'\0');
    HDITEMW item{};
    item.mask = HDI_TEXT;
    item.pszText = units.data();
    item.cchTextMax = kHeadingCapacity;
    if (!SendTo(ListView_GetHeader(hwnd), HDM_GETITEMW, WPARAM(column),
                reinterpret_cast<LPARAM>(&item)))
        return {};
    return FromWide(item.pszText, std::wcslen(item.pszText));
}

} // namespace

void ListClick(ControlRecord& record, std::int64_t type) {
    const ClickEvents events =
        ClickNotification(record.list->lastSelected, SelectedRowOf(record.hwnd), type);
    if (events.selectionLost) PostFromControl(record, kSelectionOrTextChanged);
    if (events.click) PostFromControl(record, type);
}

LRESULT ListNotification(ControlRecord& record, NMHDR& header) {
    switch (header.code) {
    case NM_CLICK:
        ListClick(record, kLeftClick);
        return 0;
    case NM_RCLICK:
        // The right click, then the row's context menu is asked for.
        ListClick(record, kRightClick);
        PostFromControl(record, kContextMenuRequested);
        return 0;
    case NM_DBLCLK:
        PostFromControl(record, kLeftDoubleClick);
        return 0;
    case NM_RDBLCLK:
        PostFromControl(record, kRightDoubleClick);
        return 0;
    case LVN_COLUMNCLICK: {
        // Told with the column; the rows stay in their order.
        const int column = reinterpret_cast<NMLISTVIEW&>(header).iSubItem;
        if (column >= 0 && column < kMostHeadingColumns)
            PostFromControl(record, kHeadingClicked + column);
        return 0;
    }
    case LVN_BEGINDRAG:
        PostFromControl(record, kBeginDrag);
        return 0;
    case LVN_ITEMCHANGED:
        ItemChanged(record, reinterpret_cast<NMLISTVIEW&>(header));
        return 0;
    case LVN_GETDISPINFOW:
        GiveDisplayText(record, reinterpret_cast<NMLVDISPINFOW&>(header));
        return 0;
    case LVN_ODFINDITEMW:
        return FindTypedRow(record, reinterpret_cast<NMLVFINDITEMW&>(header));
    default:
        return 0;
    }
}

// The keys a list reports beyond moving its selection: Enter, Ctrl+C and the
// menu key; the list control itself does nothing with them. True when the
// key was taken.
bool ListKey(ControlRecord& record, UINT message, WPARAM key) {
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    const bool shift = GetKeyState(VK_SHIFT) < 0;
    const bool alt = GetKeyState(VK_MENU) < 0;
    if (message == WM_KEYUP) return key == VK_APPS;
    if (message == WM_CHAR) return key == L'\r' || key == 0x03; // their characters: no beep
    const bool plain = !ctrl && !shift && !alt;
    if (key == VK_RETURN && plain) {
        PostFromControl(record, kRowActivated);
        return true;
    }
    if (key == 'C' && ctrl && !shift && !alt) {
        PostFromControl(record, kCopyRequested);
        return true;
    }
    if (key == VK_APPS && plain) {
        PostFromControl(record, kContextMenuRequested);
        return true;
    }
    return false;
}

ListState* ListOf(std::int64_t control) {
    HWND hwnd;
    return ListStateOf(control, hwnd);
}

void FlushLists() {
    ForEachList([](HWND hwnd, ListState& list) { FlushList(hwnd, list); });
}

} // namespace ui

using namespace ui;

Handle CreateListView(std::int64_t control, int x, int y, int width, int height,
                      const Text& firstHeading, int firstWidth, std::uint32_t flags) {
    // Report view with a header row, the rows handed out by the layer.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHAREIMAGELISTS |
                  LVS_OWNERDATA | (flags & ~DWORD(kListMultiSelect));
    if (!(flags & kListMultiSelect)) style |= LVS_SINGLESEL;
    const Handle handle = MakeControl(control, ControlKind::List, WC_LISTVIEWW, style,
                                      WS_EX_CLIENTEDGE, Text(), x, y, width, height);
    if (!handle) return 0;
    const HWND hwnd = reinterpret_cast<HWND>(handle);
    DWORD extended = LVS_EX_DOUBLEBUFFER;
    if (flags & kListFullRowSelect) extended |= LVS_EX_FULLROWSELECT;
    if (flags & kListGridLines) extended |= LVS_EX_GRIDLINES;
    if (flags & kListHeaderDragDrop) extended |= LVS_EX_HEADERDRAGDROP;
    if (flags & kListCheckBoxes) extended |= LVS_EX_CHECKBOXES;
    SendTo(hwnd, LVM_SETEXTENDEDLISTVIEWSTYLE, extended, extended);
    AddColumn(control, 0, firstHeading, firstWidth);
    return handle;
}

void AddColumn(std::int64_t control, int index, const Text& heading, int width) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    const int columns = list->rows.Columns();
    if (index < 0 || index > columns) index = columns;
    if (!list->rows.InsertColumn(index)) return;
    std::wstring text = Wide(heading);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM | LVCF_FMT;
    column.fmt = LVCFMT_LEFT;
    column.cx = Scale(std::max(0, width));
    column.pszText = text.data();
    column.iSubItem = index;
    SendTo(hwnd, LVM_INSERTCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&column));
    InvalidateRect(hwnd, nullptr, FALSE);
}

void AddRow(std::int64_t control, std::int64_t position, const Text& text) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    const bool appends = position < 0 || position >= list->rows.Rows();
    if (!list->rows.AddRow(position, text) || appends) return; // appended rows wait for a flush
    KeepSelectionAfterInsert(hwnd, *list, position);
}

void SetCellText(std::int64_t control, std::int64_t row, const Text& text, int column) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    if (row == -1) {
        if (column >= 0 && column < list->rows.Columns()) SetHeading(hwnd, column, text);
        return;
    }
    if (row < 0 || row >= list->rows.Rows()) return;
    list->rows.SetCells(row, column, text);
    list->shown.Changed(row);
}

Text GetCellText(std::int64_t control, std::int64_t row, int column) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return {};
    if (row != -1) return list->rows.Cell(row, column);
    if (column < 0 || column >= list->rows.Columns()) return {};
    return Heading(hwnd, column);
}

std::int64_t SelectedRow(std::int64_t control) {
    HWND hwnd;
    if (!ListStateOf(control, hwnd)) return -1;
    return SelectedRowOf(hwnd);
}

void ClearRows(std::int64_t control) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    list->rows.Clear();
    list->shown.Forget();
    SendTo(hwnd, LVM_DELETEALLITEMS);
}

void ShowRows(std::int64_t control, const RowSource* source, std::vector<std::uint32_t> rows) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    list->rows.ShowSource(source, std::move(rows));
    list->shown.Forget();
    SendTo(hwnd, LVM_DELETEALLITEMS);
    FlushList(hwnd, *list); // the list control learns the row count at once
}

std::int64_t RowCount(std::int64_t control) {
    const ListState* list = ListOf(control);
    return list ? list->rows.Rows() : 0;
}

void SelectRow(std::int64_t control, std::int64_t row) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    FlushList(hwnd, *list); // the list control knows every row
    const std::int64_t target = RowToSelect(row, list->rows.Rows());
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendTo(hwnd, LVM_SETITEMSTATE, WPARAM(-1), reinterpret_cast<LPARAM>(&state));
    if (target < 0) return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendTo(hwnd, LVM_SETITEMSTATE, WPARAM(target), reinterpret_cast<LPARAM>(&state));
    SendTo(hwnd, LVM_SETSELECTIONMARK, 0, LPARAM(target));
    SendTo(hwnd, LVM_ENSUREVISIBLE, WPARAM(target), FALSE);
}

std::int64_t TopRow(std::int64_t control) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return 0;
    FlushList(hwnd, *list);
    return list->rows.Rows() > 0 ? std::int64_t(SendTo(hwnd, LVM_GETTOPINDEX)) : 0;
}

void ScrollToRow(std::int64_t control, std::int64_t row) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    FlushList(hwnd, *list);
    if (list->rows.Rows() == 0) return;
    const std::int64_t perPage = std::int64_t(SendTo(hwnd, LVM_GETCOUNTPERPAGE));
    const std::int64_t target = TopRowFor(row, list->rows.Rows(), perPage);
    const std::int64_t top = std::int64_t(SendTo(hwnd, LVM_GETTOPINDEX));
    RECT bounds{};
    bounds.left = LVIR_BOUNDS;
    SendTo(hwnd, LVM_GETITEMRECT, WPARAM(top), reinterpret_cast<LPARAM>(&bounds));
    // In report view the list scrolls by pixels, rounded to whole rows.
    const std::int64_t pixels = (target - top) * (bounds.bottom - bounds.top);
    SendTo(hwnd, LVM_SCROLL, 0, LPARAM(pixels));
}

} // namespace qk
