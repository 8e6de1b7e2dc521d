#include "ui/common/EventQueue.h"

#include "ui/Events.h"

#include <algorithm>
#include <deque>
#include <mutex>

namespace qk {

namespace ui {

namespace {

struct EventState {
    std::mutex lock;
    std::deque<EventRecord> queue; // the tail is queue.back() while untaken
    EventRecord current{0, 0, 0, -1};
    int suppressed = 0;
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

void Append(EventState& state, const EventRecord& event) {
    if (!state.queue.empty() && event.number < kMergeLimit) {
        const EventRecord& tail = state.queue.back();
        if (tail.number == event.number && tail.source == event.source &&
            tail.window == event.window && tail.type == event.type)
            return;
    }
    state.queue.push_back(event);
}

} // namespace

void PostEvent(std::int64_t number, std::int64_t source, std::int64_t window, std::int64_t type) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    if (state.suppressed > 0) return;
    Append(state, {number, source, window, type});
}

void PostEventUnsuppressed(std::int64_t number, std::int64_t source, std::int64_t window,
                           std::int64_t type) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    Append(state, {number, source, window, type});
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

void MarkCurrentEmpty() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    state.current.number = 0;
    state.current.type = -1;
}

bool TakeHead(std::int64_t& number) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    if (state.queue.empty()) return false;
    state.current = state.queue.front();
    state.queue.pop_front();
    number = state.current.number;
    return true;
}

bool TakeWaitingEvent(std::int64_t& number) {
    if (!HasWaitingEvent()) return false;
    MarkCurrentEmpty();
    return TakeHead(number);
}

EventRecord CurrentEvent() {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    return state.current;
}

} // namespace ui

std::int64_t EventSource() {
    return ui::CurrentEvent().source;
}

std::int64_t EventType() {
    return ui::CurrentEvent().type;
}

} // namespace qk
