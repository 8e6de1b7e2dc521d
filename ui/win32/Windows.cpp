// Windows and controls addressed by number, on the Win32 controls.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cwchar>

namespace qk {

namespace ui {

namespace {

// Numbers above this one are refused, so that a stray number cannot make
// the tables huge.
constexpr std::int64_t kMaxNumber = 1 << 20;

// The shortcut commands of Tab and Shift+Tab.
constexpr WORD kFocusForward = 64001;
constexpr WORD kFocusBackward = 64002;

// Window styles that the OpenWindow flags only ask for and that are not
// handed to CreateWindowExW.
constexpr DWORD kNotAStyle = kWindowCentreOnScreen | kWindowCentreOnActive | kWindowToolWindow |
                             kWindowNotCurrent | kWindowShowNoActivate | kWindowInvisible;

// Room for a column heading read back.
constexpr int kHeadingCapacity = 4096;

// The property under which a window keeps its number.
constexpr wchar_t kNumberProperty[] = L"QuellkampWindowNumber";

struct Tables {
    std::vector<WindowRecord> windows;
    std::vector<ControlRecord> controls; // the ControlRegistry
    std::int64_t currentWindow = -1;
    int dpi = 96;
};

Tables& T() {
    static Tables tables;
    return tables;
}

template <typename Record> Record& Slot(std::vector<Record>& table, std::int64_t number) {
    if (std::size_t(number) >= table.size()) table.resize(std::size_t(number) + 1);
    return table[std::size_t(number)];
}

// The control record of a control window, null for any other window.
ControlRecord* ControlOf(HWND hwnd) {
    if (!hwnd) return nullptr;
    const LONG_PTR id = GetWindowLongPtrW(hwnd, GWLP_ID);
    ControlRecord* record = FindControl(id);
    return record && record->hwnd == hwnd ? record : nullptr;
}

LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(hwnd, message, wParam, lParam);
}

std::int64_t SelectedRowOf(HWND list) {
    return std::int64_t(SendTo(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
}

// ------------------------------------------------------------ list events

void PostFromControl(const ControlRecord& record, std::int64_t type) {
    const LONG_PTR id = GetWindowLongPtrW(record.hwnd, GWLP_ID);
    if (id == -1) return;
    PostEvent(ControlEvent, id, record.window, type);
}

// A click that leaves no row selected reports the lost selection once; a
// left click reports itself only when a row is selected after it.
void ClickNotification(ControlRecord& record, std::int64_t type) {
    const std::int64_t row = SelectedRowOf(record.hwnd);
    if (row < 0 && record.list->lastSelected != -1) {
        record.list->lastSelected = -1;
        PostFromControl(record, kSelectionOrTextChanged);
    }
    if (type == kLeftClick && row < 0) return;
    PostFromControl(record, type);
}

// Hands out the texts of the rows the list control draws.
void GiveDisplayText(ControlRecord& record, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0) return;
    const std::u16string_view cell = record.list->rows.CellView(item.iItem, item.iSubItem);
    const std::size_t room = std::size_t(item.cchTextMax - 1);
    const std::size_t length = std::min(cell.size(), room);
    if (length > 0)
        std::wmemcpy(item.pszText, reinterpret_cast<const wchar_t*>(cell.data()), length);
    item.pszText[length] = L'\0';
}

LRESULT ListNotification(ControlRecord& record, NMHDR& header) {
    switch (header.code) {
    case NM_CLICK:
        ClickNotification(record, kLeftClick);
        return 0;
    case NM_RCLICK:
        // The right click, then the row's context menu is asked for.
        ClickNotification(record, kRightClick);
        PostFromControl(record, kContextMenuRequested);
        return 0;
    case NM_DBLCLK:
        PostFromControl(record, kLeftDoubleClick);
        return 0;
    case NM_RDBLCLK:
        PostFromControl(record, kRightDoubleClick);
        return 0;
    case LVN_BEGINDRAG:
        PostFromControl(record, kBeginDrag);
        return 0;
    case LVN_ITEMCHANGED: {
        const auto& change = reinterpret_cast<NMLISTVIEW&>(header);
        if (!(change.uChanged & LVIF_STATE)) return 0;
        if (change.uNewState & LVIS_SELECTED) {
            record.list->lastSelected = change.iItem;
            PostFromControl(record, kSelectionOrTextChanged);
        } else if ((change.uOldState & LVIS_SELECTED) ||
                   ((change.uOldState ^ change.uNewState) & LVIS_STATEIMAGEMASK)) {
            PostFromControl(record, kSelectionOrTextChanged);
        }
        return 0;
    }
    case LVN_GETDISPINFOW:
        GiveDisplayText(record, reinterpret_cast<NMLVDISPINFOW&>(header));
        return 0;
    case LVN_ODFINDITEMW:
        return -1; // typing a row's first letters finds nothing
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
    if (key == VK_RETURN && !ctrl && !shift && !alt) {
        PostFromControl(record, kRowActivated);
        return true;
    }
    if (key == 'C' && ctrl && !shift && !alt) {
        PostFromControl(record, kCopyRequested);
        return true;
    }
    if (key == VK_APPS && !ctrl && !shift && !alt) {
        PostFromControl(record, kContextMenuRequested);
        return true;
    }
    return false;
}

// ------------------------------------------------------------ focus

void MoveFocus(HWND window, bool forward) {
    std::vector<HWND> stops;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        const LONG style = GetWindowLongW(child, GWL_STYLE);
        if ((style & WS_TABSTOP) && IsWindowEnabled(child) && IsWindowVisible(child))
            stops.push_back(child);
    }
    if (stops.empty()) return;
    HWND focus = GetFocus();
    while (focus && GetParent(focus) && GetParent(focus) != window)
        focus = GetParent(focus);
    const auto at = std::find(stops.begin(), stops.end(), focus);
    HWND next;
    if (at == stops.end())
        next = forward ? stops.front() : stops.back();
    else if (forward)
        next = at + 1 == stops.end() ? stops.front() : *(at + 1);
    else
        next = at == stops.begin() ? stops.back() : *(at - 1);
    SetFocus(next);
}

// ------------------------------------------------------------ window procedures

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::int64_t number = WindowNumberOf(hwnd);
    if (number < 0) return DefWindowProcW(hwnd, message, wParam, lParam);
    WindowRecord& window = T().windows[std::size_t(number)];
    switch (message) {
    case WM_CLOSE:
        // Only a request: the window stays until the program removes it.
        PostEvent(CloseWindowEvent, number, number, 0);
        return 0;
    case WM_COMMAND: {
        const HWND from = reinterpret_cast<HWND>(lParam);
        const WORD code = HIWORD(wParam);
        if (from) {
            const LONG_PTR id = GetWindowLongPtrW(from, GWLP_ID);
            if (id == -1) return 0;
            // Focus arriving on an unchosen option button is no choice: the
            // button reports it as a click, but nothing was chosen.
            const ControlRecord* control = ControlOf(from);
            if (control && control->kind == ControlKind::OptionButton && code == BN_CLICKED &&
                SendTo(from, BM_GETCHECK) != BST_CHECKED)
                return 0;
            PostEvent(ControlEvent, id, number, code);
        } else if (code == 0) {
            PostEvent(MenuEvent, LOWORD(wParam), number, 0);
        } else if (LOWORD(wParam) == kFocusForward || LOWORD(wParam) == kFocusBackward) {
            MoveFocus(hwnd, LOWORD(wParam) == kFocusForward);
        } else {
            PostEvent(MenuEvent, LOWORD(wParam), number, 0);
        }
        return 0;
    }
    case WM_NOTIFY: {
        auto& header = *reinterpret_cast<NMHDR*>(lParam);
        ControlRecord* control = ControlOf(header.hwndFrom);
        if (control && control->kind == ControlKind::List)
            return ListNotification(*control, header);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            const HWND focus = GetFocus();
            window.focusMemory = focus && IsChild(hwnd, focus) ? focus : nullptr;
            SendTo(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL));
            PostEvent(DeactivateEvent, 0, number, 0);
        } else {
            // The control that had the focus gets it back; otherwise the
            // window keeps it itself and no control has it.
            if (window.focusMemory && IsWindow(window.focusMemory) &&
                IsChild(hwnd, window.focusMemory))
                SetFocus(window.focusMemory);
            else
                SetFocus(hwnd);
            PostEvent(ActivateEvent, 0, number, 0);
        }
        return 1;
    case WM_MOVE:
        if (window.created) PostEvent(MoveEvent, number, number, 0);
        return 0;
    case WM_SIZE:
        if (window.created) {
            if (wParam == SIZE_MINIMIZED) {
                window.minimized = true;
                PostEvent(MinimizeEvent, 0, number, 0);
            } else if (wParam == SIZE_MAXIMIZED) {
                window.maximized = true;
                PostEvent(MaximizeEvent, 0, number, 0);
                PostEvent(SizeEvent, 0, number, 0);
            } else {
                if (window.minimized || window.maximized) PostEvent(RestoreEvent, 0, number, 0);
                window.minimized = window.maximized = false;
                RemoveSizeEvents(number);
                PostEvent(SizeEvent, 0, number, 0);
            }
        }
        return 0;
    case WM_ERASEBKGND: {
        const LRESULT result = DefWindowProcW(hwnd, message, wParam, lParam);
        PostEvent(RepaintEvent, 0, number, 0);
        return result;
    }
    case WM_LBUTTONUP:
        PostEvent(LeftClickEvent, 0, number, 0);
        return 0;
    case WM_LBUTTONDBLCLK:
        PostEvent(LeftDoubleClickEvent, 0, number, 0);
        return 0;
    case WM_RBUTTONUP:
        PostEvent(RightClickEvent, 0, number, 0);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    case WM_TIMER:
        PostEvent(TimerEvent, std::int64_t(wParam), number, 0);
        return 0;
    case WM_NCDESTROY: {
        RemovePropW(hwnd, kNumberProperty);
        if (window.shortcuts) DestroyAcceleratorTable(window.shortcuts);
        window = WindowRecord();
        RemoveWindowEvents(number);
        if (T().currentWindow == number) T().currentWindow = -1;
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// The layer's hook in front of every control's own procedure.
LRESULT CALLBACK ControlProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlRecord* record = ControlOf(hwnd);
    if (!record) {
        // A control already forgotten: find its own procedure through the
        // property the hook left.
        const auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, L"QuellkampOriginal"));
        return original ? CallWindowProcW(original, hwnd, message, wParam, lParam)
                        : DefWindowProcW(hwnd, message, wParam, lParam);
    }
    const WNDPROC original = record->original;
    switch (message) {
    case WM_SETFOCUS:
        if (record->kind == ControlKind::TextField) PostFromControl(*record, kFieldFocusGained);
        break;
    case WM_KILLFOCUS:
        if (record->kind == ControlKind::TextField) PostFromControl(*record, kFieldFocusLost);
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        if (record->kind == ControlKind::List && ListKey(*record, message, wParam)) return 0;
        break;
    case WM_CONTEXTMENU:
        if (record->kind == ControlKind::List) {
            // The mouse's request came with the right click (NM_RCLICK);
            // Shift+F10 comes here without a position.
            if (GET_X_LPARAM(lParam) == -1 && GET_Y_LPARAM(lParam) == -1)
                PostFromControl(*record, kContextMenuRequested);
            return 0;
        }
        break;
    case WM_LBUTTONUP:
        if (record->kind == ControlKind::List) {
            const LRESULT result = CallWindowProcW(original, hwnd, message, wParam, lParam);
            if ((record = ControlOf(hwnd))) ClickNotification(*record, kLeftClick);
            return result;
        }
        break;
    case WM_NCDESTROY: {
        const std::int64_t number = GetWindowLongPtrW(hwnd, GWLP_ID);
        const std::int64_t window = record->window;
        *record = ControlRecord();
        RemoveControlEvents(number, window);
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
        RemovePropW(hwnd, L"QuellkampOriginal");
        return CallWindowProcW(original, hwnd, message, wParam, lParam);
    }
    default:
        break;
    }
    return CallWindowProcW(original, hwnd, message, wParam, lParam);
}

// ------------------------------------------------------------ creation

// The window's class goes with it: it is the window's own.
void DestroyWindowNumber(std::int64_t number) {
    WindowRecord* record = FindWindow(number);
    if (!record || !record->hwnd) return;
    const std::wstring className = record->className;
    DestroyWindow(record->hwnd); // WM_NCDESTROY forgets it
    UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));
}

