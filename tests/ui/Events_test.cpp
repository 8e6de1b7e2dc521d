#include "tests/ui/UiTestSupport.h"
#include "ui/qt/ListModel.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

namespace qk::test {
namespace {

using Events = std::vector<Event>;

class EventsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(BuildMainWindow(), 0);
        window_ = ui::FindWindow(MainWindow)->widget;
        for (int i = 0; i < 5; ++i)
            AddRow(RecordListView, -1, T(u"c:\\logs\\\nname.par\n1\n2024.01.02\n10:00\nuser"));
        TakeEvents();
    }

    QWidget* Focus() const {
        QWidget* focus = QApplication::focusWidget();
        return focus ? focus : window_;
    }
    void Key(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(Focus(), key, modifiers);
    }
    // The control that has the focus, -1 for none.
    std::int64_t FocusedControl() const {
        for (std::int64_t n = 0; n <= CountLabel; ++n)
            if (ControlWidget(n) && ControlWidget(n)->hasFocus()) return n;
        return -1;
    }
    static QPoint RowPoint(std::int64_t list, int row) {
        ui::ListView* view = ui::ListOf(list);
        return view->visualRect(view->model()->index(row, 1)).center();
    }
    static QPoint EmptyPoint(std::int64_t list) {
        ui::ListView* view = ui::ListOf(list);
        return QPoint(50, view->viewport()->height() - 5);
    }
    static void Click(std::int64_t list, QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(ui::ListOf(list)->viewport(), button, Qt::NoModifier, at);
    }

    QWidget* window_ = nullptr;
};

TEST_F(EventsTest, ClickOnAnotherRowGivesOneSelectionChangeThenTheClick) {
    Click(RecordListView, RowPoint(RecordListView, 0));
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768), Control(0, 0)}));
    EXPECT_EQ(SelectedRow(RecordListView), 0);
    Click(RecordListView, RowPoint(RecordListView, 2));
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768), Control(0, 0)}));
    EXPECT_EQ(SelectedRow(RecordListView), 2);
    EXPECT_EQ(GetControlText(RecordListView), T(u"c:\\logs\\"));
}

TEST_F(EventsTest, ClickOnTheSelectedRowGivesOnlyTheClick) {
    Click(RecordListView, RowPoint(RecordListView, 1));
    TakeEvents();
    Click(RecordListView, RowPoint(RecordListView, 1));
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 0)}));
}

TEST_F(EventsTest, ClickOnTheEmptyPartGivesOnlyTheSelectionChange) {
    // The record of the last selected row starts at 0, so even a list that
    // never had a selection reports the first such click.
    Click(RecordListView, EmptyPoint(RecordListView));
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)}));
    Click(RecordListView, EmptyPoint(RecordListView));
    EXPECT_EQ(TakeControlEvents(), Events{});
    Click(RecordListView, RowPoint(RecordListView, 3));
    TakeEvents();
    Click(RecordListView, EmptyPoint(RecordListView));
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)}));
    EXPECT_EQ(SelectedRow(RecordListView), -1);
}

TEST_F(EventsTest, ArrowKeysGiveSelectionChangesOnly) {
    Click(RecordListView, RowPoint(RecordListView, 1));
    TakeEvents();
    Key(Qt::Key_Down);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)}));
    EXPECT_EQ(SelectedRow(RecordListView), 2);
    Key(Qt::Key_Up);
    Key(Qt::Key_Up);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)})); // merged while untaken
    EXPECT_EQ(SelectedRow(RecordListView), 0);
}

TEST_F(EventsTest, RightClickGivesTypeOneEvenWithoutSelection) {
    Click(RecordListView, EmptyPoint(RecordListView));
    TakeEvents();
    Click(RecordListView, EmptyPoint(RecordListView), Qt::RightButton);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 1)}));
    Click(RecordListView, RowPoint(RecordListView, 4), Qt::RightButton);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768), Control(0, 1)}));
}

