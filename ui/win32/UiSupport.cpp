// Start and end of the window layer on Win32.
#include "ui/UiSupport.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>
#include <objbase.h>

namespace qk {

namespace {

// Another thread hands an event to the window's thread by posting this
// message to the wake window, with a heap-allocated event record.
constexpr wchar_t kWakeClass[] = L"PostEventClass";
constexpr wchar_t kWakeMessageName[] = L"QuellkampPostEvent";

struct HandedEvent {
    std::int64_t number, source, window, type;
};

HWND wakeWindow = nullptr;
UINT wakeMessage = 0;

LRESULT CALLBACK WakeProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == wakeMessage && wakeMessage != 0 && lParam) {
        const auto* event = reinterpret_cast<HandedEvent*>(lParam);
        ui::PostEventUnsuppressed(event->number, event->source, event->window, event->type);
        delete event;
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

} // namespace

bool StartUserInterface(int& /*argc*/, char** /*argv*/) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    // Event support: the wake window and its message.
    if (!wakeWindow) {
        WNDCLASSW wake{};
        wake.style = CS_DBLCLKS;
        wake.lpfnWndProc = WakeProcedure;
        wake.hInstance = instance;
        wake.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wake.lpszClassName = kWakeClass;
        RegisterClassW(&wake);
        wakeMessage = RegisterWindowMessageW(kWakeMessageName);
        wakeWindow = CreateWindowExW(0, kWakeClass, L"", WS_CAPTION, 0, 0, 1, 1, nullptr, nullptr,
                                     instance, nullptr);
    }
    // Pixel sizes are given at 96 DPI and scale with the display.
    if (HDC screen = GetDC(nullptr)) {
        ui::SetDisplayDpi(GetDeviceCaps(screen, LOGPIXELSY));
        ReleaseDC(nullptr, screen);
    }
    // Control support, then dialog support: the common controls (the list
    // among them) and COM on this thread, which the open-file dialog needs.
    INITCOMMONCONTROLSEX controls{sizeof controls, 0xB48 | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    const HRESULT com = CoInitialize(nullptr);
    (void)com; // the dialog works without COM too; nothing stops here
    return true;
}

HWND ui::WakeWindow() {
    return wakeWindow;
}

void EndUserInterface() {
    ui::CloseAllWindows();
    ui::ReleaseGuiFont();
    if (wakeWindow) {
        DestroyWindow(wakeWindow);
        wakeWindow = nullptr;
        UnregisterClassW(kWakeClass, GetModuleHandleW(nullptr));
    }
}

} // namespace qk
