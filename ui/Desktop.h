// What a row of a list offers beyond the list itself: its context menu, the
// clipboard, the system's file manager; and the window's keyboard
// shortcuts and focus.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <vector>

namespace qk {

struct MenuItem {
    Text text;
    bool enabled = true;
};

// Shows a context menu for list `control` (at the mouse pointer when it is
// over the list, otherwise at the selected row) and waits until it closes.
// The 0-based number of the chosen item, or -1 when none was chosen.
std::int64_t ShowPopupMenu(std::int64_t control, const std::vector<MenuItem>& items);

// Puts `text` on the clipboard. False when the system has no clipboard.
bool CopyToClipboard(const Text& text);

// Opens `folder` in the system's file manager with `file` (a name in the
// folder, may be empty) selected where the file manager can do that. False
// when no file manager could be asked.
bool ShowInFileManager(const Text& folder, const Text& file);

// The key combination `keys` ("Ctrl+F") in window `window` posts MenuEvent
// with `item` as its source, whichever control has the focus.
void AddKeyShortcut(std::int64_t window, std::int64_t item, const Text& keys);

// The full path of the first file of the last drop on a window (DropEvent);
// the empty text before any.
Text DroppedFile();

// Gives `control` the keyboard focus; a text field's text is selected.
void FocusControl(std::int64_t control);

// The name under which assistive technology (a screen reader) announces
// `control`. Buttons and labels are announced by their text without it.
void SetAccessibleName(std::int64_t control, const Text& name);

} // namespace qk
