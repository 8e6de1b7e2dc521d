// Context menus, the clipboard, Explorer, keyboard shortcuts, focus and
// accessible names on Win32.
#include "ui/Desktop.h"
#include "text/FileLayer.h"
#include "ui/win32/UiInternal.h"

#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cwchar>
#include <string_view>

namespace qk {
namespace {

// Tries to open the clipboard a few times: another program may hold it for
// a moment.
constexpr int kClipboardAttempts = 10;
constexpr DWORD kClipboardWaitMilliseconds = 10;

// The window a clipboard or menu call works through: the active window of
// the layer, else any of the process's top windows.
HWND OwnerWindow(HWND fallback) {
    const HWND active = GetActiveWindow();
    return active ? active : fallback;
}

// The virtual key of a key name: a letter, a digit or F1 to F24.
UINT KeyOf(std::u16string_view name) {
    if (name.size() == 1) {
        char16_t unit = name[0];
        if (unit >= u'a' && unit <= u'z') unit = char16_t(unit - u'a' + u'A');
        if ((unit >= u'A' && unit <= u'Z') || (unit >= u'0' && unit <= u'9')) return unit;
        return 0;
    }
    if (name.size() >= 2 && name.size() <= 3 && (name[0] == u'F' || name[0] == u'f')) {
        UINT number = 0;
        for (const char16_t unit : name.substr(1)) {
            if (unit < u'0' || unit > u'9') return 0;
            number = number * 10 + UINT(unit - u'0');
        }
        if (number >= 1 && number <= 24) return VK_F1 + number - 1;
    }
    return 0;
}

// "Ctrl+Shift+F" as an accelerator entry; false for a text it cannot read.
bool ReadKeys(std::u16string_view keys, ACCEL& entry) {
    entry = ACCEL{FVIRTKEY, 0, 0};
    for (;;) {
        const std::size_t plus = keys.find(u'+');
        const std::u16string_view part = keys.substr(0, plus);
        if (plus == std::u16string_view::npos) {
            entry.key = WORD(KeyOf(part));
            return entry.key != 0;
        }
        if (part == u"Ctrl")
            entry.fVirt |= FCONTROL;
        else if (part == u"Shift")
            entry.fVirt |= FSHIFT;
        else if (part == u"Alt")
            entry.fVirt |= FALT;
        else
            return false;
        keys.remove_prefix(plus + 1);
    }
}

// The point a context menu opens at: the mouse pointer when it is over the
// list, otherwise under the selected row (or the list's corner).
POINT MenuPoint(HWND list) {
    POINT at{};
    GetCursorPos(&at);
    RECT area{};
    GetClientRect(list, &area);
    POINT inside = at;
    ScreenToClient(list, &inside);
    if (PtInRect(&area, inside)) return at;
    POINT corner{area.left, area.top};
    const LRESULT row = SendMessageW(list, LVM_GETNEXTITEM, WPARAM(-1), LVNI_SELECTED);
    RECT rowArea{};
    rowArea.left = LVIR_BOUNDS;
    if (row >= 0 && SendMessageW(list, LVM_GETITEMRECT, WPARAM(row), LPARAM(&rowArea)))
        corner = POINT{rowArea.left, rowArea.bottom};
    ClientToScreen(list, &corner);
    return corner;
}

} // namespace

std::int64_t ShowPopupMenu(std::int64_t control, const std::vector<MenuItem>& items) {
    const HWND list = ui::ControlHandle(control);
    if (!list || items.empty()) return -1;
    const HMENU menu = CreatePopupMenu();
    if (!menu) return -1;
    UINT id = 1;
    for (const MenuItem& item : items) {
        const std::wstring text = ui::Wide(item.text);
        AppendMenuW(menu, MF_STRING | (item.enabled ? 0 : MF_GRAYED), id++, text.c_str());
    }
    const POINT at = MenuPoint(list);
    const HWND owner = GetAncestor(list, GA_ROOT);
    // The menu's own commands come back as the result, not as WM_COMMAND.
    const BOOL chosen = TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x,
                                       at.y, 0, owner, nullptr);
    DestroyMenu(menu);
    return chosen > 0 ? std::int64_t(chosen) - 1 : -1;
}