TEST_F(EventsTest, DoubleClickComesAfterTheFirstClicksEvents) {
    // As the window system delivers it: press, release, press, double
    // click, release.
    QWidget* viewport = ui::ListOf(RecordListView)->viewport();
    const QPoint at = RowPoint(RecordListView, 2);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768), Control(0, 0), Control(0, 2)}));
}

TEST_F(EventsTest, DraggingARowReportsTheDragAndKeepsTheSelection) {
    QWidget* viewport = ui::ListOf(RecordListView)->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, RowPoint(RecordListView, 1));
    QTest::mouseMove(viewport, RowPoint(RecordListView, 2));
    QTest::mouseMove(viewport, RowPoint(RecordListView, 3));
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, RowPoint(RecordListView, 3));
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768), Control(0, 14002)}));
    EXPECT_EQ(SelectedRow(RecordListView), 1);
    Click(RecordListView, RowPoint(RecordListView, 1)); // the next click is a click again
    EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 0)}));
}

TEST_F(EventsTest, TextFieldReportsFocusAndEachChange) {
    auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
    QTest::mouseClick(field, Qt::LeftButton);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 14000), Control(11, 256)}));
    QTest::keyClick(field, Qt::Key_2);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 1024), Control(11, 768)}));
    QTest::keyClicks(field, "ab");
    QTest::keyClick(field, Qt::Key_Backspace);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 1024), Control(11, 768), Control(11, 1024),
                                           Control(11, 768), Control(11, 1024), Control(11, 768)}));
    EXPECT_EQ(GetControlText(FindField), T(u"?2a"));
    Key(Qt::Key_Tab);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(11, 14001), Control(11, 512)}));
}

TEST_F(EventsTest, TheProgramsOwnChangesGiveNoEvents) {
    auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
    QTest::mouseClick(field, Qt::LeftButton);
    Click(RecordListView, RowPoint(RecordListView, 2));
    ControlWidget(FindField)->setFocus();
    TakeEvents();
    SetControlText(FindField, T(u"neu"));
    AddRow(RecordListView, 0, T(u"inserted\nrow"));
    AddRow(RecordListView, -1, T(u"appended"));
    SetCellText(RecordListView, 3, T(u"x\ny"), 0);
    SetCellText(RecordListView, -1, T(u"Ort"), 0);
    SetControlText(CountLabel, T(u"6/6"));
    EXPECT_EQ(TakeEvents(), Events{});
    EXPECT_EQ(field->text(), QStringLiteral("neu"));
    EXPECT_EQ(SelectedRow(RecordListView), 3); // the selected row moved down with its record
}

TEST_F(EventsTest, ButtonsReportClicksBySpaceAndMouse) {
    QTest::mouseClick(ControlWidget(ExportButton), Qt::LeftButton);
    ControlWidget(ExportButton)->setFocus();
    QApplication::processEvents();
    TakeEvents();
    Key(Qt::Key_Space);
    QTest::mouseClick(ControlWidget(ExportButton), Qt::LeftButton);
    // Two clicks while the first waits merge into one.
    EXPECT_EQ(TakeControlEvents(), (Events{Control(8, 0)}));
}

TEST_F(EventsTest, EnterAndEscapeAreOrdinaryKeys) {
    ControlWidget(ExportButton)->setFocus();
    TakeEvents();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        Key(key);
    ControlWidget(FindField)->setFocus();
    TakeEvents();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape})
        Key(key);
    EXPECT_EQ(TakeEvents(), Events{});
    EXPECT_TRUE(window_->isVisible());
}

