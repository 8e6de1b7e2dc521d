// Windows addressed by number, on Win32 top-level windows: the window
// table, the window procedure that turns messages into events, and the
// keyboard focus.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/WindowRules.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>

#include <algorithm>

namespace qk {

namespace ui {

namespace {

// The shortcut commands of Tab and Shift+Tab.
constexpr WORD kFocusForward = 64001;
constexpr WORD kFocusBackward = 64002;
// The shortcut command of Escape in a window that it closes.
constexpr WORD kEscapeCloses = 64003;

// The property under which a window keeps its number.
constexpr wchar_t kNumberProperty[] = L"QuellkampWindowNumber";

struct Tables {
    std::vector<WindowRecord> windows;
    std::int64_t currentWindow = -1;
    int dpi = 96;
};

Tables& T() {
    static Tables tables;
    return tables;
}

LRESULT SendTo(HWND hwnd, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
    return SendMessageW(hwnd, message, wParam, lParam);
}

// ------------------------------------------------------------ focus

// A tab stop: a control of the layer made as one, or a foreign child with
// the tab-stop style; enabled and visible either way.
bool IsTabStop(HWND child) {
    if (!IsWindowEnabled(child) || !IsWindowVisible(child)) return false;
    if (const ControlRecord* control = ControlOf(child)) return control->tabStop;
    return (GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) != 0;
}

void MoveFocus(HWND window, bool forward) {
    std::vector<HWND> stops;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (IsTabStop(child)) stops.push_back(child);
    HWND focus = GetFocus();
    while (focus && GetParent(focus) && GetParent(focus) != window)
        focus = GetParent(focus);
    const auto at = std::find(stops.begin(), stops.end(), focus);
    const int focused = at == stops.end() ? -1 : int(at - stops.begin());
    const int next = NextTabStop(int(stops.size()), focused, forward);
    if (next >= 0) SetFocus(stops[std::size_t(next)]);
}

// ------------------------------------------------------------ messages

// Focus arriving on an unchosen option button is no choice: the button
// reports it as a click, but nothing was chosen.
bool FocusOnUnchosenOption(HWND from, WORD code) {
    const ControlRecord* control = ControlOf(from);
    return control && control->kind == ControlKind::OptionButton && code == BN_CLICKED &&
           SendTo(from, BM_GETCHECK) != BST_CHECKED;
}

LRESULT OnCommand(HWND hwnd, std::int64_t number, WPARAM wParam, LPARAM lParam) {
    const HWND from = reinterpret_cast<HWND>(lParam);
    const WORD code = HIWORD(wParam);
    const WORD id = LOWORD(wParam);
    if (from) {
        const LONG_PTR control = GetWindowLongPtrW(from, GWLP_ID);
        if (control != -1 && !FocusOnUnchosenOption(from, code))
            PostEvent(ControlEvent, control, number, code);
    } else if (code != 0 && (id == kFocusForward || id == kFocusBackward)) {
        MoveFocus(hwnd, id == kFocusForward);
    } else if (code != 0 && id == kEscapeCloses) {
        PostEvent(CloseWindowEvent, number, number, 0);
    } else {
        PostEvent(MenuEvent, id, number, 0); // a menu item or another shortcut
    }
    return 0;
}

LRESULT OnNotify(HWND hwnd, WPARAM wParam, LPARAM lParam) {
    auto& header = *reinterpret_cast<NMHDR*>(lParam);
    ControlRecord* control = ControlOf(header.hwndFrom);
    if (control && control->kind == ControlKind::List) return ListNotification(*control, header);
    return DefWindowProcW(hwnd, WM_NOTIFY, wParam, lParam);
}

LRESULT OnActivate(HWND hwnd, WindowRecord& window, std::int64_t number, WPARAM wParam) {
    if (LOWORD(wParam) == WA_INACTIVE) {
        const HWND focus = GetFocus();
        window.focusMemory = focus && IsChild(hwnd, focus) ? focus : nullptr;
        SendTo(hwnd, WM_UPDATEUISTATE, MAKEWPARAM(UIS_SET, UISF_HIDEFOCUS | UISF_HIDEACCEL));
        PostEvent(DeactivateEvent, 0, number, 0);
        return 1;
    }
    // The control that had the focus gets it back; otherwise the window
    // keeps it itself and no control has it.
    if (window.focusMemory && IsWindow(window.focusMemory) && IsChild(hwnd, window.focusMemory))
        SetFocus(window.focusMemory);
    else
        SetFocus(hwnd);
    PostEvent(ActivateEvent, 0, number, 0);
    return 1;
}

LRESULT OnSize(WindowRecord& window, std::int64_t number, WPARAM kind) {
    if (!window.created) return 0;
    const SizeState now = kind == SIZE_MINIMIZED   ? SizeState::Minimized
                          : kind == SIZE_MAXIMIZED ? SizeState::Maximized
                                                   : SizeState::Normal;
    const SizeChange change = SizeEventsOf(window.sizeState, now);
    window.sizeState = now;
    if (change.removeWaitingSizes) RemoveSizeEvents(number);
    for (const std::int64_t event : change.events)
        PostEvent(event, 0, number, 0);
    return 0;
}

LRESULT OnDestroyed(HWND hwnd, WindowRecord& window, std::int64_t number, WPARAM wParam,
                    LPARAM lParam) {
    RemovePropW(hwnd, kNumberProperty);
    if (window.shortcuts) DestroyAcceleratorTable(window.shortcuts);
    window = WindowRecord();
    RemoveWindowEvents(number);
    if (T().currentWindow == number) T().currentWindow = -1;
    return DefWindowProcW(hwnd, WM_NCDESTROY, wParam, lParam);
}

// Messages that only post an event, and what default handling they get.
bool PostsOnly(UINT message, std::int64_t& event, bool& defaultToo) {
    defaultToo = false;
    switch (message) {
    case WM_LBUTTONUP:
        event = LeftClickEvent;
        return true;
    case WM_LBUTTONDBLCLK:
        event = LeftDoubleClickEvent;
        return true;
    case WM_RBUTTONUP:
        event = RightClickEvent;
        defaultToo = true;
        return true;
    case WM_ERASEBKGND:
        event = RepaintEvent;
        defaultToo = true;
        return true;
    default:
        return false;
    }
}

LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const std::int64_t number = WindowNumberOf(hwnd);
    if (number < 0) return DefWindowProcW(hwnd, message, wParam, lParam);
    WindowRecord& window = T().windows[std::size_t(number)];
    std::int64_t event = 0;
    bool defaultToo = false;
    if (PostsOnly(message, event, defaultToo)) {
        const LRESULT result = defaultToo ? DefWindowProcW(hwnd, message, wParam, lParam) : 0;
        PostEvent(event, 0, number, 0);
        return result;
    }
    switch (message) {
    case WM_CLOSE:
        // Only a request: the window stays until the program removes it.
        PostEvent(CloseWindowEvent, number, number, 0);
        return 0;
    case WM_COMMAND:
        return OnCommand(hwnd, number, wParam, lParam);
    case WM_NOTIFY:
        return OnNotify(hwnd, wParam, lParam);
    case WM_ACTIVATE:
        return OnActivate(hwnd, window, number, wParam);
    case WM_MOVE:
        if (window.created) PostEvent(MoveEvent, number, number, 0);
        return 0;
    case WM_SIZE:
        return OnSize(window, number, wParam);
    case WM_TIMER:
        PostEvent(TimerEvent, std::int64_t(wParam), number, 0);
        return 0;
    case WM_DROPFILES:
        return TakeFileDrop(wParam, number);
    case WM_NCDESTROY:
        return OnDestroyed(hwnd, window, number, wParam, lParam);
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

// ------------------------------------------------------------ opening

// The window's class goes with it: it is the window's own.
void DestroyWindowNumber(std::int64_t number) {
    WindowRecord* record = FindWindow(number);
    if (!record || !record->hwnd) return;
    const std::wstring className = record->className;
    DestroyWindow(record->hwnd); // WM_NCDESTROY forgets it
    UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));
}

bool RegisterWindowClass(const std::wstring& className) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.style = CS_DBLCLKS;
    windowClass.lpfnWndProc = WindowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = className.c_str();
    if (RegisterClassW(&windowClass)) return true;
    // Left behind by a window that went without the layer's knowledge.
    UnregisterClassW(className.c_str(), instance);
    return RegisterClassW(&windowClass) != 0;
}

HWND MakeWindow(const std::wstring& className, const WindowStyle& style, int x, int y, int width,
                int height, const Text& title) {
    const DWORD extendedStyle = style.tool ? WS_EX_TOOLWINDOW : 0;
    RECT outer{0, 0, Scale(width), Scale(height)};
    AdjustWindowRectEx(&outer, style.bits, FALSE, extendedStyle);
    const std::wstring caption = Wide(title);
    return CreateWindowExW(extendedStyle, className.c_str(), caption.c_str(), style.bits, x, y,
                           outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void Centre(HWND hwnd, const WindowStyle& style, HWND active) {
    RECT outer, reference;
    if (!GetWindowRect(hwnd, &outer)) return;
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    Rect placed;
    if (style.centreOnScreen) {
        placed = CentredOnScreen(
            width, height, {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)});
    } else {
        if (!active || !GetWindowRect(active, &reference)) return;
        placed = CentredOn(width, height,
                           {int(reference.left), int(reference.top),
                            int(reference.right - reference.left),
                            int(reference.bottom - reference.top)});
    }
    SetWindowPos(hwnd, nullptr, placed.x, placed.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Show(HWND hwnd, const WindowStyle& style) {
    if (style.invisible) return;
    const bool quiet = style.showNoActivate;
    int show = quiet ? SW_SHOWNOACTIVATE : SW_SHOWNORMAL;
    if (style.showMaximized) show = quiet ? SW_SHOWNA : SW_SHOWMAXIMIZED;
    if (style.showMinimized) show = quiet ? SW_SHOWMINNOACTIVE : SW_SHOWMINIMIZED;
    ShowWindow(hwnd, show);
}

// Enters the window into the table; WM_NCDESTROY takes it out.
void TakeWindowNumber(std::int64_t window, HWND hwnd, const std::wstring& className) {
    if (std::size_t(window) >= T().windows.size()) T().windows.resize(std::size_t(window) + 1);
    WindowRecord& record = T().windows[std::size_t(window)];
    record = WindowRecord();
    record.hwnd = hwnd;
    record.className = className;
    SetPropW(hwnd, kNumberProperty, reinterpret_cast<HANDLE>(std::intptr_t(window + 1)));
}

// What a window gets once it is shown: its shortcuts and its size state.
void FinishWindow(std::int64_t window, HWND hwnd, std::uint32_t flags) {
    WindowRecord* made = FindWindow(window);
    if (!made) return;
    ACCEL keys[] = {{FVIRTKEY, VK_TAB, kFocusForward},
                    {FVIRTKEY | FSHIFT, VK_TAB, kFocusBackward},
                    {FVIRTKEY, VK_ESCAPE, kEscapeCloses}};
    made->shortcuts = CreateAcceleratorTableW(keys, StyleOf(flags).escapeCloses ? 3 : 2);
    if (!(flags & kWindowNotCurrent)) T().currentWindow = window;
    made->sizeState = IsIconic(hwnd)   ? SizeState::Minimized
                      : IsZoomed(hwnd) ? SizeState::Maximized
                                       : SizeState::Normal;
    made->created = true;
    AcceptFileDrops(hwnd);
}

} // namespace

WindowRecord* FindWindow(std::int64_t window) {
    auto& table = T().windows;
    if (window < 0 || std::size_t(window) >= table.size() || !table[std::size_t(window)].hwnd)
        return nullptr;
    return &table[std::size_t(window)];
}

std::int64_t CurrentWindow() {
    return T().currentWindow;
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

HWND WindowHandle(std::int64_t window) {
    const WindowRecord* record = FindWindow(window);
    return record ? record->hwnd : nullptr;
}

void CloseAllWindows() {
    Tables& tables = T();
    for (std::size_t i = 0; i < tables.windows.size(); ++i)
        DestroyWindowNumber(std::int64_t(i));
    tables.windows.clear();
    ForgetAllControls();
    tables.currentWindow = -1;
    ClearEvents();
}

} // namespace ui

using namespace ui;

Handle OpenWindow(std::int64_t window, int x, int y, int width, int height, const Text& title,
                  std::uint32_t flags) {
    if (window < 0 || window > kMaxNumber || width < 0 || height < 0) return 0;
    DestroyWindowNumber(window);
    const std::wstring className = L"WindowClass_" + std::to_wstring(window);
    if (!RegisterWindowClass(className)) return 0;
    const WindowStyle style = StyleOf(flags);
    const HWND active = GetActiveWindow();
    const HWND hwnd = MakeWindow(className, style, x, y, width, height, title);
    if (!hwnd) {
        UnregisterClassW(className.c_str(), GetModuleHandleW(nullptr));
        return 0;
    }
    TakeWindowNumber(window, hwnd, className);
    if (style.centreOnScreen || style.centreOnActive) Centre(hwnd, style, active);
    Show(hwnd, style);
    FinishWindow(window, hwnd, flags);
    return reinterpret_cast<Handle>(hwnd);
}

void CloseWindow(std::int64_t window) {
    DestroyWindowNumber(window);
}

void BringWindowToFront(std::int64_t window) {
    const HWND hwnd = WindowHandle(window);
    if (!hwnd) return;
    if (IsIconic(hwnd)) ShowWindow(hwnd, SW_RESTORE);
    ShowWindow(hwnd, SW_SHOW);
    BringWindowToTop(hwnd);
    SetForegroundWindow(hwnd);
    SetActiveWindow(hwnd);
}

bool WindowOpen(std::int64_t window) {
    return FindWindow(window) != nullptr;
}

} // namespace qk
