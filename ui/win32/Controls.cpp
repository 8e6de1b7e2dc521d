// Controls addressed by number, on the Win32 controls: the ControlRegistry,
// the layer's hook in front of every control, the kinds of control, their
// texts and the font they share.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/WindowRules.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

namespace qk {

namespace ui {

namespace {

// The property under which a hooked control keeps its own procedure.
constexpr wchar_t kOriginalProperty[] = L"QuellkampOriginal";

std::vector<ControlRecord> controls; // the ControlRegistry
HFONT guiFont = nullptr;

// Hands a message to the control's own procedure.
LRESULT Original(WNDPROC original, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcW(original, hwnd, message, wParam, lParam);
}

// A control already forgotten: its own procedure is found through the
// property the hook left.
LRESULT ForgottenControl(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto original = reinterpret_cast<WNDPROC>(GetPropW(hwnd, kOriginalProperty));
    return original ? Original(original, hwnd, message, wParam, lParam)
                    : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT ControlGone(ControlRecord& record, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC original = record.original;
    const std::int64_t number = GetWindowLongPtrW(hwnd, GWLP_ID);
    const std::int64_t window = record.window;
    record = ControlRecord();
    RemoveControlEvents(number, window);
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original));
    RemovePropW(hwnd, kOriginalProperty);
    return Original(original, hwnd, message, wParam, lParam);
}

// A list's context menu: the mouse's request came with the right click
// (NM_RCLICK); Shift+F10 comes here without a position.
void ListContextMenu(ControlRecord& record, LPARAM lParam) {
    if (GET_X_LPARAM(lParam) == -1 && GET_Y_LPARAM(lParam) == -1)
        PostFromControl(record, kContextMenuRequested);
}

// The list reports a click on its own button-up too, after its handling.
LRESULT ListButtonUp(ControlRecord& record, HWND hwnd, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = Original(record.original, hwnd, WM_LBUTTONUP, wParam, lParam);
    if (ControlRecord* still = ControlOf(hwnd)) ListClick(*still, kLeftClick);
    return result;
}

// The layer's hook in front of every control's own procedure.
LRESULT CALLBACK ControlProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    ControlRecord* record = ControlOf(hwnd);
    if (!record) return ForgottenControl(hwnd, message, wParam, lParam);
    const bool list = record->kind == ControlKind::List;
    const bool field = record->kind == ControlKind::TextField;
    switch (message) {
    case WM_SETFOCUS:
        if (field) PostFromControl(*record, kFieldFocusGained);
        break;
    case WM_KILLFOCUS:
        if (field) PostFromControl(*record, kFieldFocusLost);
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
        if (list && ListKey(*record, message, wParam)) return 0;
        break;
    case WM_CONTEXTMENU:
        if (!list) break;
        ListContextMenu(*record, lParam);
        return 0;
    case WM_LBUTTONUP:
        if (list) return ListButtonUp(*record, hwnd, wParam, lParam);
        break;
    case WM_NCDESTROY:
        return ControlGone(*record, hwnd, message, wParam, lParam);
    default:
        break;
    }
    return Original(record->original, hwnd, message, wParam, lParam);
}

void DestroyControl(std::int64_t number) {
    ControlRecord* record = FindControl(number);
    if (record && record->hwnd) DestroyWindow(record->hwnd); // the hook forgets it
}

// The window new controls go into, null when there is none or the number
// cannot be used.
HWND ControlParent(std::int64_t number) {
    if (number < 0 || number > kMaxNumber) return nullptr;
    WindowRecord* window = FindWindow(CurrentWindow());
    return window ? window->hwnd : nullptr;
}

// Enters a made control into the registry under `number` and hooks it.
ControlRecord& Register(std::int64_t number, HWND hwnd, ControlKind kind) {
    DestroyControl(number);
    if (std::size_t(number) >= controls.size()) controls.resize(std::size_t(number) + 1);
    ControlRecord& record = controls[std::size_t(number)];
    record = ControlRecord();
    record.hwnd = hwnd;
    record.kind = kind;
    record.window = CurrentWindow();
    record.tabStop = kind != ControlKind::TextLabel;
    if (kind == ControlKind::List) record.list = std::make_unique<ListState>();
    SetWindowLongPtrW(hwnd, GWLP_ID, LONG_PTR(number));
    record.original = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ControlProcedure)));
    SetPropW(hwnd, kOriginalProperty, reinterpret_cast<HANDLE>(record.original));
    return record;
}

// The width the lines of a label's text take in its font.
int TextWidth(HWND hwnd, const std::wstring& text) {
    const HDC dc = GetDC(hwnd);
    if (!dc) return 0;
    const HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
    int widest = 0;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        SIZE size{};
        GetTextExtentPoint32W(dc, text.data() + start, int(end - start), &size);
        widest = std::max(widest, int(size.cx));
        start = end + 1;
    }
    SelectObject(dc, old);
    ReleaseDC(hwnd, dc);
    return widest;
}

