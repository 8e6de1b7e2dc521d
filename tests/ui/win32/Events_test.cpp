// Event sequences from the real Win32 controls, driven by real input.
#include "tests/ui/RowPlaceContract.h"
#include "tests/ui/win32/Win32TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qk::test {
namespace {

class Win32Events : public ::testing::Test {
  protected:
    void SetUp() override {
        window_ = BuildMainWindow();
        ASSERT_NE(window_, nullptr);
        for (int i = 0; i < 5; ++i)
            AddRow(RecordListView, -1, u"c:\\logs\\\nname.par\n1\n2024.01.02\n10:00\nuser");
        TakeEvents();
    }
    void ClickList(POINT at, bool right = false) { Click(Hwnd(RecordListView), at, right); }

    HWND window_ = nullptr;
};

// One table for the list's mouse rules: each step's clicks, from the state
// the steps before left, and the events they give.
TEST_F(Win32Events, ListClicks) {
    struct Step {
        const char* what;
        int row; // -1: the empty part of the list
        bool right;
        Events expected;
        std::int64_t selectedAfter;
    };
    const Step steps[] = {
        // The last selected row record starts at 0, so even the first click
        // on the empty part reports a lost selection.
        {"empty part, nothing selected", -1, false, {Control(0, 768)}, -1},
        {"empty part again", -1, false, {}, -1},
        {"a row", 2, false, {Control(0, 768), Control(0, 0)}, 2},
        {"the selected row", 2, false, {Control(0, 0)}, 2},
        {"another row: deselect and select merge", 4, false, {Control(0, 768), Control(0, 0)}, 4},
        {"empty part after a selection", -1, false, {Control(0, 768)}, -1},
        // The right click, then the context menu is asked for.
        {"right click without selection", -1, true, {Control(0, 1), Control(0, 14003)}, -1},
        {"right click on a row", 1, true, {Control(0, 768), Control(0, 1), Control(0, 14003)}, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        Sleep(GetDoubleClickTime() + 50); // separate clicks, not double clicks
        ClickList(step.row < 0 ? EmptyPoint(RecordListView) : RowPoint(RecordListView, step.row),
                  step.right);
        EXPECT_EQ(TakeControlEvents(), step.expected);
        EXPECT_EQ(SelectedRow(RecordListView), step.selectedAfter);
    }
    EXPECT_EQ(GetControlText(RecordListView), Text(u"c:\\logs\\"));
}

// The second click's release reaches the list itself after the double
// click, and reports the click once more.
TEST_F(Win32Events, DoubleClickComesAfterTheFirstClicksEvents) {
    ClickList(RowPoint(RecordListView, 2));
    ClickList(RowPoint(RecordListView, 2));
    EXPECT_EQ(TakeControlEvents(),
              (Events{Control(0, 768), Control(0, 0), Control(0, 2), Control(0, 0)}));
}

TEST_F(Win32Events, ArrowKeysGiveSelectionChangesOnly) {
    ClickList(RowPoint(RecordListView, 1));
    TakeEvents();
    KeyPress(VK_DOWN);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)}));
    EXPECT_EQ(SelectedRow(RecordListView), 2);
}

TEST_F(Win32Events, TextFieldReportsFocusAndEachChange) {
    Click(Hwnd(FindField), POINT{40, 8});
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 14000), Control(11, 256)}));
    Type(L"2");
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 1024), Control(11, 768)}));
    KeyPress(VK_BACK);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 1024), Control(11, 768)}));
    Type(L"ab");
    EXPECT_EQ(TakeControlEvents(),
              (Events{Control(11, 1024), Control(11, 768), Control(11, 1024), Control(11, 768)}));
    EXPECT_EQ(GetControlText(FindField), Text(u"?ab"));
    KeyPress(VK_TAB);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 14001), Control(11, 512)}));
    EXPECT_EQ(FocusedControl(), RecordListView);
}