void DestroyControl(std::int64_t number) {
    ControlRecord* record = FindControl(number);
    if (record && record->hwnd) DestroyWindow(record->hwnd); // the hook forgets it
}

// The window new controls go into, null when there is none or the number
// cannot be used.
HWND ControlParent(std::int64_t number) {
    if (number < 0 || number > kMaxNumber) return nullptr;
    WindowRecord* window = FindWindow(T().currentWindow);
    return window ? window->hwnd : nullptr;
}

// Creates a control of `kind` in the current window and takes the number
// for it (replacing the control that had it). 0 when the platform refuses.
Handle MakeControl(std::int64_t number, ControlKind kind, const wchar_t* className, DWORD style,
                   DWORD extendedStyle, const Text& text, int x, int y, int width, int height) {
    const HWND parent = ControlParent(number);
    if (!parent) return 0;
    const std::wstring title = Wide(text);
    const HWND hwnd = CreateWindowExW(extendedStyle, className, title.c_str(), style, Scale(x),
                                      Scale(y), Scale(width), Scale(height), parent,
                                      reinterpret_cast<HMENU>(static_cast<std::intptr_t>(number)),
                                      GetModuleHandleW(nullptr), nullptr);
    if (!hwnd) return 0;
    DestroyControl(number);
    const std::int64_t windowNumber = T().currentWindow;
    ControlRecord& record = Slot(T().controls, number);
    record = ControlRecord();
    record.hwnd = hwnd;
    record.kind = kind;
    record.window = windowNumber;
    if (kind == ControlKind::List) record.list = std::make_unique<ListState>();
    SetWindowLongPtrW(hwnd, GWLP_ID, LONG_PTR(number));
    record.original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProcedure)));
    SetPropW(hwnd, L"QuellkampOriginal", reinterpret_cast<HANDLE>(record.original));
    SendTo(hwnd, WM_SETFONT, WPARAM(GetStockObject(DEFAULT_GUI_FONT)), TRUE);
    T().windows[std::size_t(windowNumber)].optionRun = false;
    return reinterpret_cast<Handle>(hwnd);
}

