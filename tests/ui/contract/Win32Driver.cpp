// The contract suite's driver on Win32: real input through SendInput into
// the real controls (under Wine on an X display with a window manager).
#include "app/MainWindow.h"
#include "tests/ui/contract/Driver.h"
#include "tests/ui/contract/Win32Input.h"
#include "ui/common/EventQueue.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>

#include <cwchar>
#include <vector>

namespace qk::test {

void Settle(DWORD quietMilliseconds) {
    DWORD quietSince = GetTickCount();
    const DWORD start = quietSince;
    while (GetTickCount() - quietSince < quietMilliseconds && GetTickCount() - start < 3000) {
        ui::FlushLists();
        if (ui::HandleWaitingMessage())
            quietSince = GetTickCount();
        else
            Sleep(5);
    }
}

void Send(INPUT input) {
    SendInput(1, &input, sizeof input);
}

namespace {

HWND Hwnd(std::int64_t control) {
    return ui::ControlHandle(control);
}

void SendKey(WORD key, DWORD flags = 0) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    input.ki.dwFlags = flags;
    Send(input);
}

// The middle of a row's second cell, or a point of the empty part.
POINT RowPoint(std::int64_t list, int row) {
    Settle(20);
    RECT rect{};
    if (row < 0) {
        GetClientRect(Hwnd(list), &rect);
        return {50, rect.bottom - 5};
    }
    rect.left = LVIR_BOUNDS;
    SendMessageW(Hwnd(list), LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&rect));
    return {150, (rect.top + rect.bottom) / 2};
}

void PressAt(HWND hwnd, POINT at, bool right) {
    ClientToScreen(hwnd, &at);
    SetCursorPos(at.x, at.y);
    Settle(50);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    Send(input);
    input.mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    Send(input);
}

} // namespace

void Click(HWND hwnd, POINT at, bool right) {
    PressAt(hwnd, at, right);
    Settle();
}

void KeyPress(WORD key, bool shift) {
    if (shift) SendKey(VK_SHIFT);
    SendKey(key);
    SendKey(key, KEYEVENTF_KEYUP);
    if (shift) SendKey(VK_SHIFT, KEYEVENTF_KEYUP);
    Settle();
}

void Type(const wchar_t* text) {
    TypeText(std::u16string_view(reinterpret_cast<const char16_t*>(text), std::wcslen(text)));
}

bool ShowMainWindow() {
    ui::CloseAllWindows();
    if (!OpenMainWindow()) return false;
    SetForegroundWindow(ui::WindowHandle(MainWindow));
    Settle(300);
    return GetForegroundWindow() == ui::WindowHandle(MainWindow);
}

void LetInputSettle() {
    Settle();
}

void ClickRow(std::int64_t list, int row, bool right) {
    Click(Hwnd(list), RowPoint(list, row), right);
}

void DoubleClickRow(std::int64_t list, int row) {
    const POINT at = RowPoint(list, row);
    PressAt(Hwnd(list), at, false);
    Settle(50);
    PressAt(Hwnd(list), at, false);
    Settle();
}

void WaitOutDoubleClick() {
    Sleep(GetDoubleClickTime() + 50);
}

void WaitOutTypeAhead() {
    Sleep(1200);
}

void ClickControl(std::int64_t control) {
    RECT inner;
    GetClientRect(Hwnd(control), &inner);
    Click(Hwnd(control), POINT{inner.right / 2, inner.bottom / 2});
}

void PressKey(Key key) {
    const bool shift = key == Key::ShiftTab;
    const WORD keys[] = {VK_TAB,  VK_TAB,    VK_DOWN,   VK_UP,    VK_SPACE,
                         VK_BACK, VK_RETURN, VK_RETURN, VK_ESCAPE};
    // The keypad's Enter is the extended Return.
    const DWORD extended = key == Key::KeypadEnter ? KEYEVENTF_EXTENDEDKEY : 0;
    if (shift) SendKey(VK_SHIFT);
    SendKey(keys[static_cast<int>(key)], extended);
    SendKey(keys[static_cast<int>(key)], extended | KEYEVENTF_KEYUP);
    if (shift) SendKey(VK_SHIFT, KEYEVENTF_KEYUP);
    Settle();
}

void TypeText(std::u16string_view text) {
    for (const char16_t unit : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = WORD(unit);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        Send(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        Send(input);
    }
    Settle();
}

// Alt+F4 through the window system: the default handling turns it into the
// Close command of the system menu, then WM_CLOSE.
void AskToClose() {
    SendKey(VK_MENU);
    SendKey(VK_F4);
    SendKey(VK_F4, KEYEVENTF_KEYUP);
    SendKey(VK_MENU, KEYEVENTF_KEYUP);
    Settle();
}

void ClickHeading(std::int64_t list, int column) {
    Settle(20);
    const HWND header = ListView_GetHeader(Hwnd(list));
    RECT rect{};
    SendMessageW(header, HDM_GETITEMRECT, WPARAM(column), reinterpret_cast<LPARAM>(&rect));
    Click(header, POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2});
}

std::int64_t ActiveWindow() {
    Settle(20);
    return ui::WindowNumberOf(GetForegroundWindow());
}

bool ActivateWindow(std::int64_t window) {
    const HWND hwnd = ui::WindowHandle(window);
    if (!hwnd) return false;
    SetForegroundWindow(hwnd);
    Settle(100);
    return GetForegroundWindow() == hwnd;
}

bool WindowVisible(std::int64_t window) {
    const HWND hwnd = ui::WindowHandle(window);
    return hwnd && IsWindowVisible(hwnd);
}

std::int64_t FocusedControl() {
    const HWND focus = GetFocus();
    for (std::int64_t n = 0; n <= kLastContractControl; ++n)
        if (focus && Hwnd(n) == focus) return n;
    return -1;
}

void PutFocusOn(std::int64_t control) {
    SetFocus(Hwnd(control));
    Settle(50);
}

void EnableControl(std::int64_t control, bool enabled) {
    EnableWindow(Hwnd(control), enabled);
}

bool IsChosen(std::int64_t option) {
    return SendMessageW(Hwnd(option), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

bool MainWindowVisible() {
    return IsWindowVisible(ui::WindowHandle(MainWindow));
}

std::int64_t DrawnRowCount(std::int64_t list) {
    Settle(20);
    return SendMessageW(Hwnd(list), LVM_GETITEMCOUNT, 0, 0);
}

// The text the list control draws in a cell, asked of the control itself.
std::u16string DrawnCell(std::int64_t list, int row, int column) {
    Settle(20);
    // Room for the longest text a cell shows.
    std::vector<wchar_t> buffer(8192, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = buffer.data();
    item.cchTextMax = int(buffer.size());
    SendMessageW(Hwnd(list), LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()));
}

} // namespace qk::test
