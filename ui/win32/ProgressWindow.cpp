// The progress window: a line of text, a progress bar and a Cancel button in
// a small window of its own, outside the numbered windows.
#include "ui/Progress.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>

namespace qk {
namespace {

constexpr wchar_t kProgressClass[] = L"QuellkampProgress";
// The layout at 96 DPI.
constexpr int kWidth = 360;
constexpr int kHeight = 108;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 84;
constexpr int kButtonHeight = 26;

struct ProgressWindow {
    HWND window = nullptr;
    HWND bar = nullptr;
    bool cancelled = false;
};

ProgressWindow progress;

LRESULT CALLBACK ProgressProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // The Cancel button, Escape and Enter (it is the default button).
        if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) progress.cancelled = true;
        return 0;
    case WM_CLOSE:
        progress.cancelled = true; // the program removes the window
        return 0;
    default:
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

HWND Child(const wchar_t* className, const std::wstring& text, DWORD style, int x, int y, int width,
           int height, HWND parent, int id) {
    const HWND child =
        CreateWindowExW(0, className, text.c_str(), WS_CHILD | WS_VISIBLE | style, ui::Scale(x),
                        ui::Scale(y), ui::Scale(width), ui::Scale(height), parent,
                        reinterpret_cast<HMENU>(static_cast<std::intptr_t>(id)),
                        GetModuleHandleW(nullptr), nullptr);
    if (child) SendMessageW(child, WM_SETFONT, WPARAM(ui::GuiFont()), TRUE);
    return child;
}

// Lets the window answer the user: paints, the button, keys, the close box.
void HandleWaitingMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            PostQuitMessage(int(message.wParam));
            return;
        }
        if (progress.window && IsDialogMessageW(progress.window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

} // namespace

void RepaintWindows() {
    // Only the paints are taken; messages sent by the window system are
    // answered by PeekMessageW itself.
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE | PM_QS_PAINT))
        DispatchMessageW(&message);
}

bool OpenProgressWindow(const Text& title, const Text& text) {
    CloseProgressWindow();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ProgressProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kProgressClass;
    RegisterClassW(&windowClass); // fails harmlessly when it is registered already

    constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
    RECT outer{0, 0, ui::Scale(kWidth), ui::Scale(kHeight)};
    AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
    const int width = outer.right - outer.left;
    const int height = outer.bottom - outer.top;
    const std::wstring caption = ui::Wide(title);
    progress = ProgressWindow();
    progress.window = CreateWindowExW(WS_EX_DLGMODALFRAME, kProgressClass, caption.c_str(), kStyle,
                                      (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                                      (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                                      nullptr, nullptr, instance, nullptr);
    if (!progress.window) return false;
    constexpr int kInner = kWidth - 2 * kMargin;
    Child(WC_STATICW, ui::Wide(text), SS_NOPREFIX | SS_PATHELLIPSIS, kMargin, kMargin, kInner, 18,
          progress.window, 0);
    progress.bar = Child(PROGRESS_CLASSW, L"", 0, kMargin, 36, kInner, 18, progress.window, 0);
    const HWND cancel = Child(WC_BUTTONW, L"Cancel", WS_TABSTOP | BS_DEFPUSHBUTTON,
                              kWidth - kMargin - kButtonWidth, kHeight - kMargin - kButtonHeight,
                              kButtonWidth, kButtonHeight, progress.window, IDCANCEL);
    if (!progress.bar || !cancel) {
        CloseProgressWindow();
        return false;
    }
    SendMessageW(progress.bar, PBM_SETRANGE32, 0, ui::kProgressSteps);
    ShowWindow(progress.window, SW_SHOWNORMAL);
    SetFocus(cancel);
    UpdateWindow(progress.window);
    HandleWaitingMessages();
    return IsWindowVisible(progress.window) != 0;
}

bool UpdateProgressWindow(std::uint64_t done, std::uint64_t total) {
    if (!progress.window) return true;
    SendMessageW(progress.bar, PBM_SETPOS, WPARAM(ui::ProgressStep(done, total)), 0);
    HandleWaitingMessages();
    return !progress.cancelled;
}

void CloseProgressWindow() {
    if (progress.window) DestroyWindow(progress.window);
    progress = ProgressWindow();
}

} // namespace qk
