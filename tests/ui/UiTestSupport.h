// Helpers of the window layer's tests: the main window of the viewer; the
// waiting events are taken, without ever blocking, by the contract suite's
// driver.
#pragma once

#include "app/MainWindow.h"
#include "tests/ui/contract/Driver.h"
#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <cstdint>
#include <ostream>
#include <vector>

namespace qk::test {

inline Text T(const char16_t* units) {
    return Text(units);
}

// The viewer's main window with its thirteen controls, as the program
// builds it, made the active window; the windows of earlier tests are gone.
inline Handle BuildMainWindow() {
    ui::CloseAllWindows();
    if (!OpenMainWindow()) return 0;
    QWidget* window = ui::FindWindow(MainWindow)->widget;
    window->activateWindow();
    if (!QTest::qWaitForWindowActive(window)) return 0;
    return reinterpret_cast<Handle>(window);
}

inline QWidget* ControlWidget(std::int64_t control) {
    ui::ControlRecord* record = ui::FindControl(control);
    return record ? record->widget : nullptr;
}

inline QWidget* Widget(Handle handle) {
    return reinterpret_cast<QWidget*>(handle);
}

} // namespace qk::test
