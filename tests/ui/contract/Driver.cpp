// What the drivers of both window layers share: the events taken from the
// layer's queue once the input has settled.
#include "tests/ui/contract/Driver.h"

#include "ui/Events.h"
#include "ui/common/EventQueue.h"

namespace qk::test {

Events TakeEvents() {
    LetInputSettle();
    Events events;
    std::int64_t number = 0;
    while (ui::TakeWaitingEvent(number))
        events.push_back({number, EventSource(), EventType()});
    return events;
}

Events TakeControlEvents(std::int64_t alsoNumber) {
    Events kept;
    for (const Event& e : TakeEvents())
        if (e.number == ControlEvent || (alsoNumber != 0 && e.number == alsoNumber))
            kept.push_back(e);
    return kept;
}

} // namespace qk::test
