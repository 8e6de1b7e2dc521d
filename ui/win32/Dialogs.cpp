// The open-file and save dialogs and the message box: the system's own.
#include "ui/Dialogs.h"
#include "ui/common/DialogRules.h"
#include "ui/win32/UiInternal.h"

#include <commdlg.h>

#include <algorithm>
#include <cwchar>
#include <string_view>
#include <vector>

namespace qk {

namespace {

// The longest path Windows knows, so that no chosen path is cut short.
constexpr std::size_t kNameCapacity = 32768;
// The structure without its extension members.
constexpr DWORD kOpenFileNameSize = 136;
// Explorer style, the path must exist, the current folder is restored, no
// read-only check box.
constexpr DWORD kOpenFileFlags =
    OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY;
static_assert(kOpenFileFlags == 0x8080C);
// The save dialog also asks before it lets an existing file be chosen.
constexpr DWORD kSaveFileFlags = kOpenFileFlags | OFN_OVERWRITEPROMPT;

// The number of the filter pair the user confirmed, 1-based; 0 before.
std::int32_t chosenPattern = 0;

struct SuspendedWindow {
    DWORD thread;
    HWND window;
    bool topmost;
    bool disabledHere;
};

std::vector<SuspendedWindow> suspended;

// The foreground window when it belongs to this process, otherwise none.
HWND DialogOwner() {
    const HWND foreground = GetForegroundWindow();
    if (!foreground) return nullptr;
    DWORD process = 0;
    GetWindowThreadProcessId(foreground, &process);
    return process == GetCurrentProcessId() ? foreground : nullptr;
}

BOOL CALLBACK SuspendOne(HWND window, LPARAM) {
    const DWORD thread = GetCurrentThreadId();
    if (GetWindowThreadProcessId(window, nullptr) != thread || !IsWindowVisible(window))
        return TRUE;
    SuspendedWindow record{thread, window,
                           (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0, false};
    if (window != GetForegroundWindow() && IsWindowEnabled(window)) {
        EnableWindow(window, FALSE);
        record.disabledHere = true;
    }
    suspended.push_back(record);
    return TRUE;
}

void SuspendOtherWindows() {
    EnumWindows(SuspendOne, 0);
    const DWORD thread = GetCurrentThreadId();
    for (const SuspendedWindow& record : suspended)
        if (record.thread == thread && record.topmost)
            SetWindowPos(record.window, HWND_NOTOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

void RestoreOtherWindows() {
    const DWORD thread = GetCurrentThreadId();
    for (const SuspendedWindow& record : suspended) {
        if (record.thread != thread || !IsWindow(record.window)) continue;
        if (record.disabledHere) EnableWindow(record.window, TRUE);
        if (record.topmost)
            SetWindowPos(record.window, HWND_TOPMOST, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    }
    suspended.erase(
        std::remove_if(suspended.begin(), suspended.end(),
                       [thread](const SuspendedWindow& r) { return r.thread == thread; }),
        suspended.end());
}

} // namespace

namespace {

std::wstring WideOf(std::u16string_view units) {
    return std::wstring(units.begin(), units.end());
}

// Both file dialogs. The save dialog gives a name without an extension the
// chosen pattern's and asks before an existing file is chosen.
Text ChooseFile(bool save, const Text& title, const Text& defaultFile, const Text& pattern,
                std::int32_t position) {
    chosenPattern = 0;
    std::vector<wchar_t> name;
    std::wstring filter, folder, extension;
    try {
        name.assign(kNameCapacity, L'\0');
        filter = WideOf(ui::FilterList(pattern));
        const ui::InitialFile initial = ui::SplitDefaultFile(defaultFile);
        folder = WideOf(initial.folder.view());
        std::copy(initial.name.begin(), initial.name.end(), name.begin());
        extension = WideOf(ui::PatternExtension(pattern, std::size_t(position) + 1).view());
    } catch (...) {
        return {};
    }
    const std::wstring caption = ui::Wide(title);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = kOpenFileNameSize;
    dialog.hwndOwner = DialogOwner();
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = DWORD(position + 1);
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = DWORD(name.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = save ? kSaveFileFlags : kOpenFileFlags;
    // Any default extension makes the dialog add the chosen pattern's.
    if (save && !extension.empty()) dialog.lpstrDefExt = extension.c_str();

    SuspendOtherWindows();
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    RestoreOtherWindows();
    if (!chosen) return {};
    chosenPattern = std::int32_t(dialog.nFilterIndex);
    const Text file = ui::FromWide(name.data(), std::wcslen(name.data()));
    try {
        return save ? ui::WithPatternExtension(file, pattern, dialog.nFilterIndex) : file;
    } catch (...) {
        return {};
    }
}

} // namespace

Text ChooseFileToOpen(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position) {
    return ChooseFile(false, title, defaultFile, pattern, position);
}

Text ChooseFileToSave(const Text& title, const Text& defaultFile, const Text& pattern,
                      std::int32_t position) {
    return ChooseFile(true, title, defaultFile, pattern, position);
}

std::int32_t ChosenPattern() {
    return chosenPattern;
}

int ShowMessage(const Text& title, const Text& text) {
    const HWND owner = DialogOwner();
    SuspendOtherWindows();
    const std::wstring caption = ui::Wide(title);
    const std::wstring message = ui::Wide(text);
    const int pressed = MessageBoxW(owner, message.c_str(), caption.c_str(), MB_OK);
    RestoreOtherWindows();
    return pressed;
}

} // namespace qk