void Centre(HWND hwnd, std::uint32_t flags, HWND active) {
    RECT outer;
    if (!GetWindowRect(hwnd, &outer)) return;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    int x, y;
    if (flags & kWindowCentreOnScreen) {
        const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
        const int screenHeight = GetSystemMetrics(SM_CYSCREEN);
        x = (screenWidth - std::min(width, screenWidth)) / 2;
        y = (screenHeight - std::min(height, screenHeight)) / 2;
    } else {
        RECT reference;
        if (!active || !GetWindowRect(active, &reference)) return;
        x = std::max(0L, reference.left + (reference.right - reference.left - width) / 2);
        y = std::max(0L, reference.top + (reference.bottom - reference.top - height) / 2);
    }
    SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
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
    if (list.rows.Rows() != list.shownRows) {
        list.shownRows = list.rows.Rows();
        SendTo(hwnd, LVM_SETITEMCOUNT, WPARAM(list.shownRows),
               LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
        InvalidateRect(hwnd, nullptr, FALSE);
    }
    if (list.changedFirst >= 0) {
        SendTo(hwnd, LVM_REDRAWITEMS, WPARAM(list.changedFirst), LPARAM(list.changedLast));
        list.changedFirst = list.changedLast = -1;
    }
}

} // namespace

ControlRecord* FindControl(std::int64_t control) {
    auto& table = T().controls;
    if (control < 0 || std::size_t(control) >= table.size() || !table[std::size_t(control)].hwnd)
        return nullptr;
    return &table[std::size_t(control)];
}

