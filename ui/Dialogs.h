// The open-file dialog and the message box. Both are modal: while one is up,
// the program's other windows cannot be used.
#pragma once

#include "text/Text.h"

#include <cstdint>

namespace qk {

// `pattern` holds display texts and file patterns in turn, separated by "|";
// `position` is the 0-based pair preselected. Returns the full path of the
// chosen file, or the empty text when the dialog was cancelled or failed.
Text ChooseFileToOpen(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position);
// The save dialog: the same arguments and result as ChooseFileToOpen. The
// folder need exist, the file need not; the dialog asks before it lets the
// user choose a file that exists. A chosen name without an extension gets
// the one of the chosen pattern.
Text ChooseFileToSave(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position);
// The 1-based number of the pattern pair confirmed in the last file dialog;
// 0 when it was cancelled.
std::int32_t ChosenPattern();
// Shows `text` under `title` with one OK button; returns 1.
int ShowMessage(const Text& title, const Text& text);
// True when the text is not empty and holds no control character and none
// of " * / : < > ? \ |.
bool IsValidFileName(const Text& name);

} // namespace qk
