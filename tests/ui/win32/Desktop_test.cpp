// What a row offers beyond the list, on the real controls: the keys a list
// reports, a window's key shortcut, the context menu, the clipboard, the
// progress window and the names assistive technology reads.
#include "tests/ui/win32/Win32TestSupport.h"
#include "ui/Desktop.h"
#include "ui/Progress.h"

#include <gtest/gtest.h>

#include <oleacc.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

#include <filesystem>
#include <fstream>
#include <thread>

namespace qk::test {
namespace {

constexpr std::int64_t kShortcutItem = 7;

class Win32Desktop : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = BuildMainWindow();
        ASSERT_NE(window_, nullptr);
        for (int i = 0; i < 3; ++i)
            AddRow(RecordListView, -1, u"c:\\logs\\\nname.par\n1\n2024.01.02\n10:00\nuser");
        TakeEvents();
    }
    HWND window_ = nullptr;
};

// Presses `key` with the modifiers held.
void Chord(WORD key, bool ctrl, bool shift) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    if (ctrl) {
        input.ki.wVk = VK_CONTROL;
        Send(input);
    }
    KeyPress(key, shift);
    if (ctrl) {
        input.ki.wVk = VK_CONTROL;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        Send(input);
    }
    Settle();
}

TEST_F(Win32Desktop, KeysOfTheListsAndTheWindowsShortcut) {
    AddKeyShortcut(MainWindow, kShortcutItem, u"Ctrl+F");
    AddKeyShortcut(MainWindow, kShortcutItem + 1, u"Ctrl+O");
    AddKeyShortcut(MainWindow, kShortcutItem + 2, u"F5");
    const struct {
        const char* what;
        std::int64_t focus;
        WORD key;
        bool ctrl, shift;
        Events expected;
    } cases[] = {
        {"Enter in the upper list",
         RecordListView,
         VK_RETURN,
         false,
         false,
         {Control(RecordListView, 14005)}},
        {"Ctrl+C in the lower list",
         MatchListView,
         'C',
         true,
         false,
         {Control(MatchListView, 14004)}},
        {"the menu key", RecordListView, VK_APPS, false, false, {Control(RecordListView, 14003)}},
        {"Shift+F10", RecordListView, VK_F10, false, true, {Control(RecordListView, 14003)}},
        {"C alone is no copy", RecordListView, 'C', false, false, {}},
        {"Ctrl+F in a list", RecordListView, 'F', true, false, {{MenuEvent, kShortcutItem, 0}}},
        {"Ctrl+F in the field", FindField, 'F', true, false, {{MenuEvent, kShortcutItem, 0}}},
        {"Ctrl+O in a list", MatchListView, 'O', true, false, {{MenuEvent, kShortcutItem + 1, 0}}},
        {"F5 in the field", FindField, VK_F5, false, false, {{MenuEvent, kShortcutItem + 2, 0}}},
        {"O alone opens nothing", RecordListView, 'O', false, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SetFocus(Hwnd(c.focus));
        TakeEvents();
        Chord(c.key, c.ctrl, c.shift);
        Events got;
        for (const Event& e : TakeEvents())
            if (e.number == MenuEvent ||
                (e.number == ControlEvent && e.type >= kContextMenuRequested))
                got.push_back(e);
        EXPECT_EQ(got, c.expected);
    }
}

TEST_F(Win32Desktop, DroppedFilesGiveTheFirst) {
    const struct {
        const char* what;
        std::vector<std::wstring> paths;
        std::size_t events;
        std::u16string file;
    } cases[] = {
        {"one file", {L"C:\\logs\\a.txt"}, 1, u"C:\\logs\\a.txt"},
        {"several: the first", {L"C:\\logs\\b.txt", L"C:\\logs\\c.txt"}, 1, u"C:\\logs\\b.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TakeEvents();
        SendMessageW(window_, WM_DROPFILES, reinterpret_cast<WPARAM>(DropOf(c.paths)), 0);
        std::size_t drops = 0;
        for (const Event& e : TakeEvents())
            if (e.number == DropEvent) ++drops;
        EXPECT_EQ(drops, c.events);
        EXPECT_EQ(DroppedFile().view(), c.file);
    }
}

TEST_F(Win32Desktop, FocusControlSelectsTheFieldsText) {
    SetControlText(FindField, u"Flansch");
    SetFocus(Hwnd(RecordListView));
    FocusControl(FindField);
    EXPECT_EQ(FocusedControl(), FindField);
    DWORD start = 1, end = 0;
    SendMessageW(Hwnd(FindField), EM_GETSEL, WPARAM(&start), LPARAM(&end));
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(end, 7u);
}

TEST_F(Win32Desktop, ClipboardTakesTheText) {
    for (const Text& text : {Text(u"K:\\Prüf\\a.par\tname\t1"), Text()}) {
        ASSERT_TRUE(CopyToClipboard(text));
        ASSERT_TRUE(OpenClipboard(nullptr));
        const HANDLE data = GetClipboardData(CF_UNICODETEXT);
        const auto* units = data ? static_cast<const wchar_t*>(GlobalLock(data)) : nullptr;
        const Text got = units ? ui::FromWide(units, std::wcslen(units)) : Text(u"(none)");
        if (units) GlobalUnlock(data);
        CloseClipboard();
        EXPECT_EQ(got, text);
    }
}

// Explorer's window comes up on the folder, with or without a file to select
// (a file that is not there leaves the folder opened plainly).
TEST(Win32FileManager, OpensTheFolder) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / L"qk-ordner-\u00fc";
    fs::create_directories(folder);
    std::ofstream(folder / L"teil.par") << "x";
    const Text folderText(folder.u16string());
    for (const Text& file : {Text(u"teil.par"), Text(), Text(u"fehlt.par")}) {
        SCOPED_TRACE(file.ToUtf8());
        EXPECT_TRUE(ShowInFileManager(folderText, file));
    }
    // A window of another process shows the folder's name.
    EXPECT_TRUE(WaitUntil([&] {
        return FindWindowW(nullptr, L"qk-ordner-\u00fc") || FindWindowW(nullptr, folder.c_str());
    }));
    fs::remove_all(folder);
    // Nothing but an absolute folder reaches the shell; a network folder
    // whose server is not there fails when chosen.
    for (const Text& hostile : {Text(u"Werk\\"), Text(u"-rf\\"), Text(u"http://127.0.0.1:8765/"),
                                Text(u"file:///C:/windows/"), Text(u"C:\\windows\\notepad.exe\\"),
                                Text(folderText), Text(u"\\\\qk-no-such-server\\share\\")}) {
        SCOPED_TRACE(hostile.ToUtf8());
        EXPECT_FALSE(ShowInFileManager(hostile, u""));
    }
}

// The menu's keys are typed while it runs: a disabled item cannot be chosen.
TEST_F(Win32Desktop, PopupMenuReturnsTheChosenItem) {
    const std::vector<MenuItem> items = {
        {u"Copy path", true}, {u"Copy row", false}, {u"Open folder", true}};
    const struct {
        const char* what;
        std::vector<WORD> keys;
        std::int64_t expected;
    } cases[] = {
        {"first item", {VK_DOWN, VK_RETURN}, 0},
        {"the disabled one chooses nothing", {VK_DOWN, VK_DOWN, VK_RETURN}, -1},
        {"the third", {VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN}, 2},
        {"escape", {VK_ESCAPE}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // The keys once the menu shows; they reach it in their order.
        std::thread typist([&] {
            WaitUntil([] {
                const HWND menu = FindWindowW(L"#32768", nullptr);
                return menu && IsWindowVisible(menu);
            });
            for (const WORD key : c.keys) {
                INPUT input{};
                input.type = INPUT_KEYBOARD;
                input.ki.wVk = key;
                Send(input);
                input.ki.dwFlags = KEYEVENTF_KEYUP;
                Send(input);
            }
        });
        EXPECT_EQ(ShowPopupMenu(RecordListView, items), c.expected);
        typist.join();
    }
}

TEST(Win32Progress, ShowsTheNameAndABarAndAnswersCancel) {
    ui::CloseAllWindows();
    ASSERT_TRUE(OpenProgressWindow(u"Quellkamp", u"dubletten.txt"));
    const HWND window = FindWindowW(L"QuellkampProgress", L"Quellkamp");
    ASSERT_NE(window, nullptr);
    const HWND bar = FindWindowExW(window, nullptr, PROGRESS_CLASSW, nullptr);
    ASSERT_NE(bar, nullptr);
    EXPECT_NE(FindWindowExW(window, nullptr, WC_STATICW, L"dubletten.txt"), nullptr);
    const HWND cancel = FindWindowExW(window, nullptr, WC_BUTTONW, L"Cancel");
    ASSERT_NE(cancel, nullptr);

    EXPECT_TRUE(UpdateProgressWindow(250, 1000));
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 250);
    EXPECT_TRUE(UpdateProgressWindow(5, 0)); // an empty file counts as done
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 1000);
    PostMessageW(cancel, BM_CLICK, 0, 0);
    EXPECT_FALSE(UpdateProgressWindow(300, 1000));
    CloseProgressWindow();
    EXPECT_EQ(FindWindowW(L"QuellkampProgress", nullptr), nullptr);
    EXPECT_TRUE(UpdateProgressWindow(1, 2)); // no window: nothing to cancel
}

