// The events of the main window's controls under real input: one suite that
// runs on both window layers through the input driver.
#include "tests/ui/contract/Driver.h"

#include <gtest/gtest.h>

namespace qk::test {
namespace {

class ContractEvents : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(ShowMainWindow());
        for (int i = 0; i < 5; ++i)
            AddRow(RecordListView, -1, u"c:\\logs\\\nname.par\n1\n2024.01.02\n10:00\nuser");
        TakeEvents();
    }
};

// One table for the list's mouse rules: each step's click, from the state
// the steps before left, and the events it gives.
TEST_F(ContractEvents, ListClicks) {
    const struct {
        const char* what;
        int row; // -1: the empty part of the list
        bool right;
        Events expected;
        std::int64_t selectedAfter;
    } steps[] = {
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
    for (const auto& step : steps) {
        SCOPED_TRACE(step.what);
        WaitOutDoubleClick();
        ClickRow(RecordListView, step.row, step.right);
        EXPECT_EQ(TakeControlEvents(), step.expected);
        EXPECT_EQ(SelectedRow(RecordListView), step.selectedAfter);
    }
    EXPECT_EQ(GetControlText(RecordListView), Text(u"c:\\logs\\"));
}

// The double click comes after the first click's events, and the second
// click's release reports the click once more, as the platform's list does.
TEST_F(ContractEvents, DoubleClickComesAfterTheFirstClicksEvents) {
    const struct {
        const char* what;
        int row;
        Events expected;
    } cases[] = {
        {"on a row", 2, {Control(0, 768), Control(0, 0), Control(0, 2), Control(0, 0)}},
        {"on the selected row", 2, {Control(0, 0), Control(0, 2), Control(0, 0)}},
        {"on the empty part", -1, {Control(0, 768), Control(0, 2)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WaitOutDoubleClick();
        DoubleClickRow(RecordListView, c.row);
        EXPECT_EQ(TakeControlEvents(), c.expected);
    }
}

TEST_F(ContractEvents, ArrowKeysGiveSelectionChangesOnly) {
    ClickRow(RecordListView, 1);
    TakeEvents();
    PressKey(Key::Down);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)}));
    EXPECT_EQ(SelectedRow(RecordListView), 2);
    PressKey(Key::Up);
    PressKey(Key::Up);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)})); // merged while untaken
    EXPECT_EQ(SelectedRow(RecordListView), 0);
}

TEST_F(ContractEvents, TextFieldReportsFocusAndEachChange) {
    ClickControl(FindField);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 14000), Control(11, 256)}));
    TypeText(u"2");
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 1024), Control(11, 768)}));
    TypeText(u"ab");
    PressKey(Key::Backspace);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 1024), Control(11, 768), Control(11, 1024),
                                           Control(11, 768), Control(11, 1024), Control(11, 768)}));
    EXPECT_EQ(GetControlText(FindField), Text(u"?2a"));
    PressKey(Key::Tab);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 14001), Control(11, 512)}));
    EXPECT_EQ(FocusedControl(), RecordListView);
}

TEST_F(ContractEvents, TheProgramsOwnChangesGiveNoEvents) {
    ClickControl(FindField);
    ClickRow(RecordListView, 2);
    PutFocusOn(FindField);
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

// Text the program sets into the focused field is selected, as Ctrl+F
// selects it, so that what is typed next replaces it.
TEST_F(ContractEvents, TextSetIntoTheFocusedFieldIsReplacedByTyping) {
    const struct {
        const char* what;
        void (*focus)();
        const char16_t* typed;
        const char16_t* after;
    } cases[] = {
        {"clicked into", [] { ClickControl(FindField); }, u"cad", u"cad"},
        {"focused by the window system", [] { PutFocusOn(FindField); }, u"par", u"par"},
        {"after a Tab away and back",
         [] {
             ClickControl(FindField);
             PressKey(Key::Tab);
             PressKey(Key::ShiftTab);
         },
         u"x", u"x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        c.focus();
        SetControlText(FindField, u"?");
        TypeText(c.typed);
        EXPECT_EQ(std::u16string(GetControlText(FindField).view()), c.after);
        ClickRow(RecordListView, 0);
        TakeEvents();
    }
}

// Focus arriving on an unchosen option button is no choice, while the space
// bar and the mouse choose; the six options are one group.
TEST_F(ContractEvents, FocusArrivingOnAnUnchosenOptionIsNoClick) {
    PutFocusOn(RecordListView);
    TakeEvents();
    PressKey(Key::Tab);
    EXPECT_EQ(FocusedControl(), 1);
    EXPECT_EQ(TakeControlEvents(), Events{});
    EXPECT_FALSE(IsChosen(1));
    PressKey(Key::Space);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(1, 0)}));
    EXPECT_TRUE(IsChosen(1));
    ClickControl(5);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(5, 0)}));
    EXPECT_FALSE(IsChosen(1));
    ClickControl(ExportButton);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(8, 0)}));
}