WindowRecord* FindWindow(std::int64_t window) {
    auto& table = T().windows;
    if (window < 0 || std::size_t(window) >= table.size() || !table[std::size_t(window)].hwnd)
        return nullptr;
    return &table[std::size_t(window)];
}

std::int64_t WindowNumberOf(HWND hwnd) {
    if (!hwnd) return -1;
    const HANDLE tag = GetPropW(hwnd, kNumberProperty);
    if (!tag) return -1;
    const std::int64_t number = std::int64_t(reinterpret_cast<std::intptr_t>(tag)) - 1;
    const WindowRecord* record = FindWindow(number);
    return record && record->hwnd == hwnd ? number : -1;
}

HACCEL ShortcutsOf(HWND window) {
    const std::int64_t number = WindowNumberOf(window);
    return number >= 0 ? T().windows[std::size_t(number)].shortcuts : nullptr;
}

int Scale(int pixels) {
    return MulDiv(pixels, T().dpi, 96);
}

void SetDisplayDpi(int dpi) {
    T().dpi = dpi > 0 ? dpi : 96;
}

ListState* ListOf(std::int64_t control) {
    HWND hwnd;
    return ListStateOf(control, hwnd);
}

HWND ControlHandle(std::int64_t control) {
    const ControlRecord* record = FindControl(control);
    return record ? record->hwnd : nullptr;
}

HWND WindowHandle(std::int64_t window) {
    const WindowRecord* record = FindWindow(window);
    return record ? record->hwnd : nullptr;
}

void FlushLists() {
    for (ControlRecord& record : T().controls)
        if (record.hwnd && record.list) FlushList(record.hwnd, *record.list);
}

