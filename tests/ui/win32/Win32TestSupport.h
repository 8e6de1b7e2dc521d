// Helpers of the Win32 layer's tests: the viewer's main window; real input and the events it caused
// come from the contract suite's driver.
#pragma once

#include "app/MainWindow.h"
#include "tests/ui/contract/Driver.h"
#include "tests/ui/contract/Win32Input.h"
#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace qk::test {

// Asks `holds` until it is true, for up to `milliseconds`: a wait for a
// condition on another thread or process, never for a fixed time.
template <class Condition> bool WaitUntil(Condition holds, DWORD milliseconds = 10'000) {
    const DWORD start = GetTickCount();
    while (!holds()) {
        if (GetTickCount() - start >= milliseconds) return false;
        Sleep(10);
    }
    return true;
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
