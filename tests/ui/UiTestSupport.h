// Helpers of the window layer's tests: the main window of the viewer, and
// taking the waiting events without ever blocking.
#pragma once

#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include "app/MainWindow.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <cstdint>
#include <ostream>
#include <vector>

namespace qk::test {

struct Event {
    std::int64_t number;
    std::int64_t source;
    std::int64_t type;
    friend bool operator==(const Event&, const Event&) = default;
    friend std::ostream& operator<<(std::ostream& out, const Event& e) {
        return out << "{" << e.number << ", " << e.source << ", " << e.type << "}";
    }
};

// Lets Qt deliver what is pending, then takes every waiting event.
inline std::vector<Event> TakeEvents() {
    QApplication::processEvents();
    std::vector<Event> events;
    std::int64_t number = 0;
    while (ui::TakeWaitingEvent(number))
        events.push_back({number, EventSource(), EventType()});
    return events;
}

// Only the control events.
inline std::vector<Event> TakeControlEvents() {
    std::vector<Event> all = TakeEvents();
    std::vector<Event> controls;
    for (const Event& e : all)
        if (e.number == ControlEvent) controls.push_back(e);
    return controls;
}

inline Event Control(std::int64_t source, std::int64_t type) {
    return {ControlEvent, source, type};
}

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
