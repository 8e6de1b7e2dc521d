// What the user can do with a row of either list besides clicking it: copy
// it or its file's path, open its folder; and the window's keyboard
// shortcut to the find field.
#pragma once

#include "text/Text.h"

#include <cstdint>

namespace qk {

// The MenuEvent source of Ctrl+F.
constexpr std::int64_t kFindShortcut = 1;
// The items of a row's context menu, in order.
enum class RowMenuItem : std::int64_t { CopyPath = 0, CopyRow, OpenFolder, Overview };

// Gives the main window its keyboard shortcut Ctrl+F.
void AddMainWindowShortcuts();

// Row `row` of `list` as one line: path, the file's own name (without the
// blank logged after the extension), size without its leading
// blanks, date, time and user, separated by tabs.
Text RowLine(std::int64_t list, std::int64_t row);
// The full path of the file of row `row`: its folder and its name without
// the character logged after the extension.
Text RowFilePath(std::int64_t list, std::int64_t row);

// Ctrl+C in `list`: the selected row goes to the clipboard as RowLine.
void CopySelectedRow(std::int64_t list);
// The context menu of the selected row of `list`: "Copy path", "Copy row",
// "Open folder" (disabled when the folder does not exist here) and
// "Übersicht..." (the overview window).
void ShowRowMenu(std::int64_t list);
// Ctrl+F: the find field gets the focus with its text selected.
void FocusFindField();

} // namespace qk
