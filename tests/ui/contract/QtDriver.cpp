// The contract suite's driver on Qt: QTest input into the real widgets on
// Qt's offscreen platform (or the one asked for).
#include "app/MainWindow.h"
#include "tests/ui/contract/Driver.h"
#include "ui/common/EventQueue.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHeaderView>
#include <QTest>
#include <QWidget>

namespace qk::test {

namespace {

QWidget* MainWidget() {
    ui::WindowRecord* window = ui::FindWindow(MainWindow);
    return window ? window->widget : nullptr;
}

QWidget* Widget(std::int64_t control) {
    ui::ControlRecord* record = ui::FindControl(control);
    return record ? record->widget : nullptr;
}

// Keys go where the window system sends them: to the focused widget, or to
// the active window when no widget has the focus.
QWidget* KeyTarget() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus : MainWidget();
}

QPoint RowPoint(std::int64_t list, int row) {
    ui::ListView* view = ui::ListOf(list);
    if (row < 0) return QPoint(50, view->viewport()->height() - 5);
    return view->visualRect(view->model()->index(row, 1)).center();
}

} // namespace

bool ShowMainWindow() {
    ui::CloseAllWindows();
    if (!OpenMainWindow()) return false;
    QWidget* window = MainWidget();
    window->activateWindow();
    return QTest::qWaitForWindowActive(window);
}

void LetInputSettle() {
    QApplication::processEvents();
}

void ClickRow(std::int64_t list, int row, bool right) {
    ui::FlushLists();
    QTest::mouseClick(ui::ListOf(list)->viewport(), right ? Qt::RightButton : Qt::LeftButton,
                      Qt::NoModifier, RowPoint(list, row));
}

// As the window system delivers it: press, release, press, double click,
// release.
void DoubleClickRow(std::int64_t list, int row) {
    ui::FlushLists();
    QWidget* viewport = ui::ListOf(list)->viewport();
    const QPoint at = RowPoint(list, row);
    QTest::mouseClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(viewport, Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, at);
}

void WaitOutDoubleClick() {} // QTest's clicks never make a double click

void WaitOutTypeAhead() {
    QTest::qWait(QApplication::keyboardInputInterval() + 20);
}

void ClickControl(std::int64_t control) {
    QTest::mouseClick(Widget(control), Qt::LeftButton);
}

void PressKey(Key key) {
    const struct {
        Qt::Key qt;
        Qt::KeyboardModifiers modifiers;
    } keys[] = {
        {Qt::Key_Tab, Qt::NoModifier},    {Qt::Key_Backtab, Qt::ShiftModifier},
        {Qt::Key_Down, Qt::NoModifier},   {Qt::Key_Up, Qt::NoModifier},
        {Qt::Key_Space, Qt::NoModifier},  {Qt::Key_Backspace, Qt::NoModifier},
        {Qt::Key_Return, Qt::NoModifier}, {Qt::Key_Enter, Qt::KeypadModifier},
        {Qt::Key_Escape, Qt::NoModifier},
    };
    const auto& pressed = keys[static_cast<int>(key)];
    QTest::keyClick(KeyTarget(), pressed.qt, pressed.modifiers);
}

void TypeText(std::u16string_view text) {
    QTest::keyClicks(KeyTarget(), QString::fromStdU16String(std::u16string(text)));
}

void AskToClose() {
    QWidget* active = QApplication::activeWindow();
    (active ? active : MainWidget())->close();
}

void ClickHeading(std::int64_t list, int column) {
    ui::FlushLists();
    QHeaderView* header = ui::ListOf(list)->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                    header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

std::int64_t ActiveWindow() {
    QApplication::processEvents();
    return ui::WindowNumberOf(QApplication::activeWindow());
}

bool ActivateWindow(std::int64_t window) {
    ui::WindowRecord* record = ui::FindWindow(window);
    if (!record) return false;
    record->widget->activateWindow();
    return QTest::qWaitForWindowActive(record->widget);
}

bool WindowVisible(std::int64_t window) {
    ui::WindowRecord* record = ui::FindWindow(window);
    return record && record->widget->isVisible();
}

std::int64_t FocusedControl() {
    for (std::int64_t n = 0; n <= kLastContractControl; ++n)
        if (Widget(n) && Widget(n)->hasFocus()) return n;
    return -1;
}

void PutFocusOn(std::int64_t control) {
    Widget(control)->setFocus();
    QApplication::processEvents();
}

void EnableControl(std::int64_t control, bool enabled) {
    Widget(control)->setEnabled(enabled);
}

bool IsChosen(std::int64_t option) {
    auto* button = qobject_cast<QAbstractButton*>(Widget(option));
    return button && button->isChecked();
}

bool MainWindowVisible() {
    return MainWidget() && MainWidget()->isVisible();
}

std::int64_t DrawnRowCount(std::int64_t list) {
    ui::FlushLists();
    QApplication::processEvents();
    return ui::ListOf(list)->model()->rowCount();
}

std::u16string DrawnCell(std::int64_t list, int row, int column) {
    ui::FlushLists();
    QApplication::processEvents();
    return ui::ListOf(list)->model()->index(row, column).data().toString().toStdU16String();
}

} // namespace qk::test
