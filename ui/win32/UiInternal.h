// Shared state of the Win32 window layer: the window table, the control
// registry, the event queue and the rows of the owner-data lists. Nothing
// outside ui/ and its tests includes this header.
#pragma once

#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/common/EventQueue.h"
#include "ui/common/ListRows.h"
#include "ui/common/TypeAhead.h"
#include "ui/common/WindowRules.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qk::ui {

// A NUL-terminated copy for the W functions (wchar_t is UTF-16 here).
inline std::wstring Wide(const Text& text) {
    return std::wstring(text.begin(), text.end());
}
inline Text FromWide(const wchar_t* units, std::size_t length) {
    return Text(std::u16string_view(reinterpret_cast<const char16_t*>(units), length));
}

enum class ControlKind { None, List, OptionButton, PushButton, TextLabel, TextField };

struct ListState {
    ListRows rows;
    ShownRows shown;               // what the list control knows of
    std::int64_t lastSelected = 0; // the last selected row record
    TypeAhead typeAhead;
};

struct ControlRecord {
    HWND hwnd = nullptr;
    ControlKind kind = ControlKind::None;
    std::int64_t window = -1;
    WNDPROC original = nullptr;      // the class's own procedure, behind the layer's hook
    std::unique_ptr<ListState> list; // for ControlKind::List
    bool tabStop = false;            // Tab stops here (the style bit moves among options)
    int placedX = 0;                 // where the control was made, in pixels of the
    int placedWidth = 0;             // display: a label wider than this grows left
};

struct WindowRecord {
    HWND hwnd = nullptr;
    HACCEL shortcuts = nullptr; // Tab and Shift+Tab
    HWND focusMemory = nullptr; // the control that had the focus at the last deactivation
    bool created = false;       // OpenWindow has finished: moves and sizes become events
    bool optionRun = false;     // the control made last was an option button
    SizeState sizeState = SizeState::Normal;
    std::wstring className;
};

// Numbers above this one are refused, so that a stray number cannot make
// the tables huge.
constexpr std::int64_t kMaxNumber = 1 << 20;

// Table look-ups; null when the number is unused or out of range.
ControlRecord* FindControl(std::int64_t control);
WindowRecord* FindWindow(std::int64_t window);
// The number of a window of the layer, -1 for any other.
std::int64_t WindowNumberOf(HWND hwnd);
// The control record of a control window, null for any other window.
ControlRecord* ControlOf(HWND hwnd);
// The window new controls go into, -1 for none (Windows.cpp).
std::int64_t CurrentWindow();

// Controls (Controls.cpp): creating one in the current window under a
// number (replacing the control that had it; 0 when the platform refuses),
// posting a ControlEvent of one, and forgetting them all once the windows
// are gone.
Handle MakeControl(std::int64_t number, ControlKind kind, const wchar_t* className, DWORD style,
                   DWORD extendedStyle, const Text& text, int x, int y, int width, int height);
void PostFromControl(const ControlRecord& record, std::int64_t type);
void ForEachList(void (*visit)(HWND, ListState&));
void ForgetAllControls();
// The 8-point GUI font at the display's resolution, made once.
HFONT GuiFont();
void ReleaseGuiFont();

// Lists (Lists.cpp): their notifications, their keys (true when taken) and
// a click on them.
LRESULT ListNotification(ControlRecord& record, NMHDR& header);
bool ListKey(ControlRecord& record, UINT message, WPARAM key);
void ListClick(ControlRecord& record, std::int64_t type);

// Pixels at 96 DPI to pixels of the display.
int Scale(int pixels);
void SetDisplayDpi(int dpi);

// Applies the active window's shortcuts to a fetched message, or translates
// and dispatches it.
void HandleMessage(MSG& message);
// Test hook: handles one waiting message as WaitForEvent would, without
// blocking; false when none waits.
bool HandleWaitingMessage();
// The shortcut table of the active window, if it is one of the layer's.
HACCEL ShortcutsOf(HWND window);

// Tells every list control the rows appended and the cells changed since the
// last return to the event loop.
void FlushLists();

// Closes every window and forgets every control (Windows.cpp).
void CloseAllWindows();

// The name assistive technology announces for a control (Windows.cpp), and
// the annotation that gives a window's accessible object a name
// (Accessibility.cpp); false when the system keeps no annotations.
void SetAccessibleNameOf(std::int64_t control, const Text& name);
bool AnnotateName(HWND hwnd, const std::wstring& name);

// The layer's hidden window (UiSupport.cpp), for calls that need a window of
// the process when none of the program's is open.
HWND WakeWindow();

// The list state of a list control, for tests.
ListState* ListOf(std::int64_t control);
HWND ControlHandle(std::int64_t control);
HWND WindowHandle(std::int64_t window);

} // namespace qk::ui
