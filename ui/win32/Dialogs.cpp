// The open-file and save dialogs and the message box: the system's own.
#include "ui/Dialogs.h"
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

bool IsValidFileName(const Text& name) {
    if (name.empty()) return false;
    for (const char16_t unit : name) {
        if (unit >= 1 && unit <= 31) return false;
        switch (unit) {
        case 0x22:
        case 0x2A:
        case 0x2F:
        case 0x3A:
        case 0x3C:
        case 0x3E:
        case 0x3F:
        case 0x5C:
        case 0x7C:
            return false;
        default:
            break;
        }
    }
    return true;
}

namespace {

// The extension of pattern pair `index` (1-based): "csv" of "CSV|*.csv;*.txt";
// empty for "*.*" or a pair that is not there.
std::wstring PatternExtension(const std::vector<wchar_t>& filter, DWORD index) {
    const wchar_t* at = filter.data();
    for (DWORD pair = 1; *at; ++pair) {
        const wchar_t* display = at;
        const wchar_t* patterns = display + std::wcslen(display) + 1;
        if (!*patterns) break;
        if (pair == index) {
            const std::wstring_view first(patterns, std::wcscspn(patterns, L";"));
            if (first.size() < 3 || first.substr(0, 2) != L"*." ||
                first.find_first_of(L"*?", 2) != std::wstring_view::npos)
                return {};
            return std::wstring(first.substr(2));
        }
        at = patterns + std::wcslen(patterns) + 1;
    }
    return {};
}

// Whether the last name of `path` has an extension.
bool HasExtension(std::wstring_view path) {
    const std::size_t nameStart = path.find_last_of(L"\\/") + 1; // npos + 1 == 0
    const std::size_t dot = path.rfind(L'.');
    return dot != std::wstring_view::npos && dot > nameStart && dot + 1 < path.size();
}

// Both file dialogs. The save dialog also takes "/" as a separator in the
// default file, gives a name without an extension the chosen pattern's, and
// asks before an existing file is chosen.
Text ChooseFile(bool save, const Text& title, const Text& defaultFile, const Text& pattern,
                std::int32_t position) {
    chosenPattern = 0;
    std::vector<wchar_t> name, filter;
    std::wstring folder;
    try {
        name.assign(kNameCapacity, L'\0');
        // Display texts and patterns separated by zeros, ended by two zeros.
        filter.assign(pattern.size() + 3, L'\0');
        std::transform(pattern.begin(), pattern.end(), filter.begin(),
                       [](char16_t unit) { return unit == u'|' ? L'\0' : wchar_t(unit); });
        // The initial folder and name: a default file with a "\" after its
        // first character names both; otherwise it is only a name. A name
        // that is no valid file name (a wildcard, say) is dropped.
        if (!defaultFile.empty()) {
            const std::u16string_view units = defaultFile.view();
            const std::size_t cut = save ? units.find_last_of(u"\\/") : units.rfind(u'\\');
            std::u16string_view initialName = units;
            if (cut != std::u16string_view::npos && cut > 0) {
                folder.assign(units.begin(), units.begin() + std::ptrdiff_t(cut));
                initialName = units.substr(cut + 1);
            }
            initialName = initialName.substr(0, 259);
            if (IsValidFileName(Text(initialName)))
                std::copy(initialName.begin(), initialName.end(), name.begin());
        }
    } catch (...) {
        return {};
    }
    const std::wstring caption = ui::Wide(title);

    OPENFILENAMEW dialog{};
    dialog.lStructSize = kOpenFileNameSize;
    dialog.hwndOwner = DialogOwner();
    dialog.lpstrFilter = filter.data();
    dialog.nFilterIndex = DWORD(position + 1);
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = DWORD(name.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = caption.c_str();
    dialog.Flags = save ? kSaveFileFlags : kOpenFileFlags;
    // Any default extension makes the dialog add the chosen pattern's.
    std::wstring extension;
    try {
        extension = PatternExtension(filter, dialog.nFilterIndex);
    } catch (...) {
        return {};
    }
    if (save && !extension.empty()) dialog.lpstrDefExt = extension.c_str();

    SuspendOtherWindows();
    const BOOL chosen = save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog);
    RestoreOtherWindows();
    if (!chosen) return {};
    chosenPattern = std::int32_t(dialog.nFilterIndex);
    std::wstring file(name.data(), std::wcslen(name.data()));
    try {
        if (save && !HasExtension(file)) {
            const std::wstring added = PatternExtension(filter, dialog.nFilterIndex);
            if (!added.empty()) file += L'.' + added;
        }
    } catch (...) {
        return {};
    }
    return ui::FromWide(file.data(), file.size());
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
