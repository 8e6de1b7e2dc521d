// Shared state of the Qt window layer: the window table, the control
// registry, the event queue and the list model. Nothing outside ui/ and its
// tests includes this header.
#pragma once

#include "text/Text.h"
#include "ui/common/EventQueue.h"

#include <QString>

#include <cstdint>

class QButtonGroup;
class QFont;
class QWidget;

namespace qk::ui {

class ListView;

inline QString ToQString(const Text& text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), qsizetype(text.size()));
}
inline Text FromQString(const QString& text) {
    return Text(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                    std::size_t(text.size())));
}

enum class ControlKind { None, List, OptionButton, PushButton, TextLabel, TextField };

struct ControlRecord {
    QWidget* widget = nullptr;
    ControlKind kind = ControlKind::None;
    std::int64_t window = -1;
    ListView* list = nullptr; // for ControlKind::List
    int placedX = 0;          // where the control was created: a text label
    int placedWidth = 0;      // wider than this grows to the left
};

struct WindowRecord {
    QWidget* widget = nullptr;
    bool created = false;          // OpenWindow has finished: moves and sizes become events
    bool optionRun = false;        // the control made last was an option button
    QButtonGroup* group = nullptr; // the group of the current option run
    bool closing = false;          // the program itself removes the window
    bool escapeCloses = false;     // Escape asks to close the window
};

// Numbers above this one are refused, so that a stray number cannot make
// the tables huge.
constexpr std::int64_t kMaxNumber = 1 << 20;

// Marks the controls that Tab stops at. Qt's own focus policy cannot tell:
// it takes the tab focus from the unchosen buttons of an option group.
constexpr const char* kTabStop = "quellkampTabStop";

// The font every window and control gets; LoadDefaultGuiFont finds it once
// the application exists.
void LoadDefaultGuiFont();
QFont DefaultGuiFont();

// The window new controls go into, -1 for none (Windows.cpp).
std::int64_t CurrentWindow();

// Table look-ups; null when the number is unused or out of range.
ControlRecord* FindControl(std::int64_t control);
WindowRecord* FindWindow(std::int64_t window);
// The window number of a top-level widget of the layer, -1 for any other.
std::int64_t WindowNumberOf(const QWidget* widget);

// The event filters of the layer: installed at start, removed before the
// application object goes.
void InstallEventSupport();
void EndEventSupport();
void InstallKeyboardFilter(); // Windows.cpp
void RemoveKeyboardFilter();
// Whether input of the window system waits for the next WaitForEvent.
bool HeldInputWaiting();
// The keys and requests of lists beyond the mouse: Ctrl+C, Enter, the menu
// key and the context menu after a right click (Desktop.cpp).
void InstallListKeys();

// Announces the rows and cells changed since the last return to the event
// loop to the views of every list.
void FlushLists();

// Closes every window and forgets every control (Windows.cpp).
void CloseAllWindows();
// Lets files be dropped on `widget`, the window `window` (FileDrop.cpp).
void AcceptFileDrops(QWidget* widget, std::int64_t window);
// Empties the ControlRegistry once the windows are gone (Controls.cpp).
void ForgetAllControls();

// The list view of a list control, for tests and the benchmark.
ListView* ListOf(std::int64_t control);
// Bytes the row storage of a list holds (without the texts themselves).
std::size_t ListStorageBytes(std::int64_t control);

} // namespace qk::ui