void CloseAllWindows() {
    Tables& tables = T();
    for (std::size_t i = 0; i < tables.windows.size(); ++i)
        DestroyWindowNumber(std::int64_t(i));
    tables.windows.clear();
    tables.controls.clear();
    tables.currentWindow = -1;
    ClearEvents();
}

// A list's window text is shown nowhere, and accessibility reads it as the
// list's name. A field's window text is its content: its name is set as an
// annotation of its accessible object (and is otherwise its label's, the
// static text before it).
void SetAccessibleNameOf(std::int64_t control, const Text& name) {
    ControlRecord* record = FindControl(control);
    if (!record) return;
    const std::wstring units = Wide(name);
    if (record->kind == ControlKind::List) {
        SuppressEvents quiet;
        SetWindowTextW(record->hwnd, units.c_str());
    } else if (record->kind == ControlKind::TextField) {
        AnnotateName(record->hwnd, units);
    }
}

} // namespace ui

using namespace ui;

Handle OpenWindow(std::int64_t window, int x, int y, int width, int height, const Text& title,
                  std::uint32_t flags) {
    if (window < 0 || window > kMaxNumber || width < 0 || height < 0) return 0;
    DestroyWindowNumber(window);

    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const std::wstring className = L"WindowClass_" + std::to_wstring(window);
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className.c_str();
    if (!RegisterClassW(&windowClass)) {
        // Left behind by a window that went without the layer's knowledge.
        UnregisterClassW(className.c_str(), instance);
        if (!RegisterClassW(&windowClass)) return 0;
    }

    std::uint32_t style = flags & ~kWindowNotCurrent;
    if ((style & ~(kWindowCentreOnScreen | kWindowCentreOnActive | kWindowInvisible)) == 0)
        style |= kWindowTitleBar;
    const bool invisible = style & kWindowInvisible;
    style &= ~kWindowInvisible;
    DWORD extendedStyle = 0;
    if (style & kWindowToolWindow) {
        extendedStyle |= WS_EX_TOOLWINDOW;
        style &= ~(kWindowMinimizeBox | kWindowMaximizeBox | kWindowShowMaximized |
                   kWindowShowMinimized);
        style |= kWindowTitleBar;
    }
    const DWORD windowStyle = style & ~kNotAStyle;

    RECT outer{0, 0, Scale(width), Scale(height)};
    AdjustWindowRectEx(&outer, windowStyle, FALSE, extendedStyle);
    const HWND active = GetActiveWindow();
    const std::wstring caption = Wide(title);
    const HWND hwnd = CreateWindowExW(
        extendedStyle, className.c_str(), caption.c_str(), windowStyle, x, y,
        outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, instance, nullptr);
    if (!hwnd) {
        UnregisterClassW(className.c_str(), instance);
        return 0;
    }
    WindowRecord& record = Slot(T().windows, window);
    record = WindowRecord();
    record.hwnd = hwnd;
    record.className = className;
    SetPropW(hwnd, kNumberProperty, reinterpret_cast<HANDLE>(std::intptr_t(window + 1)));

    if (style & (kWindowCentreOnScreen | kWindowCentreOnActive)) Centre(hwnd, style, active);
    if (!invisible) {
        const bool quiet = style & kWindowShowNoActivate;
        int show = quiet ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
        if (style & kWindowShowMaximized) show = quiet ? SW_SHOWNA : SW_SHOWMAXIMIZED;
        if (style & kWindowShowMinimized) show = quiet ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
        ShowWindow(hwnd, show);
    }
    ACCEL keys[] = {{FVIRTKEY, VK_TAB, kFocusForward}, {FVIRTKEY | FSHIFT, VK_TAB, kFocusBackward}};
    if (WindowRecord* made = FindWindow(window)) {
        made->shortcuts = CreateAcceleratorTableW(keys, 2);
        if (!(flags & kWindowNotCurrent)) T().currentWindow = window;
        made->minimized = IsIconic(hwnd);
        made->maximized = IsZoomed(hwnd);
        made->created = true;
    }
    return reinterpret_cast<Handle>(hwnd);
}

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
    // A row inserted above the selection moves the selected record down.
    const std::int64_t selected = SelectedRowOf(hwnd);
    FlushList(hwnd, *list);
    if (selected >= position) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendTo(hwnd, LVM_SETITEMSTATE, WPARAM(selected + 1), reinterpret_cast<LPARAM>(&state));
    }
    InvalidateRect(hwnd, nullptr, FALSE);
}

