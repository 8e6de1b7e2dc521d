// The input driver of the contract suite: the viewer's main window on either
// window layer, real input into it (QTest on Qt, SendInput on Win32) and what
// the tests read back. The suite's tests use nothing else, so each runs
// unchanged on both layers.
#pragma once

#include "app/MainWindow.h"
#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Events.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
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

// The highest control number the suite's windows use.
constexpr std::int64_t kLastContractControl = 40;

enum class Key { Tab, ShiftTab, Down, Up, Space, Backspace, Return, KeypadEnter, Escape };

// The viewer's main window with its thirteen controls, as the program
// builds it, active and with no control focused; earlier windows are gone.
bool ShowMainWindow();

// Lets the window system deliver what the input so far caused.
void LetInputSettle();
// Every event the input so far caused, once the window system has settled.
Events TakeEvents();
// Only the control events of TakeEvents, or also those with `number`.
Events TakeControlEvents(std::int64_t alsoNumber = 0);

// A click on a row of a list; row -1 is the empty part below the rows.
void ClickRow(std::int64_t list, int row, bool right = false);
// Two clicks on a row within the double-click time.
void DoubleClickRow(std::int64_t list, int row);
// The next click is a click of its own, not the second of a double click.
void WaitOutDoubleClick();
// The next typed key starts a new search in a list.
void WaitOutTypeAhead();
// A click in the middle of a control (past the end of a field's text).
void ClickControl(std::int64_t control);
void PressKey(Key key);
// Types `text` into the focused control, one key press a character.
void TypeText(std::u16string_view text);
// The active window's close box, or its keyboard equivalent.
void AskToClose();

// A click on the heading of column `column` of a list.
void ClickHeading(std::int64_t list, int column);
// The number of the active window, -1 when none of the program's is.
std::int64_t ActiveWindow();
// Activates window `window` as the window system would for a click on it;
// false when it did not become active.
bool ActivateWindow(std::int64_t window);
// Whether window `window` is open and visible.
bool WindowVisible(std::int64_t window);

// The control that has the focus, -1 for none.
std::int64_t FocusedControl();
// Gives `control` the keyboard focus directly, as the window system would.
void PutFocusOn(std::int64_t control);
void EnableControl(std::int64_t control, bool enabled);
bool IsChosen(std::int64_t option);
bool MainWindowVisible();

// What the platform's list itself holds and draws, asked of the control.
std::int64_t DrawnRowCount(std::int64_t list);
std::u16string DrawnCell(std::int64_t list, int row, int column);

} // namespace qk::test