TEST_F(ContractEvents, TabAndShiftTabFollowTheCreationOrderAndWrap) {
    EXPECT_EQ(FocusedControl(), -1); // no control has the focus at first
    PressKey(Key::Tab);
    EXPECT_EQ(FocusedControl(), 0);
    for (std::int64_t expected : {1, 2, 3, 4, 5, 6, 8, 9, 11, 0}) {
        PressKey(Key::Tab);
        EXPECT_EQ(FocusedControl(), expected);
    }
    PressKey(Key::ShiftTab);
    EXPECT_EQ(FocusedControl(), 11);
    EnableControl(ExportButton, false); // disabled controls are skipped
    PressKey(Key::ShiftTab);
    PressKey(Key::ShiftTab);
    EXPECT_EQ(FocusedControl(), 6);
    PressKey(Key::Tab);
    EXPECT_EQ(FocusedControl(), 9);
    EnableControl(ExportButton, true);
}

// Each option stays a tab stop of its own when one of them is chosen.
TEST_F(ContractEvents, EveryOptionStaysATabStopAfterOneIsChosen) {
    ClickControl(3);
    ASSERT_TRUE(IsChosen(3));
    PutFocusOn(RecordListView);
    for (std::int64_t expected : {1, 2, 3, 4, 5, 6, 8, 9, 11, 0}) {
        PressKey(Key::Tab);
        EXPECT_EQ(FocusedControl(), expected);
    }
    PressKey(Key::ShiftTab);
    EXPECT_EQ(FocusedControl(), 11);
}

// Typed letters select the next row whose path starts with them, ignoring
// case; a pause starts a new search.
TEST_F(ContractEvents, TypingInAListSelectsTheNextRowStartingWithIt) {
    ClearRows(RecordListView);
    for (const char16_t* path : {u"alpha\\", u"beta\\", u"bravo\\", u"Beta2\\", u"zulu\\"})
        AddRow(RecordListView, -1, path);
    ClickRow(RecordListView, 0);
    ASSERT_EQ(SelectedRow(RecordListView), 0);
    const struct {
        const char16_t* typed;
        bool pauseFirst; // a new search
        std::int64_t selected;
    } steps[] = {
        {u"b", true, 1}, {u"r", false, 2}, {u"b", true, 3},
        {u"z", true, 4}, {u"a", true, 0},  {u"q", true, 0}, // no row: the selection stays
    };
    for (const auto& step : steps) {
        if (step.pauseFirst) WaitOutTypeAhead();
        TypeText(step.typed);
        EXPECT_EQ(SelectedRow(RecordListView), step.selected);
    }
}

TEST_F(ContractEvents, ShiftTabWithoutFocusGoesToTheLastStop) {
    EXPECT_EQ(FocusedControl(), -1);
    PressKey(Key::ShiftTab);
    EXPECT_EQ(FocusedControl(), 11);
}

TEST_F(ContractEvents, EnterAndEscapeAreOrdinaryKeys) {
    for (const std::int64_t control : {ExportButton, FindField}) {
        SCOPED_TRACE(control);
        PutFocusOn(control);
        TakeEvents();
        for (const Key key : {Key::Return, Key::KeypadEnter, Key::Escape})
            PressKey(key);
        EXPECT_EQ(TakeControlEvents(MenuEvent), Events{});
        EXPECT_TRUE(MainWindowVisible());
    }
}

TEST_F(ContractEvents, CloseRequestIsAnEventAndTheWindowStays) {
    ClickControl(ExportButton);
    AskToClose();
    EXPECT_EQ(TakeControlEvents(CloseWindowEvent),
              (Events{Control(8, 0), {CloseWindowEvent, MainWindow, 0}}));
    EXPECT_TRUE(MainWindowVisible());
}

} // namespace
} // namespace qk::test
