#include "ui/Events.h"
#include "ui/common/EventQueue.h"

#include <gtest/gtest.h>

#include <vector>

namespace qk::ui {
namespace {

using Events = std::vector<EventRecord>;

Events TakeAll() {
    Events taken;
    std::int64_t number = 0;
    while (TakeWaitingEvent(number))
        taken.push_back(CurrentEvent());
    return taken;
}

enum class Step {
    Post,
    PostUnsuppressed,
    Suppress,
    Unsuppress,
    Take,
    RemoveControl,
    RemoveWindow,
    RemoveSizes
};
struct Action {
    Step step;
    EventRecord event{};
};

struct QueueCase {
    const char* label;
    std::vector<Action> actions;
    Events left;
};

constexpr EventRecord kClick{ControlEvent, 3, 0, 0};
constexpr EventRecord kChange{ControlEvent, 3, 0, 768};
constexpr EventRecord kSize{SizeEvent, 0, 0, 0};
constexpr EventRecord kOtherWindowSize{SizeEvent, 0, 1, 0};
constexpr EventRecord kBig{70000, 0, 0, 0}; // above the merge limit

class EventQueueCases : public testing::TestWithParam<QueueCase> {};

TEST_P(EventQueueCases, LeaveTheseWaiting) {
    ClearEvents();
    for (const Action& a : GetParam().actions) {
        std::int64_t number = 0;
        switch (a.step) {
        case Step::Post:
            PostEvent(a.event.number, a.event.source, a.event.window, a.event.type);
            break;
        case Step::PostUnsuppressed:
            PostEventUnsuppressed(a.event.number, a.event.source, a.event.window, a.event.type);
            break;
        case Step::Suppress:
            RaiseSuppression();
            break;
        case Step::Unsuppress:
            LowerSuppression();
            break;
        case Step::Take:
            TakeWaitingEvent(number);
            break;
        case Step::RemoveControl:
            RemoveControlEvents(a.event.source, a.event.window);
            break;
        case Step::RemoveWindow:
            RemoveWindowEvents(a.event.window);
            break;
        case Step::RemoveSizes:
            RemoveSizeEvents(a.event.window);
            break;
        }
    }
    EXPECT_EQ(TakeAll(), GetParam().left);
    ClearEvents();
}

INSTANTIATE_TEST_SUITE_P(
    Queue, EventQueueCases,
    testing::Values(
        QueueCase{"identical tail merges", {{Step::Post, kClick}, {Step::Post, kClick}}, {kClick}},
        QueueCase{"another between keeps both",
                  {{Step::Post, kClick}, {Step::Post, kChange}, {Step::Post, kClick}},
                  {kClick, kChange, kClick}},
        QueueCase{"a taken record merges nothing",
                  {{Step::Post, kClick}, {Step::Take}, {Step::Post, kClick}},
                  {kClick}},
        QueueCase{"numbers from 65536 never merge",
                  {{Step::Post, kBig}, {Step::Post, kBig}},
                  {kBig, kBig}},
        QueueCase{"suppressed events are lost, nested suppression counts",
                  {{Step::Suppress},
                   {Step::Suppress},
                   {Step::Post, kClick},
                   {Step::Unsuppress},
                   {Step::Post, kChange},
                   {Step::Unsuppress},
                   {Step::Post, kSize}},
                  {kSize}},
        QueueCase{"lowering below zero does not make a credit",
                  {{Step::Unsuppress}, {Step::Suppress}, {Step::Post, kClick}},
                  {}},
        QueueCase{"handed-over events pass suppression",
                  {{Step::Suppress}, {Step::PostUnsuppressed, kClick}, {Step::Unsuppress}},
                  {kClick}},
        QueueCase{"a control's removal takes only its control events",
                  {{Step::Post, kClick}, {Step::Post, kSize}, {Step::RemoveControl, kClick}},
                  {kSize}},
        QueueCase{
            "a window's removal takes all of its events",
            {{Step::Post, kClick}, {Step::Post, kOtherWindowSize}, {Step::RemoveWindow, kSize}},
            {kOtherWindowSize}},
        QueueCase{"size removal is per window",
                  {{Step::Post, kSize},
                   {Step::Post, kOtherWindowSize},
                   {Step::Post, kClick},
                   {Step::RemoveSizes, kSize}},
                  {kOtherWindowSize, kClick}}),
    [](const auto& info) {
        std::string name = info.param.label;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

TEST(CurrentEvent, EmptyAfterAWaitThatTookNothingWithTheSourceKept) {
    ClearEvents();
    PostEvent(ControlEvent, 11, 0, 768);
    std::int64_t number = 0;
    ASSERT_TRUE(TakeHead(number));
    MarkCurrentEmpty();
    EXPECT_FALSE(TakeHead(number));
    EXPECT_EQ(EventType(), -1);
    EXPECT_EQ(EventSource(), 11);
}

} // namespace
} // namespace qk::ui
