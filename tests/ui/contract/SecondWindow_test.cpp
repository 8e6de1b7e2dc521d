// A second top-level window beside the main window under real input, on
// both window layers: heading clicks, Escape and the close box as requests
// of that window alone, closing it and bringing it to the front, and Tab
// among its own controls.
#include "tests/ui/contract/Driver.h"

#include <gtest/gtest.h>

namespace qk::test {
namespace {

constexpr std::int64_t kSecond = 1;
constexpr std::int64_t kSecondList = 30;
constexpr std::int64_t kSecondButton = 31;
constexpr std::int64_t kSecondOtherList = 32;

class SecondWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ShowMainWindow());
        AddRow(RecordListView, -1, u"main\nrow");
        ASSERT_NE(OpenWindow(kSecond, 0, 0, 400, 300, u"Zweites",
                             kWindowTitleBar | kWindowSystemMenu | kWindowCentreOnActive |
                                 kWindowEscapeCloses),
                  0);
        CreateListView(kSecondList, 10, 10, 380, 120, u"Name", 150, kListFullRowSelect);
        AddColumn(kSecondList, 1, u"Byte", 100);
        for (const char16_t* row : {u"b\n2", u"a\n1", u"c\n3"})
            AddRow(kSecondList, -1, row);
        CreateListView(kSecondOtherList, 10, 140, 380, 100, u"Pfad", 150, kListFullRowSelect);
        CreatePushButton(kSecondButton, 10, 260, 100, 24, u"Export to...", 0);
        ASSERT_TRUE(ActivateWindow(kSecond));
        TakeEvents();
    }
    void TearDown() override { CloseWindow(kSecond); }
};

// A click on a heading tells the column and reorders nothing, on any list.
TEST_F(SecondWindow, HeadingClickIsAnEventWithItsColumn) {
    const struct {
        std::int64_t list;
        int column;
    } clicks[] = {{kSecondList, 0}, {kSecondList, 1}, {kSecondOtherList, 0}};
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.column);
        ClickHeading(click.list, click.column);
        const Events events = TakeControlEvents();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back(), Control(click.list, kHeadingClicked + click.column));
        EXPECT_EQ(HeadingColumnOf(events.back().type), click.column);
        EXPECT_EQ(GetCellText(kSecondList, 0, 0), Text(u"b"));
    }
}

// Escape and the close box ask to close the second window only; the main
// window's Escape stays an ordinary key.
TEST_F(SecondWindow, EscapeAndCloseBoxAskToCloseThatWindow) {
    for (const std::int64_t focus : {kSecondList, kSecondButton}) {
        SCOPED_TRACE(focus);
        PutFocusOn(focus);
        TakeEvents();
        PressKey(Key::Escape);
        EXPECT_EQ(TakeControlEvents(CloseWindowEvent), (Events{{CloseWindowEvent, kSecond, 0}}));
        EXPECT_TRUE(WindowVisible(kSecond));
    }
    AskToClose();
    EXPECT_EQ(TakeControlEvents(CloseWindowEvent), (Events{{CloseWindowEvent, kSecond, 0}}));
    ASSERT_TRUE(ActivateWindow(MainWindow));
    PutFocusOn(RecordListView);
    TakeEvents();
    PressKey(Key::Escape);
    EXPECT_EQ(TakeControlEvents(CloseWindowEvent), Events{});
}

// Closing the second window takes its controls and waiting events with it;
// the main window and its controls stay.
TEST_F(SecondWindow, CloseWindowLeavesTheOtherWindow) {
    ClickHeading(kSecondList, 1);
    CloseWindow(kSecond);
    // The heading click went with the window (the main window may become
    // active again, which it tells).
    EXPECT_EQ(TakeControlEvents(CloseWindowEvent), Events{});
    EXPECT_FALSE(WindowOpen(kSecond));
    EXPECT_TRUE(WindowOpen(MainWindow));
    EXPECT_EQ(RowCount(kSecondList), 0);
    EXPECT_EQ(GetControlText(kSecondButton), Text());
    EXPECT_EQ(RowCount(RecordListView), 1);
    EXPECT_TRUE(MainWindowVisible());
    CloseWindow(kSecond); // a number not in use: nothing happens
}

TEST_F(SecondWindow, BringToFrontActivatesIt) {
    ASSERT_TRUE(ActivateWindow(MainWindow));
    EXPECT_EQ(ActiveWindow(), MainWindow);
    BringWindowToFront(kSecond);
    LetInputSettle();
    EXPECT_EQ(ActiveWindow(), kSecond);
}

// Tab moves among the second window's controls in creation order and wraps;
// the main window's controls are not among them.
TEST_F(SecondWindow, TabStaysAmongItsControls) {
    PutFocusOn(kSecondList);
    for (const std::int64_t expected : {kSecondOtherList, kSecondButton, kSecondList}) {
        PressKey(Key::Tab);
        EXPECT_EQ(FocusedControl(), expected);
    }
    PressKey(Key::ShiftTab);
    EXPECT_EQ(FocusedControl(), kSecondButton);
}

} // namespace
} // namespace qk::test