TEST_F(Win32Events, TheProgramsOwnChangesGiveNoEvents) {
    Click(Hwnd(FindField), POINT{40, 8});
    ClickList(RowPoint(RecordListView, 2));
    SetFocus(Hwnd(FindField));
    TakeEvents();
    SetControlText(FindField, u"neu");
    AddRow(RecordListView, 0, u"inserted\nrow");
    AddRow(RecordListView, -1, u"appended");
    SetCellText(RecordListView, 3, u"x\ny", 0);
    SetCellText(RecordListView, -1, u"Ort", 0);
    SetControlText(CountLabel, u"6/6");
    EXPECT_EQ(TakeEvents(), Events{});
    EXPECT_EQ(GetControlText(FindField), Text(u"neu"));
    EXPECT_EQ(SelectedRow(RecordListView), 3); // the selection moved down with its row
}

// Focus arriving on an unchosen option button is no choice (the platform's
// button reports it as a click; the layer drops that), while the space bar
// and the mouse choose.
TEST_F(Win32Events, TheProgramSelectsScrollsAndUnchoosesWithoutEvents) {
    CheckRowPlaceAndOptionContract({[] { return TakeEvents().size(); },
                                    [](std::int64_t option) {
                                        return SendMessageW(Hwnd(option), BM_GETCHECK, 0, 0) ==
                                               BST_CHECKED;
                                    },
                                    [](std::int64_t option) {
                                        Click(Hwnd(option), POINT{8, 10});
                                    }});
}

