// The event queue and the event loop on top of the thread's message queue.
#include "ui/Events.h"
#include "ui/win32/UiInternal.h"

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

// A window-system message whose number is also an event number must not be
// taken for that event.
bool IsEventNumber(std::int64_t number) {
    return number >= ControlEvent && number <= SizeEvent;
}

} // namespace

void PostEventUnsuppressed(std::int64_t number, std::int64_t source, std::int64_t window,
                           std::int64_t type) {
    EventState& state = State();
    std::lock_guard guard(state.lock);
    if (!state.queue.empty() && number < kMergeLimit) {
        const EventRecord& tail = state.queue.back();
        if (tail.number == number && tail.source == source && tail.window == window &&
            tail.type == type)
            return;
    }
    state.queue.push_back({number, source, window, type});
}

void PostEvent(std::int64_t number, std::int64_t source, std::int64_t window, std::int64_t type) {
    if (suppressedEvents > 0) return;
    PostEventUnsuppressed(number, source, window, type);
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
    suppressedEvents = 0;
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

void HandleMessage(MSG& message) {
    const HWND active = GetActiveWindow();
    const HACCEL shortcuts = ShortcutsOf(active);
    if (shortcuts && TranslateAcceleratorW(active, shortcuts, &message)) {
        // The keyboard is in use: focus rectangles are shown from now on.
        SendMessageW(active, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
        return;
    }
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

bool HandleWaitingMessage() {
    MSG message;
    if (!PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) return false;
    if (message.message != WM_QUIT) HandleMessage(message);
    return true;
}

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
    // The lists learn of the rows added since the last call before the user
    // can act on them.
    ui::FlushLists();
    // One message per call; the events its handling posts come with the
    // following calls.
    MSG message;
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) return WM_QUIT; // nothing in the program asks to quit; nothing to do
    if (got < 0) return 0;
    ui::HandleMessage(message);
    return ui::IsEventNumber(message.message) ? 0 : std::int64_t(message.message);
}

std::int64_t EventSource() {
    return ui::State().current.source;
}

std::int64_t EventType() {
    return ui::State().current.type;
}

} // namespace qk
