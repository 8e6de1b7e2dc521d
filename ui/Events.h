// Events: what the user does to the window reaches the program as numbered
// events with a source and a type, handed out one at a time.
#pragma once

#include <cstdint>

namespace qk {

constexpr std::int64_t ControlEvent = 13100;
constexpr std::int64_t MenuEvent = 13101;
constexpr std::int64_t TrayEvent = 13102;
constexpr std::int64_t ActivateEvent = 13104;
constexpr std::int64_t MinimizeEvent = 13107;
constexpr std::int64_t MaximizeEvent = 13108;
constexpr std::int64_t RestoreEvent = 13109;
constexpr std::int64_t TimerEvent = 13110;
constexpr std::int64_t RightClickEvent = 13111;
constexpr std::int64_t LeftClickEvent = 13112;
constexpr std::int64_t LeftDoubleClickEvent = 13113;
constexpr std::int64_t DeactivateEvent = 13114;
constexpr std::int64_t RepaintEvent = 13115;
// The close box (or Escape in a window opened with kWindowEscapeCloses)
// asks to close the window: the window is the event's source. Only a
// request: the window stays until the program closes it.
constexpr std::int64_t CloseWindowEvent = 13116;
constexpr std::int64_t MoveEvent = 13117;
constexpr std::int64_t SizeEvent = 13118;
// Files were dropped on the window (from the file manager); DroppedFile()
// gives the first of them.
constexpr std::int64_t DropEvent = 13119;

// ControlEvent types.
constexpr std::int64_t kLeftClick = 0; // lists: a row is selected after the click;
                                       // buttons: a click
constexpr std::int64_t kRightClick = 1;
constexpr std::int64_t kLeftDoubleClick = 2;
constexpr std::int64_t kRightDoubleClick = 3;
constexpr std::int64_t kFocusGained = 256;
constexpr std::int64_t kFocusLost = 512;
constexpr std::int64_t kSelectionOrTextChanged = 768;
constexpr std::int64_t kTextUpdating = 1024;
constexpr std::int64_t kFieldFocusGained = 14000;
constexpr std::int64_t kFieldFocusLost = 14001;
constexpr std::int64_t kBeginDrag = 14002;
// Lists: the context menu is asked for (after a right click's type 1, or by
// the menu key), Ctrl+C, and Enter on the list.
constexpr std::int64_t kContextMenuRequested = 14003;
constexpr std::int64_t kCopyRequested = 14004;
constexpr std::int64_t kRowActivated = 14005;
// Lists: a click on the heading of column c has the type kHeadingClicked + c
// (HeadingColumnOf gives c back). What it means is the program's business:
// the list itself reorders nothing.
constexpr std::int64_t kHeadingClicked = 15000;
constexpr std::int64_t kMostHeadingColumns = 1000;
constexpr std::int64_t HeadingColumnOf(std::int64_t type) {
    return type >= kHeadingClicked && type < kHeadingClicked + kMostHeadingColumns
               ? type - kHeadingClicked
               : -1;
}

// Blocks until something happened; returns an event number, or a number
// outside the table for window-system activity that made no event.
std::int64_t WaitForEvent();
// Source and type of the event WaitForEvent last took; the type is -1 after
// a call that took none.
std::int64_t EventSource();
std::int64_t EventType();

} // namespace qk