TEST_F(Win32Events, FocusArrivingOnAnUnchosenOptionIsNoClick) {
    SetFocus(Hwnd(RecordListView));
    TakeEvents();
    KeyPress(VK_TAB);
    EXPECT_EQ(FocusedControl(), 1);
    EXPECT_EQ(TakeControlEvents(), Events{});
    EXPECT_EQ(SendMessageW(Hwnd(1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    KeyPress(VK_SPACE);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(1, 0)}));
    EXPECT_EQ(SendMessageW(Hwnd(1), BM_GETCHECK, 0, 0), BST_CHECKED);
    Click(Hwnd(5), POINT{8, 10});
    EXPECT_EQ(TakeControlEvents(), (Events{Control(5, 0)}));
    // One group: choosing the fifth cleared the first.
    EXPECT_EQ(SendMessageW(Hwnd(1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
    Click(Hwnd(ExportButton), POINT{20, 10});
    EXPECT_EQ(TakeControlEvents(), (Events{Control(8, 0)}));
}

TEST_F(Win32Events, TabAndShiftTabFollowTheCreationOrderAndWrap) {
    EXPECT_EQ(FocusedControl(), -1); // no control has the focus at first
    KeyPress(VK_TAB);
    EXPECT_EQ(FocusedControl(), 0);
    for (std::int64_t expected : {1, 2, 3, 4, 5, 6, 8, 9, 11, 0}) {
        KeyPress(VK_TAB);
        EXPECT_EQ(FocusedControl(), expected);
    }
    KeyPress(VK_TAB, true);
    EXPECT_EQ(FocusedControl(), 11);
    EnableWindow(Hwnd(ExportButton), FALSE); // disabled controls are skipped
    KeyPress(VK_TAB, true);
    KeyPress(VK_TAB, true);
    EXPECT_EQ(FocusedControl(), 6);
    EnableWindow(Hwnd(ExportButton), TRUE);
}

// The platform's radio button takes the tab-stop style from the others of
// its group when one is chosen; each option stays a stop of its own.
TEST_F(Win32Events, EveryOptionStaysATabStopAfterOneIsChosen) {
    Click(Hwnd(3), POINT{8, 10});
    ASSERT_EQ(SendMessageW(Hwnd(3), BM_GETCHECK, 0, 0), BST_CHECKED);
    SetFocus(Hwnd(RecordListView));
    for (std::int64_t expected : {1, 2, 3, 4, 5, 6, 8, 9, 11, 0}) {
        KeyPress(VK_TAB);
        EXPECT_EQ(FocusedControl(), expected);
    }
    KeyPress(VK_TAB, true);
    EXPECT_EQ(FocusedControl(), 11);
}

// Typed letters select the next row whose path starts with them.
TEST_F(Win32Events, TypingInAListSelectsTheNextRowStartingWithIt) {
    ClearRows(RecordListView);
    for (const char16_t* path : {u"alpha\\", u"beta\\", u"bravo\\", u"Beta2\\", u"zulu\\"})
        AddRow(RecordListView, -1, path);
    Settle();
    ClickList(RowPoint(RecordListView, 0));
    ASSERT_EQ(SelectedRow(RecordListView), 0);
    struct Step {
        const wchar_t* typed;
        bool pauseFirst; // a new search
        std::int64_t selected;
    };
    const Step steps[] = {
        {L"b", true, 1}, {L"r", false, 2}, {L"b", true, 3},
        {L"z", true, 4}, {L"a", true, 0},  {L"q", true, 0}, // no row: the selection stays
    };
    for (const Step& step : steps) {
        if (step.pauseFirst) Sleep(1200);
        Type(step.typed);
        EXPECT_EQ(SelectedRow(RecordListView), step.selected) << step.typed;
    }
}

// The focus cue requests sent to windows of this thread.
std::vector<WPARAM> cueRequests;
LRESULT CALLBACK WatchCueRequests(int code, WPARAM wParam, LPARAM lParam) {
    const auto* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == WM_CHANGEUISTATE) cueRequests.push_back(sent->wParam);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// While Ctrl or Shift is held the keyboard is in use: the focus cues come
// on before any shortcut fires.
TEST_F(Win32Events, HoldingAModifierShowsTheFocusCues) {
    const HHOOK hook =
        SetWindowsHookExW(WH_CALLWNDPROC, WatchCueRequests, nullptr, GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    for (WORD key : {VK_SHIFT, VK_CONTROL}) {
        cueRequests.clear();
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        Send(input);
        Settle();
        const bool shown = std::any_of(cueRequests.begin(), cueRequests.end(), [](WPARAM w) {
            return LOWORD(w) == UIS_CLEAR && (HIWORD(w) & UISF_HIDEFOCUS);
        });
        EXPECT_TRUE(shown) << key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        Send(input);
        Settle();
    }
    UnhookWindowsHookEx(hook);
}

TEST_F(Win32Events, ShiftTabWithoutFocusGoesToTheLastStop) {
    EXPECT_EQ(FocusedControl(), -1);
    KeyPress(VK_TAB, true);
    EXPECT_EQ(FocusedControl(), 11);
}

TEST_F(Win32Events, EnterAndEscapeAreOrdinaryKeys) {
    SetFocus(Hwnd(ExportButton));
    TakeEvents();
    for (WORD key : {VK_RETURN, VK_ESCAPE})
        KeyPress(key);
    EXPECT_EQ(TakeControlEvents(), Events{});
    EXPECT_TRUE(IsWindowVisible(window_));
}

TEST_F(Win32Events, CloseRequestIsAnEventAndTheWindowStays) {
    Click(Hwnd(ExportButton), POINT{20, 10});
    // Alt+F4 through the window system: the default handling turns it into
    // the Close command of the system menu, then WM_CLOSE.
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_MENU;
    Send(input);
    KeyPress(VK_F4);
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    Send(input);
    Events events = TakeEvents();
    events.erase(std::remove_if(events.begin(), events.end(),
                                [](const Event& e) {
                                    return e.number != ControlEvent && e.number != CloseWindowEvent;
                                }),
                 events.end());
    EXPECT_EQ(events, (Events{Control(8, 0), {CloseWindowEvent, 0, 0}}));
    EXPECT_TRUE(IsWindowVisible(window_));
}

TEST_F(Win32Events, WaitForEventHandsOutOneMessagePerCall) {
    TakeEvents();
    PostMessageW(window_, WM_NULL, 0, 0);
    EXPECT_EQ(WaitForEvent(), WM_NULL); // the message itself, no event
    EXPECT_EQ(EventType(), -1);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    PostMessageW(window_, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForEvent(), WM_CLOSE);
    EXPECT_EQ(WaitForEvent(), CloseWindowEvent); // taken before the second message
    EXPECT_EQ(EventSource(), MainWindow);
    EXPECT_EQ(WaitForEvent(), WM_CLOSE);
    EXPECT_EQ(WaitForEvent(), CloseWindowEvent);
    // A message whose number is an event number is never taken for the event.
    PostMessageW(window_, UINT(ControlEvent), 0, 0);
    EXPECT_EQ(WaitForEvent(), 0);
}

} // namespace
} // namespace qk::test