TEST_F(EventsTest, FocusArrivingOnAnUnchosenOptionIsNoClick) {
    auto* option = static_cast<QRadioButton*>(ControlWidget(FirstSortOption));
    ControlWidget(RecordListView)->setFocus();
    TakeEvents();
    Key(Qt::Key_Tab);
    EXPECT_TRUE(option->hasFocus());
    EXPECT_EQ(TakeControlEvents(), Events{});
    EXPECT_FALSE(option->isChecked());
    // Arrows from an unchosen option move the focus without choosing.
    Key(Qt::Key_Right);
    EXPECT_EQ(TakeControlEvents(), Events{});
    Key(Qt::Key_Left);
    EXPECT_TRUE(option->hasFocus());
    // Choosing by the space bar, then by arrow keys, is a click.
    Key(Qt::Key_Space);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(1, 0)}));
    EXPECT_TRUE(option->isChecked());
    Key(Qt::Key_Right);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(2, 0)}));
    EXPECT_TRUE(static_cast<QRadioButton*>(ControlWidget(2))->isChecked());
    EXPECT_FALSE(option->isChecked());
    QTest::mouseClick(ControlWidget(5), Qt::LeftButton);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(5, 0)}));
}

TEST_F(EventsTest, TabAndShiftTabFollowTheCreationOrderAndWrap) {
    EXPECT_EQ(FocusedControl(), -1); // no control has the focus at first
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), 0);
    const std::int64_t order[] = {1, 2, 3, 4, 5, 6, 8, 9, 11, 0};
    for (std::int64_t expected : order) {
        Key(Qt::Key_Tab);
        EXPECT_EQ(FocusedControl(), expected);
    }
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedControl(), 11);
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedControl(), 9);
    // Disabled controls are skipped.
    ControlWidget(ExportButton)->setEnabled(false);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedControl(), 6);
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusedControl(), 9);
}

TEST_F(EventsTest, ShiftTabWithoutFocusGoesToTheLastStop) {
    EXPECT_EQ(FocusedControl(), -1);
    Key(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedControl(), 11);
}

TEST_F(EventsTest, CloseRequestIsAnEventAndTheWindowStays) {
    QTest::mouseClick(ControlWidget(ExportButton), Qt::LeftButton);
    window_->close();
    const Events events = TakeEvents();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[events.size() - 2], Control(8, 0));
    EXPECT_EQ(events.back(), (Event{CloseWindowEvent, 0, 0}));
    EXPECT_TRUE(window_->isVisible());
    window_->windowHandle()->close();
    EXPECT_EQ(TakeEvents(), (Events{{CloseWindowEvent, 0, 0}}));
    EXPECT_TRUE(window_->isVisible());
    // Another window reports its own number.
    const Handle other = OpenWindow(3, 0, 0, 100, 100, T(u"other"), 0x00C80001);
    Widget(other)->close();
    const Events more = TakeEvents();
    EXPECT_NE(std::find(more.begin(), more.end(), Event{CloseWindowEvent, 3, 0}), more.end());
    EXPECT_TRUE(Widget(other)->isVisible());
}

TEST_F(EventsTest, WindowEventsAfterOpening) {
    ASSERT_NE(BuildMainWindow(), 0);
    window_ = ui::FindWindow(MainWindow)->widget;
    const Events opened = TakeEvents();
    // Activated while first shown; no moves or sizes while being made.
    EXPECT_NE(std::find(opened.begin(), opened.end(), Event{ActivateEvent, 0, 0}), opened.end());
    for (const Event& e : opened) {
        EXPECT_NE(e.number, MoveEvent);
        EXPECT_NE(e.number, SizeEvent);
    }
    window_->move(window_->pos() + QPoint(5, 5));
    EXPECT_EQ(TakeEvents(), (Events{{MoveEvent, 0, 0}}));
}

TEST_F(EventsTest, FocusComesBackWhenTheWindowIsActivatedAgain) {
    ControlWidget(FindField)->setFocus();
    TakeEvents();
    const Handle other = OpenWindow(4, 0, 0, 100, 100, T(u"other"), 0x00C80001 | 0x8);
    Widget(other)->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Widget(other)));
    const Events away = TakeEvents();
    EXPECT_NE(std::find(away.begin(), away.end(), Event{DeactivateEvent, 0, 0}), away.end());
    EXPECT_NE(std::find(away.begin(), away.end(), Control(11, 14001)), away.end());
    window_->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
    EXPECT_TRUE(ControlWidget(FindField)->hasFocus());
    const Events back = TakeEvents();
    EXPECT_NE(std::find(back.begin(), back.end(), Event{ActivateEvent, 0, 0}), back.end());
    EXPECT_NE(std::find(back.begin(), back.end(), Control(11, 14000)), back.end());
}

