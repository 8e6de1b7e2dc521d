// What only the Win32 layer has: the focus cues and WaitForEvent's handling
// of window-system messages. The events both layers give are in
// tests/ui/contract.
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
    HWND window_ = nullptr;
};

// The program selects, scrolls and unchooses without an event.
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
