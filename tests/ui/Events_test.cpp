#include "tests/ui/UiTestSupport.h"
#include "ui/Desktop.h"
#include "ui/qt/ListModel.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
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

// Qt's own ways of the same requests: Tab with Shift held moves back, and
// a close through the platform window or of another window is a request too.
TEST_F(EventsTest, QtsOtherFormsOfShiftTabAndClose) {
    ControlWidget(FindField)->setFocus();
    Key(Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(FocusedControl(), 9);
    TakeEvents();
    window_->windowHandle()->close();
    EXPECT_EQ(TakeEvents(), (Events{{CloseWindowEvent, 0, 0}}));
    EXPECT_TRUE(window_->isVisible());
    const Handle other = OpenWindow(3, 0, 0, 100, 100, T(u"other"), 0x00C80001);
    Widget(other)->close();
    const Events more = TakeEvents();
    EXPECT_NE(std::find(more.begin(), more.end(), Event{CloseWindowEvent, 3, 0}), more.end());
    EXPECT_TRUE(Widget(other)->isVisible());
}

// The keys a list reports besides moving the selection; a key of the
// window's own shortcut table posts MenuEvent wherever the focus is.
TEST_F(EventsTest, ListKeysAndShortcuts) {
    AddKeyShortcut(MainWindow, 7, u"Ctrl+F");
    const struct {
        std::int64_t list;
        int key;
        Qt::KeyboardModifiers modifiers;
        Events events;
    } cases[] = {
        {RecordListView, Qt::Key_C, Qt::ControlModifier, {Control(0, kCopyRequested)}},
        {MatchListView, Qt::Key_C, Qt::ControlModifier, {Control(9, kCopyRequested)}},
        {RecordListView, Qt::Key_Return, Qt::NoModifier, {Control(0, kRowActivated)}},
        {RecordListView, Qt::Key_Enter, Qt::KeypadModifier, {Control(0, kRowActivated)}},
        {MatchListView, Qt::Key_Menu, Qt::NoModifier, {Control(9, kContextMenuRequested)}},
        {RecordListView, Qt::Key_F, Qt::ControlModifier, {{MenuEvent, 7, 0}}},
        {RecordListView, Qt::Key_C, Qt::NoModifier, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        QWidget* list = ui::ListOf(c.list);
        list->setFocus();
        TakeEvents();
        QTest::keyClick(list, static_cast<Qt::Key>(c.key), c.modifiers);
        std::vector<Event> events;
        for (const Event& e : TakeEvents())
            if (e.number == ControlEvent ? e.type >= kContextMenuRequested : e.number == MenuEvent)
                events.push_back(e);
        EXPECT_EQ(events, c.events);
    }
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

// Arrow keys on a button do nothing: no option is chosen, no focus moves.
TEST_F(EventsTest, ArrowKeysOnButtonsDoNothing) {
    static_cast<QRadioButton*>(ControlWidget(2))->setChecked(true);
    for (const std::int64_t control : {1, 2, 6, 8}) {
        for (const Qt::Key key : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down}) {
            SCOPED_TRACE(testing::Message() << "control " << control << " key " << key);
            ControlWidget(control)->setFocus();
            TakeEvents();
            Key(key);
            EXPECT_EQ(TakeControlEvents(), Events{});
            EXPECT_EQ(FocusedControl(), control);
            EXPECT_TRUE(static_cast<QRadioButton*>(ControlWidget(2))->isChecked());
        }
    }
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

namespace qk::test {
namespace {

// Keys in a list as on the platform: the first Down after the focus arrives
// selects the first row, Home and End select the ends, type-ahead matches
// the first column whichever column was clicked. Every change posts 768.
TEST_F(EventsTest, ListKeysSelectAsThePlatformListDoes) {
    ClearRows(RecordListView);
    for (const char16_t* row : {u"anton\\\nzeta.par", u"berta\\\nyak.par", u"cäsar\\\nxeno.par",
                                u"dora\\\nberta.par", u"emil\\\nwal.par"})
        AddRow(RecordListView, -1, T(row));
    ui::FlushLists();
    struct Case {
        const char* name;
        int clickRow; // -1: the focus arrives by Tab, no row selected
        int clickColumn;
        std::vector<Qt::Key> keys;
        std::int64_t selected;
    };
    const Case cases[] = {
        {"first Down", -1, 0, {Qt::Key_Down}, 0},
        {"Home", 3, 1, {Qt::Key_Home}, 0},
        {"End", 1, 1, {Qt::Key_End}, 4},
        {"End then Home", -1, 0, {Qt::Key_End, Qt::Key_Home}, 0},
        {"type-ahead on the path", 0, 1, {Qt::Key_D}, 3},
        {"type-ahead from the name column", 4, 1, {Qt::Key_B}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTest::qWait(QApplication::keyboardInputInterval() + 20); // type-ahead starts anew
        ui::ListView* view = ui::ListOf(RecordListView);
        view->clearSelection();
        view->selectionModel()->clearCurrentIndex();
        ControlWidget(FindField)->setFocus();
        if (c.clickRow < 0) {
            Key(Qt::Key_Tab);
        } else {
            const QModelIndex cell = view->model()->index(c.clickRow, c.clickColumn);
            Click(RecordListView, view->visualRect(cell).center());
        }
        TakeEvents();
        for (const Qt::Key key : c.keys)
            Key(key);
        EXPECT_EQ(SelectedRow(RecordListView), c.selected);
        EXPECT_EQ(TakeControlEvents(), (Events{Control(0, 768)}));
    }
}

// The grid lines run along the row bottoms at every scroll position, and a
// list with the focus but no selection frames its focus row.
TEST_F(EventsTest, GridLinesFollowTheRowsAndTheFocusRowIsFramed) {
    for (int i = 0; i < 100; ++i)
        AddRow(RecordListView, -1, T(u"p\\\nn.par"));
    ui::FlushLists();
    QApplication::processEvents(); // the scroll range follows the rows
    ui::ListView* view = ui::ListOf(RecordListView);
    const QColor grid = view->palette().color(QPalette::Button);
    for (const int scroll : {0, 3, view->verticalScrollBar()->maximum()}) {
        SCOPED_TRACE(scroll);
        view->verticalScrollBar()->setValue(scroll);
        const QImage image = view->viewport()->grab().toImage();
        for (int row = view->rowAt(0); row >= 0 && row < view->rowAt(image.height() - 1); ++row) {
            const int bottom = view->rowViewportPosition(row) + view->RowHeight() - 1;
            if (bottom >= 0) {
                EXPECT_EQ(image.pixelColor(120, bottom), grid) << row;
            }
        }
    }
    view->verticalScrollBar()->setValue(0);
    const QImage before = view->viewport()->grab().toImage();
    ControlWidget(FindField)->setFocus();
    Key(Qt::Key_Tab);
    ASSERT_EQ(FocusedControl(), RecordListView);
    ASSERT_EQ(SelectedRow(RecordListView), -1);
    EXPECT_NE(view->viewport()->grab().toImage(), before);
}

// Tab into the find field keeps its caret: typing inserts.
TEST_F(EventsTest, TabIntoTheFindFieldKeepsTheCaret) {
    auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
    for (const Qt::Key tab : {Qt::Key_Tab, Qt::Key_Backtab}) {
        field->setText(QStringLiteral("?"));
        field->setCursorPosition(0);
        ControlWidget(tab == Qt::Key_Tab ? MatchListView : RecordListView)->setFocus();
        Key(tab, tab == Qt::Key_Tab ? Qt::NoModifier : Qt::ShiftModifier);
        ASSERT_EQ(FocusedControl(), FindField);
        EXPECT_FALSE(field->hasSelectedText());
        Key(Qt::Key_X);
        EXPECT_EQ(field->text(), QStringLiteral("x?"));
    }
}

} // namespace
} // namespace qk::test
