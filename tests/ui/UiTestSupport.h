// Helpers of the window layer's tests: the main window of the viewer, and
// taking the waiting events without ever blocking.
#pragma once

#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
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
// builds it.
inline Handle BuildMainWindow() {
    const Handle window = OpenWindow(0, 0, 0, 950, 600, T(u"Quellkamp"), 0x00C80001);
    if (!window) return 0;
    const char16_t* headings[] = {u"Pfad", u"Name", u"Byte", u"Datum", u"Zeit", u"User"};
    const int widths[] = {200, 250, 80, 100, 100, 100};
    CreateListView(0, 10, 45, 930, 400, T(u"Pfad"), 200, 0x40010000);
    for (int c = 1; c < 6; ++c)
        AddColumn(0, c, T(headings[c]), widths[c]);
    for (int n = 1; n <= 6; ++n)
        CreateOptionButton(n, 80 + 70 * (n - 1), 10, 60, 20, T(headings[n - 1]));
    CreateTextLabel(7, 10, 13, 60, 20, T(u"Sort by..."), 0);
    CreatePushButton(8, 500, 10, 80, 20, T(u"Export to..."), 0);
    CreateListView(9, 10, 450, 930, 140, T(u"Pfad"), 200, 0x40010000);
    for (int c = 1; c < 6; ++c)
        AddColumn(9, c, T(headings[c]), widths[c]);
    CreateTextLabel(10, 810, 13, 40, 20, T(u"Find"), 2);
    CreateTextField(11, 860, 13, 80, 20, T(u"?"), 0);
    CreateTextLabel(12, 720, 13, 80, 20, T(u"Sätze"), 0);
    return window;
}

inline QWidget* ControlWidget(std::int64_t control) {
    ui::ControlRecord* record = ui::FindControl(control);
    return record ? record->widget : nullptr;
}

inline QWidget* Widget(Handle handle) {
    return reinterpret_cast<QWidget*>(handle);
}

} // namespace qk::test