void SetCellText(std::int64_t control, std::int64_t row, const Text& text, int column) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    if (row == -1) {
        if (column < 0 || column >= list->rows.Columns()) return;
        std::wstring units = Wide(text);
        HDITEMW item{};
        item.mask = HDI_TEXT;
        item.pszText = units.data();
        SendTo(ListView_GetHeader(hwnd), HDM_SETITEMW, WPARAM(column),
               reinterpret_cast<LPARAM>(&item));
        return;
    }
    if (row < 0 || row >= list->rows.Rows()) return;
    list->rows.SetCells(row, column, text);
    if (row < list->shownRows) {
        if (list->changedFirst < 0 || row < list->changedFirst) list->changedFirst = row;
        if (row > list->changedLast) list->changedLast = row;
    }
}

Text GetCellText(std::int64_t control, std::int64_t row, int column) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return {};
    if (row != -1) return list->rows.Cell(row, column);
    if (column < 0 || column >= list->rows.Columns()) return {};
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
    list->shownRows = 0;
    list->changedFirst = list->changedLast = -1;
    SendTo(hwnd, LVM_DELETEALLITEMS);
}

void ShowRows(std::int64_t control, const RowSource* source, std::vector<std::uint32_t> rows) {
    HWND hwnd;
    ListState* list = ListStateOf(control, hwnd);
    if (!list) return;
    SuppressEvents quiet;
    list->rows.ShowSource(source, std::move(rows));
    list->shownRows = 0;
    list->changedFirst = list->changedLast = -1;
    SendTo(hwnd, LVM_DELETEALLITEMS);
    FlushList(hwnd, *list); // the list control learns the row count at once
}

std::int64_t RowCount(std::int64_t control) {
    const ListState* list = ListOf(control);
    return list ? list->rows.Rows() : 0;
}

Handle CreateOptionButton(std::int64_t control, int x, int y, int width, int height,
                          const Text& text) {
    const HWND parent = ControlParent(control);
    if (!parent) return 0;
    WindowRecord& window = T().windows[std::size_t(T().currentWindow)];
    // The first option button after any other control starts a new group.
    DWORD style = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTORADIOBUTTON;
    if (!window.optionRun) style |= WS_GROUP;
    const Handle handle = MakeControl(control, ControlKind::OptionButton, WC_BUTTONW, style, 0,
                                      text, x, y, width, height);
    if (handle) window.optionRun = true;
    return handle;
}

Handle CreatePushButton(std::int64_t control, int x, int y, int width, int height, const Text& text,
                        std::uint32_t flags) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | BS_PUSHBUTTON | flags;
    return MakeControl(control, ControlKind::PushButton, WC_BUTTONW, style, 0, text, x, y, width,
                       height);
}

Handle CreateTextLabel(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags) {
    const DWORD style =
        WS_CHILD | WS_VISIBLE | WS_GROUP | SS_NOPREFIX | (flags & ~DWORD(kSunkenBorder));
    const DWORD extended = (flags & kSunkenBorder) ? WS_EX_CLIENTEDGE : 0;
    return MakeControl(control, ControlKind::TextLabel, WC_STATICW, style, extended, text, x, y,
                       width, height);
}

Handle CreateTextField(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags) {
    const DWORD style = WS_CHILD | WS_VISIBLE | WS_GROUP | WS_TABSTOP | ES_AUTOHSCROLL |
                        (flags & ~DWORD(kSunkenBorder));
    const DWORD extended = (flags & kSunkenBorder) ? 0 : WS_EX_CLIENTEDGE;
    return MakeControl(control, ControlKind::TextField, WC_EDITW, style, extended, text, x, y,
                       width, height);
}

void SetControlText(std::int64_t control, const Text& text) {
    ControlRecord* record = FindControl(control);
    if (!record || record->kind == ControlKind::List) return;
    SuppressEvents quiet;
    const std::wstring units = Wide(text);
    SetWindowTextW(record->hwnd, units.c_str());
}

Text GetControlText(std::int64_t control) {
    ControlRecord* record = FindControl(control);
    if (!record) return {};
    if (record->kind == ControlKind::List) {
        const std::int64_t row = SelectedRowOf(record->hwnd);
        return row < 0 ? Text() : record->list->rows.Cell(row, 0);
    }
    const int length = GetWindowTextLengthW(record->hwnd);
    if (length <= 0) return {};
    std::wstring units(std::size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(record->hwnd, units.data(), length + 1);
    return FromWide(units.data(), std::size_t(std::max(got, 0)));
}

} // namespace qk
