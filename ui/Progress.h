// A small window that shows how far a long task has come: a line of text
// over a progress bar, and a Cancel button. It is not one of the numbered
// windows and posts no events; the task asks it whether to go on.
#pragma once

#include "text/Text.h"

#include <cstdint>

namespace qk {

// Opens the window with `title` and `text`. False when it cannot be shown.
bool OpenProgressWindow(const Text& title, const Text& text);
// Moves the bar to `done` of `total` and lets the window answer the user.
// False once the user cancelled: the Cancel button, Escape or the close box.
bool UpdateProgressWindow(std::uint64_t done, std::uint64_t total);
// Lets the windows repaint and answer the window system while a task runs
// before its progress window is shown; the user's input waits for the task.
void RepaintWindows();
// Removes the window, if one is open.
void CloseProgressWindow();

} // namespace qk