TEST_F(EventsTest, WaitingEventsOfARemovedControlOrWindowGo) {
    QTest::mouseClick(ControlWidget(ExportButton), Qt::LeftButton);
    QTest::mouseClick(ControlWidget(3), Qt::LeftButton);
    CreatePushButton(ExportButton, 500, 10, 80, 20, T(u"again"), 0);
    EXPECT_EQ(TakeControlEvents(), (Events{Control(3, 0)}));
    const Handle other = OpenWindow(4, 0, 0, 100, 100, T(u"other"), 0x00C80001);
    CreatePushButton(1, 0, 0, 50, 20, T(u"b"), 0);
    QTest::mouseClick(ControlWidget(1), Qt::LeftButton);
    Widget(other)->close();
    EXPECT_GE(ui::WaitingEventCount(), 2u);
    OpenWindow(4, 0, 0, 100, 100, T(u"other"), 0x00C80001 | 0x10000000);
    for (const Event& e : TakeEvents())
        EXPECT_NE(e.number, CloseWindowEvent);
}

// The queue itself: merging with the untaken tail only, suppression, and
// what the current event holds.
TEST(EventQueueTest, MergesOnlyIdenticalEventsWithTheUntakenTail) {
    ui::ClearEvents();
    struct Step {
        std::int64_t number, source, type;
    };
    const Step posts[] = {{13100, 1, 0},   {13100, 1, 0},   {13100, 2, 0}, {13100, 1, 0},
                          {13100, 1, 768}, {13100, 1, 768}, {70000, 1, 0}, {70000, 1, 0}};
    for (const Step& s : posts)
        ui::PostEvent(s.number, s.source, 0, s.type);
    {
        ui::SuppressEvents quiet;
        ui::PostEvent(13100, 9, 0, 0);
    }
    std::int64_t number = 0;
    std::vector<Step> taken;
    while (ui::TakeWaitingEvent(number))
        taken.push_back({number, EventSource(), EventType()});
    const Step expected[] = {{13100, 1, 0},   {13100, 2, 0}, {13100, 1, 0},
                             {13100, 1, 768}, {70000, 1, 0}, {70000, 1, 0}};
    ASSERT_EQ(taken.size(), std::size(expected));
    for (std::size_t i = 0; i < taken.size(); ++i) {
        EXPECT_EQ(taken[i].number, expected[i].number) << i;
        EXPECT_EQ(taken[i].source, expected[i].source) << i;
        EXPECT_EQ(taken[i].type, expected[i].type) << i;
    }
    // Once taken, an identical event is queued anew.
    ui::PostEvent(13100, 4, 0, 0);
    ASSERT_TRUE(ui::TakeWaitingEvent(number));
    ui::PostEvent(13100, 4, 0, 0);
    EXPECT_EQ(ui::WaitingEventCount(), 1u);
    EXPECT_EQ(WaitForEvent(), ControlEvent); // a waiting event comes without blocking
    EXPECT_EQ(EventSource(), 4);
    EXPECT_EQ(EventType(), 0);
}

TEST(EventQueueTest, WaitForEventBlocksUntilTheUserActs) {
    ASSERT_NE(BuildMainWindow(), 0);
    TakeEvents();
    QTimer::singleShot(20, [] { QTest::mouseClick(ControlWidget(ExportButton), Qt::LeftButton); });
    std::int64_t event = 0;
    do {
        event = WaitForEvent();
        EXPECT_NE(event, 0);
    } while (event != ControlEvent);
    EXPECT_EQ(EventSource(), ExportButton);
    EXPECT_EQ(EventType(), 0);
}

} // namespace
} // namespace qk::test
