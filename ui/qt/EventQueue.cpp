// The event queue and the event loop on top of Qt's.
#include "ui/Events.h"
#include "ui/qt/UiInternal.h"

#include <QCoreApplication>
#include <QEventLoop>

#include <algorithm>
#include <deque>
#include <mutex>

namespace qk {

namespace ui {

namespace {

struct EventRecord {
    std::int64_t number;
    std::int64_t source;
    std::int64_t window;
    std::int64_t type;
};

// Event numbers below this one merge with an identical waiting tail record.
constexpr std::int64_t kMergeLimit = 65536;

struct EventState {
    std::mutex lock;
    std::deque<EventRecord> queue; // the tail is queue.back() while untaken
    EventRecord current{0, 0, 0, -1};
    int suppressed = 0; // SuppressEvents: posting drops events while above 0
};

EventState& State() {
    static EventState state;
    return state;
}

template <typename Matches> void RemoveEvents(Matches matches) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    state.queue.erase(std::remove_if(state.queue.begin(), state.queue.end(), matches),
                      state.queue.end());
}

} // namespace

void PostEvent(std::int64_t number, std::int64_t source, std::int64_t window, std::int64_t type) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    if (state.suppressed > 0) return;
    if (!state.queue.empty() && number < kMergeLimit) {
        const EventRecord& tail = state.queue.back();
        if (tail.number == number && tail.source == source && tail.window == window &&
            tail.type == type)
            return;
    }
    state.queue.push_back({number, source, window, type});
}

void RemoveControlEvents(std::int64_t control, std::int64_t window) {
    RemoveEvents([&](const EventRecord& r) {
        return r.number == ControlEvent && r.source == control && r.window == window;
    });
}

void RemoveWindowEvents(std::int64_t window) {
    RemoveEvents([&](const EventRecord& r) { return r.window == window; });
}

void RemoveSizeEvents(std::int64_t window) {
    RemoveEvents([&](const EventRecord& r) { return r.number == SizeEvent && r.window == window; });
}

void ClearEvents() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    state.queue.clear();
    state.suppressed = 0;
}

void RaiseSuppression() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    ++state.suppressed;
}

void LowerSuppression() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    if (state.suppressed > 0) --state.suppressed;
}

bool HasWaitingEvent() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    return !state.queue.empty();
}

std::size_t WaitingEventCount() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    return state.queue.size();
}

namespace {

bool TakeHead(std::int64_t& number) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    if (state.queue.empty()) return false;
    state.current = state.queue.front();
    state.queue.pop_front();
    number = state.current.number;
    return true;
}

void MarkCurrentEmpty() {
    EventState& state = State();
    state.current.number = 0;
    state.current.type = -1;
}

} // namespace

bool TakeWaitingEvent(std::int64_t& number) {
    if (!HasWaitingEvent()) return false;
    MarkCurrentEmpty();
    return TakeHead(number);
}

} // namespace ui

std::int64_t WaitForEvent() {
    ui::MarkCurrentEmpty();
    std::int64_t number = 0;
    if (ui::TakeHead(number)) return number;
    // The views learn of the rows added since the last call before the
    // user can act on them.
    ui::FlushLists();
    // Blocks in the window system until something happened; window-system
    // activity that made no event just waits on.
    while (!ui::TakeHead(number)) {
        if (!QCoreApplication::instance()) return 0;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        ui::FlushLists();
    }
    return number;
}

std::int64_t EventSource() {
    return ui::State().current.source;
}

std::int64_t EventType() {
    return ui::State().current.type;
}

} // namespace qk
