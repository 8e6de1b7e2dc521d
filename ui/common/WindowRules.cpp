#include "ui/common/WindowRules.h"

#include "ui/Controls.h"
#include "ui/Events.h"

#include <algorithm>
#include <cstdint>

namespace qk::ui {

WindowStyle StyleOf(std::uint32_t flags) {
    std::uint32_t bits = flags & ~kWindowNotCurrent;
    if ((bits & ~(kWindowCentreOnScreen | kWindowCentreOnActive | kWindowInvisible |
                  kWindowEscapeCloses)) == 0)
        bits |= kWindowTitleBar;
    WindowStyle style{};
    style.invisible = bits & kWindowInvisible;
    style.tool = bits & kWindowToolWindow;
    if (style.tool) {
        bits &= ~(kWindowMinimizeBox | kWindowMaximizeBox | kWindowShowMaximized |
                  kWindowShowMinimized);
        bits |= kWindowTitleBar;
    }
    style.centreOnScreen = bits & kWindowCentreOnScreen;
    style.centreOnActive = bits & kWindowCentreOnActive;
    style.showNoActivate = bits & kWindowShowNoActivate;
    style.showMaximized = bits & kWindowShowMaximized;
    style.showMinimized = bits & kWindowShowMinimized;
    style.escapeCloses = bits & kWindowEscapeCloses;
    constexpr std::uint32_t kRequests =
        kWindowCentreOnScreen | kWindowCentreOnActive | kWindowToolWindow | kWindowNotCurrent |
        kWindowShowNoActivate | kWindowInvisible | kWindowEscapeCloses;
    style.bits = bits & ~kRequests;
    return style;
}

int NextTabStop(int stops, int focused, bool forward) {
    if (stops <= 0) return -1;
    if (focused < 0 || focused >= stops) return forward ? 0 : stops - 1;
    if (forward) return focused + 1 == stops ? 0 : focused + 1;
    return focused == 0 ? stops - 1 : focused - 1;
}

Rect CentredOnScreen(int width, int height, const Rect& screen) {
    const int usedWidth = std::min(width, screen.width);
    const int usedHeight = std::min(height, screen.height);
    return {screen.x + (screen.width - usedWidth) / 2, screen.y + (screen.height - usedHeight) / 2,
            width, height};
}

Rect CentredOn(int width, int height, const Rect& active) {
    return {std::max(0, active.x + (active.width - width) / 2),
            std::max(0, active.y + (active.height - height) / 2), width, height};
}

SizeChange SizeEventsOf(SizeState before, SizeState now) {
    switch (now) {
    case SizeState::Minimized:
        return {{MinimizeEvent}, false};
    case SizeState::Maximized:
        return {{MaximizeEvent, SizeEvent}, false};
    case SizeState::Normal:
        break;
    }
    if (before != SizeState::Normal) return {{RestoreEvent, SizeEvent}, true};
    return {{SizeEvent}, true};
}

LabelSpan GrownLabel(int placedX, int placedWidth, int needed) {
    const int right = placedX + placedWidth;
    const int left = needed > placedWidth ? std::max(0, right - needed) : placedX;
    return {left, right - left};
}

int ProgressStep(std::uint64_t done, std::uint64_t total) {
    if (total == 0 || done >= total) return kProgressSteps;
    // done < total, so done * steps cannot pass total * steps; wide totals
    // are divided first.
    if (done > UINT64_MAX / kProgressSteps)
        return std::min(kProgressSteps, int(done / (total / kProgressSteps)));
    return int(done * kProgressSteps / total);
}

} // namespace qk::ui