bool CopyToClipboard(const Text& text) {
    const HWND owner = OwnerWindow(ui::WakeWindow());
    bool open = false;
    for (int attempt = 0; attempt < kClipboardAttempts && !open; ++attempt) {
        open = OpenClipboard(owner) != 0;
        if (!open) Sleep(kClipboardWaitMilliseconds);
    }
    if (!open) return false;
    bool done = false;
    const HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    if (memory) {
        if (auto* units = static_cast<wchar_t*>(GlobalLock(memory))) {
            if (!text.empty()) std::wmemcpy(units, ui::Wide(text).c_str(), text.size());
            units[text.size()] = L'\0';
            GlobalUnlock(memory);
            done = EmptyClipboard() && SetClipboardData(CF_UNICODETEXT, memory);
        }
        if (!done) GlobalFree(memory); // the clipboard owns it once it is set
    }
    CloseClipboard();
    return done;
}

// Explorer opens the folder with the file selected; a file that is not
// there (or a shell that cannot select) leaves the folder opened plainly.
// Only now, the user having chosen it, may a network folder's server be
// reached.
bool ShowInFileManager(const Text& folder, const Text& file) {
    if (FolderToOpen(folder).empty()) return false;
    const std::wstring folderName = ui::Wide(folder);
    const DWORD attributes = GetFileAttributesW(folderName.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    if (!file.empty()) {
        std::wstring path = folderName;
        if (path.back() != L'\\' && path.back() != L'/') path += L'\\';
        path += ui::Wide(file);
        PIDLIST_ABSOLUTE item = nullptr;
        if (SUCCEEDED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr)) && item) {
            const HRESULT shown = SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
            CoTaskMemFree(item);
            if (SUCCEEDED(shown)) return true;
        }
    }
    // Opened as a folder: the folder class, else the verb only folders have,
    // else plainly (it was a folder a moment ago).
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_CLASSNAME | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpClass = L"Folder";
    info.lpVerb = L"open";
    info.lpFile = folderName.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (ShellExecuteExW(&info)) return true;
    for (const wchar_t* verb : {L"explore", L"open"}) {
        const auto result = reinterpret_cast<INT_PTR>(
            ShellExecuteW(nullptr, verb, folderName.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
        if (result > 32) return true;
    }
    return false;
}

void AddKeyShortcut(std::int64_t window, std::int64_t item, const Text& keys) {
    ui::WindowRecord* record = ui::FindWindow(window);
    ACCEL entry;
    if (!record || item < 0 || item > 0xFFFF || !ReadKeys(keys.view(), entry)) return;
    entry.cmd = WORD(item);
    std::vector<ACCEL> table;
    if (record->shortcuts) {
        table.resize(std::size_t(CopyAcceleratorTableW(record->shortcuts, nullptr, 0)));
        CopyAcceleratorTableW(record->shortcuts, table.data(), int(table.size()));
    }
    table.push_back(entry);
    const HACCEL made = CreateAcceleratorTableW(table.data(), int(table.size()));
    if (!made) return;
    if (record->shortcuts) DestroyAcceleratorTable(record->shortcuts);
    record->shortcuts = made;
}

void FocusControl(std::int64_t control) {
    const ui::ControlRecord* record = ui::FindControl(control);
    if (!record) return;
    SetFocus(record->hwnd);
    if (record->kind == ui::ControlKind::TextField) SendMessageW(record->hwnd, EM_SETSEL, 0, -1);
}

void SetAccessibleName(std::int64_t control, const Text& name) {
    ui::SetAccessibleNameOf(control, name);
}

} // namespace qk
