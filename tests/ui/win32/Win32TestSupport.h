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

#include <cstdint>

namespace qk::test {

inline HWND Hwnd(std::int64_t control) {
    return ui::ControlHandle(control);
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
