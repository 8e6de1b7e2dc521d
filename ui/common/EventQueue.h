// The event queue both window layers post to and WaitForEvent takes from:
// merging of identical waiting events, suppression of the program's own
// changes, removal of a gone window's or control's events, and the current
// event. One lock guards all of it, the suppression count included.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qk::ui {

struct EventRecord {
    std::int64_t number;
    std::int64_t source;
    std::int64_t window;
    std::int64_t type;
    friend bool operator==(const EventRecord&, const EventRecord&) = default;
};

// Event numbers below this one merge with an identical waiting tail record.
constexpr std::int64_t kMergeLimit = 65536;

// Dropped while events are suppressed; merged into an identical tail record.
void PostEvent(std::int64_t number, std::int64_t source, std::int64_t window, std::int64_t type);
// Appends even while events are suppressed: for events handed over from
// another thread.
void PostEventUnsuppressed(std::int64_t number, std::int64_t source, std::int64_t window,
                           std::int64_t type);
// Every waiting ControlEvent of the control / every waiting event of the
// window / every waiting SizeEvent of the window goes.
void RemoveControlEvents(std::int64_t control, std::int64_t window);
void RemoveWindowEvents(std::int64_t window);
void RemoveSizeEvents(std::int64_t window);
// Empties the queue and ends any suppression.
void ClearEvents();

// While one of these lives, posted events are dropped: the program's own
// changes to its controls never come back as events.
void RaiseSuppression();
void LowerSuppression();
class SuppressEvents {
  public:
    SuppressEvents() { RaiseSuppression(); }
    ~SuppressEvents() { LowerSuppression(); }
    SuppressEvents(const SuppressEvents&) = delete;
    SuppressEvents& operator=(const SuppressEvents&) = delete;
};

bool HasWaitingEvent();
std::size_t WaitingEventCount();
// The current event becomes empty: number 0, type -1, source and window kept.
void MarkCurrentEmpty();
// Takes the head record as the current event; false when none waits (the
// current event is then left alone).
bool TakeHead(std::int64_t& number);
// A test hook: MarkCurrentEmpty and TakeHead, only when an event waits.
bool TakeWaitingEvent(std::int64_t& number);
EventRecord CurrentEvent();

} // namespace qk::ui