// What the system's accessibility interface (MSAA) reads for each control.
TEST_F(Win32Desktop, AccessibleNamesAsMsaaReadsThem) {
    SetAccessibleName(RecordListView, u"Sätze");
    SetAccessibleName(MatchListView, u"Kopien");
    SetAccessibleName(FindField, u"Find");
    const struct {
        std::int64_t control;
        const wchar_t* name;
    } cases[] = {
        {RecordListView, L"Sätze"}, {MatchListView, L"Kopien"}, {ExportButton, L"Export to..."},
        {FindField, L"Find"},       {FirstSortOption, L"Pfad"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.control);
        IAccessible* object = nullptr;
        ASSERT_EQ(AccessibleObjectFromWindow(Hwnd(c.control), DWORD(OBJID_CLIENT),
                                             __uuidof(IAccessible),
                                             reinterpret_cast<void**>(&object)),
                  S_OK);
        VARIANT self{};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        BSTR name = nullptr;
        EXPECT_EQ(object->get_accName(self, &name), S_OK);
        EXPECT_STREQ(name ? name : L"(none)", c.name);
        SysFreeString(name);
        object->Release();
    }
    EXPECT_EQ(TakeControlEvents(), Events{}); // naming a list changes nothing in it
}

} // namespace
} // namespace qk::test