// A label shows its whole text: it grows to the left when it is too narrow.
void FitLabel(const ControlRecord& record, const std::wstring& text) {
    RECT placed;
    if (!GetWindowRect(record.hwnd, &placed)) return;
    MapWindowPoints(nullptr, GetParent(record.hwnd), reinterpret_cast<POINT*>(&placed), 2);
    const LabelSpan span =
        GrownLabel(record.placedX, record.placedWidth, TextWidth(record.hwnd, text));
    SetWindowPos(record.hwnd, nullptr, span.x, placed.top, span.width, placed.bottom - placed.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

ControlRecord* FindControl(std::int64_t control) {
    if (control < 0 || std::size_t(control) >= controls.size() ||
        !controls[std::size_t(control)].hwnd)
        return nullptr;
    return &controls[std::size_t(control)];
}

ControlRecord* ControlOf(HWND hwnd) {
    if (!hwnd) return nullptr;
    ControlRecord* record = FindControl(GetWindowLongPtrW(hwnd, GWLP_ID));
    return record && record->hwnd == hwnd ? record : nullptr;
}

void PostFromControl(const ControlRecord& record, std::int64_t type) {
    const LONG_PTR id = GetWindowLongPtrW(record.hwnd, GWLP_ID);
    if (id == -1) return;
    PostEvent(ControlEvent, id, record.window, type);
}

void ForEachList(void (*visit)(HWND, ListState&)) {
    for (ControlRecord& record : controls)
        if (record.hwnd && record.list) visit(record.hwnd, *record.list);
}

void ForgetAllControls() {
    controls.clear();
}

HWND ControlHandle(std::int64_t control) {
    const ControlRecord* record = FindControl(control);
    return record ? record->hwnd : nullptr;
}

// The platform's 8-point dialog font at the display's resolution: the stock
// font keeps its 96-DPI size, which would leave the text small in
// controls that grew with the display.
HFONT GuiFont() {
    if (guiFont) return guiFont;
    LOGFONTW font{};
    if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font)) return nullptr;
    font.lfHeight = -Scale(11);
    font.lfWidth = 0;
    guiFont = CreateFontIndirectW(&font);
    return guiFont ? guiFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

void ReleaseGuiFont() {
    if (guiFont) DeleteObject(guiFont);
    guiFont = nullptr;
}

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
    ControlRecord& record = Register(number, hwnd, kind);
    record.placedX = Scale(x);
    record.placedWidth = Scale(width);
    SendMessageW(hwnd, WM_SETFONT, WPARAM(GuiFont()), TRUE);
    FindWindow(record.window)->optionRun = false;
    if (kind == ControlKind::TextLabel) FitLabel(record, title);
    return reinterpret_cast<Handle>(hwnd);
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

Handle CreateOptionButton(std::int64_t control, int x, int y, int width, int height,
                          const Text& text) {
    if (!ControlParent(control)) return 0;
    WindowRecord& window = *FindWindow(CurrentWindow());
    // The first option button after any other control starts a new group.
    // Each option is a tab stop of its own, chosen or not: the layer keeps
    // the stops itself, since the button moves WS_TABSTOP to the chosen one.
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

void UnchooseOption(std::int64_t control) {
    ControlRecord* record = FindControl(control);
    if (!record || record->kind != ControlKind::OptionButton) return;
    SuppressEvents quiet;
    SendMessageW(record->hwnd, BM_SETCHECK, BST_UNCHECKED, 0);
}

void SetControlText(std::int64_t control, const Text& text) {
    ControlRecord* record = FindControl(control);
    if (!record || record->kind == ControlKind::List) return;
    SuppressEvents quiet;
    const std::wstring units = Wide(text);
    if (record->kind == ControlKind::TextLabel) FitLabel(*record, units);
    SetWindowTextW(record->hwnd, units.c_str());
    // A field with the focus, or the one its window gives the focus back to,
    // has its new text selected, so that typing replaces it.
    const WindowRecord* window = FindWindow(record->window);
    if (record->kind == ControlKind::TextField &&
        (GetFocus() == record->hwnd ||
         (window && GetActiveWindow() != window->hwnd && window->focusMemory == record->hwnd)))
        SendMessageW(record->hwnd, EM_SETSEL, 0, -1);
}

Text GetControlText(std::int64_t control) {
    ControlRecord* record = FindControl(control);
    if (!record) return {};
    if (record->kind == ControlKind::List) {
        const std::int64_t row =
            std::int64_t(SendMessageW(record->hwnd, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED));
        return row < 0 ? Text() : record->list->rows.Cell(row, 0);
    }
    const int length = GetWindowTextLengthW(record->hwnd);
    if (length <= 0) return {};
    std::wstring units(std::size_t(length) + 1, L'\0');
    const int got = GetWindowTextW(record->hwnd, units.data(), length + 1);
    return FromWide(units.data(), std::size_t(std::max(got, 0)));
}

} // namespace qk
