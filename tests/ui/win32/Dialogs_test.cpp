// The system's open-file dialog and message box, answered through their own
// controls from a second thread while they run modally on this one.
#include "tests/ui/win32/Win32TestSupport.h"
#include "ui/Dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qk::test {
namespace {

namespace fs = std::filesystem;

// The dialog's file name field: the combo box of an explorer-style dialog,
// or the plain edit field.
HWND NameField(HWND dialog) {
    constexpr int kNameCombo = 0x47C; // cmb13
    constexpr int kNameEdit = 0x480;  // edt1
    HWND field = GetDlgItem(dialog, kNameCombo);
    return field ? field : GetDlgItem(dialog, kNameEdit);
}

// Waits for a top-level dialog titled `title` of this process to be shown
// with its controls (an OK button among them) and hands it to `answer`.
std::thread Answer(const wchar_t* title, std::function<void(HWND)> answer) {
    return std::thread([title, answer] {
        HWND window = nullptr;
        if (WaitUntil([&] {
                window = FindWindowW(nullptr, title);
                return window && IsWindowVisible(window) && GetDlgItem(window, IDOK);
            }))
            answer(window);
    });
}

void Press(HWND dialog, int button) {
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

TEST(Win32Dialogs, OpenFileDialogAnsweredAndCancelled) {
    ui::CloseAllWindows();
    // A path longer than the 259 characters of the classic name buffer: the
    // dialog fills a name buffer of any size it is given. Wine's dialog
    // (8.0) copies the typed path into a buffer of its own of 260
    // characters and crashes on a longer one, so under Wine the path stays
    // short.
    const int depth = UnderWine() ? 2 : 6;
    fs::path folder = fs::temp_directory_path();
    for (int i = 0; i < depth; ++i)
        folder /= std::wstring(40, wchar_t(L'a' + i));
    fs::create_directories(folder);
    const fs::path log = folder / L"dubletten.txt";
    std::ofstream(log) << "x\n";
    if (!UnderWine()) {
        ASSERT_GT(log.wstring().size(), 259u);
    }

    const struct {
        const char* what;
        std::wstring typed; // empty: cancelled
        Text expected;
    } cases[] = {
        {"typed name", log.wstring(), Text(log.u16string())},
        {"cancelled", L"", Text()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::thread answer = Answer(L"LOG-Datei", [&](HWND dialog) {
            if (c.typed.empty()) {
                Press(dialog, IDCANCEL);
                return;
            }
            SetWindowTextW(NameField(dialog), c.typed.c_str());
            Press(dialog, IDOK);
        });
        EXPECT_EQ(ChooseFileToOpen(u"LOG-Datei", u"*.txt", u"*.txt", 0), c.expected);
        answer.join();
    }
    fs::remove_all(fs::temp_directory_path() / std::wstring(40, L'a'));
}

// The names in the dialog's file list, asked of the list itself.
std::vector<std::wstring> ListedNames(HWND dialog) {
    HWND list = nullptr;
    EnumChildWindows(
        dialog,
        [](HWND child, LPARAM found) -> BOOL {
            wchar_t name[32] = {};
            GetClassNameW(child, name, 32);
            if (std::wstring(name) != L"SysListView32") return TRUE;
            *reinterpret_cast<HWND*>(found) = child;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&list));
    std::vector<std::wstring> names;
    const int count = list ? int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)) : 0;
    for (int row = 0; row < count; ++row) {
        wchar_t text[MAX_PATH] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = MAX_PATH;
        SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(&item));
        // The list may hide known extensions: the stem names the file.
        names.push_back(std::wstring(text).substr(0, std::wstring(text).find(L'.')));
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The program's pattern "*.txt" has no file pattern: the dialog lists every
// file. A typed wildcard lists the matching files and the dialog stays open;
// a typed name chooses the file.
TEST(Win32Dialogs, EveryFileIsListedAndTypedWildcardsFilterTheList) {
    ui::CloseAllWindows();
    const fs::path folder = fs::temp_directory_path() / L"wildcards";
    fs::create_directories(folder / L"sub");
    for (const wchar_t* name : {L"a.txt", L"scan.log"})
        std::ofstream(folder / name) << "x\n";
    using Names = std::vector<std::wstring>;
    const struct {
        const wchar_t* typed; // null: just look
        Names listed;
    } steps[] = {
        {nullptr, {L"a", L"scan", L"sub"}},
        {L"*.log", {L"scan", L"sub"}},
        {L"*", {L"a", L"scan", L"sub"}},
    };
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "save" : "open");
        // A new name for the save dialog: no question before replacing.
        const fs::path pick = folder / (save ? L"neu.log" : L"scan.log");
        std::vector<Names> seen;
        std::vector<bool> stayedOpen;
        std::thread answer = Answer(L"LOG-Datei", [&](HWND dialog) {
            for (const auto& step : steps) {
                if (step.typed) {
                    SetWindowTextW(NameField(dialog), step.typed);
                    Press(dialog, IDOK);
                }
                // The list is filled on the dialog's own time.
                WaitUntil([&] { return ListedNames(dialog) == step.listed; });
                stayedOpen.push_back(IsWindowVisible(dialog) != FALSE);
                seen.push_back(ListedNames(dialog));
            }
            SetWindowTextW(NameField(dialog), pick.c_str());
            Press(dialog, IDOK);
        });
        const Text defaultFile((folder / L"*.txt").u16string());
        const Text chosen = save ? ChooseFileToSave(u"LOG-Datei", defaultFile, u"*.txt", 0)
                                 : ChooseFileToOpen(u"LOG-Datei", defaultFile, u"*.txt", 0);
        answer.join();
        EXPECT_EQ(chosen, Text(pick.u16string()));
        ASSERT_EQ(seen.size(), std::size(steps));
        for (std::size_t i = 0; i < seen.size(); ++i) {
            EXPECT_TRUE(stayedOpen[i]) << i;
            EXPECT_EQ(seen[i], steps[i].listed) << i;
        }
    }
    fs::remove_all(folder);
}

