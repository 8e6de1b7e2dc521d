// The event queue and the event loop on top of the thread's message queue.
#include "ui/Events.h"
#include "ui/win32/UiInternal.h"

namespace qk {

namespace ui {

namespace {

// A window-system message whose number is also an event number must not be
// taken for that event.
bool IsEventNumber(std::int64_t number) {
    return number >= ControlEvent && number <= SizeEvent;
}

bool IsModifier(WPARAM key) {
    return key == VK_CONTROL || key == VK_SHIFT || key == VK_MENU || key == VK_LCONTROL ||
           key == VK_RCONTROL || key == VK_LSHIFT || key == VK_RSHIFT || key == VK_LMENU ||
           key == VK_RMENU;
}

// A key pressed while Ctrl, Shift or Alt is held (the modifier's own press
// among them).
bool WithModifierHeld(const MSG& message) {
    if (message.message != WM_KEYDOWN && message.message != WM_SYSKEYDOWN) return false;
    return IsModifier(message.wParam) || GetKeyState(VK_CONTROL) < 0 || GetKeyState(VK_SHIFT) < 0 ||
           GetKeyState(VK_MENU) < 0;
}

// The keyboard is in use: focus rectangles and keyboard underlines are
// shown from now on.
void ShowFocusCues(HWND window) {
    SendMessageW(window, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL),
                 0);
}

} // namespace

void HandleMessage(MSG& message) {
    const HWND active = GetActiveWindow();
    const HACCEL shortcuts = ShortcutsOf(active);
    if (shortcuts && WithModifierHeld(message)) ShowFocusCues(active);
    if (shortcuts && TranslateAcceleratorW(active, shortcuts, &message)) {
        ShowFocusCues(active);
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

bool HandleWaitingMessage() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
    if (message.message != WM_QUIT) HandleMessage(message);
    return true;
}

} // namespace ui

std::int64_t WaitForEvent() {
    ui::MarkCurrentEmpty();
    std::int64_t number = 0;
    if (ui::TakeHead(number)) return number;
    // The lists learn of the rows added since the last call before the user
    // can act on them.
    ui::FlushLists();
    // One message per call; the events its handling posts come with the
    // following calls.
    MSG message;
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return WM_QUIT; // nothing in the program asks to quit; nothing to do
    if (got < 0) return 0;
    ui::HandleMessage(message);
    return ui::IsEventNumber(message.message) ? 0 : std::int64_t(message.message);
}

} // namespace qk
