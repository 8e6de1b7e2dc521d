// Helpers of the Win32 layer's tests: the viewer's main window, real input
// through SendInput, and taking the events it caused.
#pragma once

#include "app/MainWindow.h"
#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

namespace qk::test {

struct Event {
    std::int64_t number;
    std::int64_t source;
    std::int64_t type;
    friend bool operator==(const Event&, const Event&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Event& e) {
        return out << "{" << e.number << ", " << e.source << ", " << e.type << "}";
    }
};
using Events = std::vector<Event>;

inline Event Control(std::int64_t source, std::int64_t type) {
    return {ControlEvent, source, type};
}

// Handles the window-system messages as WaitForEvent does until none has
// come for a while: input reaches the program through the X server.
inline void Settle(DWORD quietMilliseconds = 150) {
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

inline Events TakeEvents() {
    Settle();
    Events events;
    std::int64_t number = 0;
    while (ui::TakeWaitingEvent(number))
        events.push_back({number, EventSource(), EventType()});
    return events;
}

inline Events TakeControlEvents() {
    Events controls;
    for (const Event& e : TakeEvents())
        if (e.number == ControlEvent) controls.push_back(e);
    return controls;
}

inline void Send(INPUT input) {
    SendInput(1, &input, sizeof input);
}

// A click of `button` at a point of the inner area of `hwnd`.
inline void Click(HWND hwnd, POINT at, bool right = false) {
    ClientToScreen(hwnd, &at);
    SetCursorPos(at.x, at.y);
    Settle(50);
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN;
    Send(input);
    input.mi.dwFlags = right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP;
    Send(input);
    Settle();
}

inline void KeyPress(WORD key, bool shift = false) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    if (shift) {
        input.ki.wVk = VK_SHIFT;
        Send(input);
    }
    input.ki.wVk = key;
    Send(input);
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    Send(input);
    if (shift) {
        input.ki.wVk = VK_SHIFT;
        Send(input);
    }
    Settle();
}

inline void Type(const wchar_t* text) {
    for (; *text; ++text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = WORD(*text);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        Send(input);
        input.ki.dwFlags = KEYEVENTF_UNICODE | KEYEVENTF_KEYUP;
        Send(input);
    }
    Settle();
}

inline HWND Hwnd(std::int64_t control) {
    return ui::ControlHandle(control);
}

// The middle of a row of a list, in the list's inner area.
inline POINT RowPoint(std::int64_t list, int row) {
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    SendMessageW(Hwnd(list), LVM_GETITEMRECT, WPARAM(row), reinterpret_cast<LPARAM>(&rect));
    return {150, (rect.top + rect.bottom) / 2};
}

inline POINT EmptyPoint(std::int64_t list) {
    RECT inner;
    GetClientRect(Hwnd(list), &inner);
    return {50, inner.bottom - 5};
}

// The control that has the focus, -1 for none.
inline std::int64_t FocusedControl() {
    const HWND focus = GetFocus();
    for (std::int64_t n = 0; n <= CountLabel; ++n)
        if (focus && Hwnd(n) == focus) return n;
    return -1;
}

// A drop as Explorer hands it over: a DROPFILES block with the paths.
inline HGLOBAL DropOf(const std::vector<std::wstring>& paths) {
    std::wstring list;
    for (const std::wstring& path : paths)
        list += path + L'\0';
    list += L'\0';
    const SIZE_T size = sizeof(DROPFILES) + list.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, size);
    auto* block = static_cast<DROPFILES*>(GlobalLock(memory));
    block->pFiles = sizeof(DROPFILES);
    block->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(block) + sizeof(DROPFILES), list.data(),
                list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return memory;
}

// The viewer's main window with its thirteen controls, as the program
// builds it, in the foreground; the windows of earlier tests are gone.
inline HWND BuildMainWindow() {
    ui::CloseAllWindows();
    if (!OpenMainWindow()) return nullptr;
    const HWND window = ui::WindowHandle(MainWindow);
    SetForegroundWindow(window);
    Settle(300);
    return window;
}

} // namespace qk::test