// The save dialog: the proposed folder and name, the chosen pattern's
// extension for a name without one, the question before an existing file is
// replaced, and cancelling.
TEST(Win32Dialogs, SaveDialogProposesAddsTheExtensionAndAsksBeforeReplacing) {
    ui::CloseAllWindows();
    const fs::path folder = fs::temp_directory_path() / L"export-\u00fc";
    fs::create_directories(folder);
    std::ofstream(folder / L"alt.csv") << "x\n";
    const std::wstring proposed = (folder / L"dubletten.csv").wstring();
    constexpr char16_t kPattern[] = u"CSV (*.csv)|*.csv|JSON Lines (*.jsonl)|*.jsonl";
    const struct {
        const char* what;
        std::int32_t position;
        const wchar_t* typed; // null: the proposal as it stands; empty: cancelled
        fs::path expected;
        std::int32_t pattern;
    } cases[] = {
        {"the proposal", 0, nullptr, folder / L"dubletten.csv", 1},
        {"a name without extension, CSV", 0, L"liste", folder / L"liste.csv", 1},
        {"a name without extension, JSON Lines", 1, L"liste", folder / L"liste.jsonl", 2},
        {"an existing file, replacing confirmed", 0, L"alt.csv", folder / L"alt.csv", 1},
        {"cancelled", 0, L"", fs::path(), 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::thread answer = Answer(L"Export to...", [&](HWND dialog) {
            if (c.typed && !*c.typed) {
                Press(dialog, IDCANCEL);
                return;
            }
            if (c.typed) SetWindowTextW(NameField(dialog), (folder / c.typed).c_str());
            Press(dialog, IDOK);
            // The question before replacing: another window of the same
            // title, answered once its Yes button is there.
            HWND question = nullptr;
            const bool asked = WaitUntil([&] {
                question = GetLastActivePopup(dialog);
                const bool shown = question && question != dialog && IsWindowVisible(question) &&
                                   GetDlgItem(question, IDYES);
                return shown || !IsWindow(dialog);
            });
            if (asked && IsWindow(dialog))
                PostMessageW(question, WM_COMMAND, MAKEWPARAM(IDYES, BN_CLICKED), 0);
            else if (!asked)
                Press(dialog, IDCANCEL); // no answer came: the case fails, the test goes on
        });
        const Text chosen = ChooseFileToSave(
            u"Export to...",
            Text(std::u16string_view(reinterpret_cast<const char16_t*>(proposed.c_str()),
                                     proposed.size())),
            kPattern, c.position);
        answer.join();
        EXPECT_EQ(chosen, Text(c.expected.u16string()));
        EXPECT_EQ(ChosenPattern(), c.pattern);
    }
    fs::remove_all(folder);
}

TEST(Win32Dialogs, MessageBoxShowsItsTextAndReturnsOk) {
    ui::CloseAllWindows();
    std::wstring shown;
    std::thread answer = Answer(L"Information", [&](HWND box) {
        wchar_t text[128] = {};
        GetDlgItemTextW(box, 0xFFFF, text, 128); // the box's static text
        shown = text;
        Press(box, IDOK);
    });
    EXPECT_EQ(ShowMessage(u"Information", u"Konnte Datei nicht öffnen!"), IDOK);
    answer.join();
    EXPECT_EQ(shown, L"Konnte Datei nicht öffnen!");
}

TEST(Win32Dialogs, OtherWindowsAreDisabledWhileADialogRunsAndEnabledAfter) {
    const HWND window = BuildMainWindow();
    ASSERT_NE(window, nullptr);
    const HWND other = reinterpret_cast<HWND>(
        OpenWindow(5, 0, 0, 100, 100, u"other", 0x00C80001 | kWindowNotCurrent));
    const HWND disabled = reinterpret_cast<HWND>(
        OpenWindow(6, 0, 0, 100, 100, u"disabled", 0x00C80001 | kWindowNotCurrent));
    EnableWindow(disabled, FALSE);
    SetForegroundWindow(window);
    Settle();
    bool otherEnabledMeanwhile = true;
    std::thread answer = Answer(L"Information", [&](HWND box) {
        otherEnabledMeanwhile = IsWindowEnabled(other);
        Press(box, IDOK);
    });
    ShowMessage(u"Information", u"text");
    answer.join();
    EXPECT_FALSE(otherEnabledMeanwhile);
    EXPECT_TRUE(IsWindowEnabled(other));
    EXPECT_FALSE(IsWindowEnabled(disabled)); // disabled before, disabled after
}

} // namespace
} // namespace qk::test
