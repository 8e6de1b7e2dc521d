// The window rules both window layers follow, apart from the toolkit: what
// OpenWindow's flags mean, the Tab order, where a centred window goes, which
// events a change of the window's state makes, and how a text label grows.
#pragma once

#include <cstdint>
#include <vector>

namespace qk::ui {

// The style OpenWindow works with: its flags with the title bar added when
// nothing else is asked for, the tool window's bits applied, and the bits
// that only ask for something taken out.
struct WindowStyle {
    std::uint32_t bits; // the window's own style bits (title bar, boxes, border)
    bool invisible;
    bool tool;
    bool centreOnScreen;
    bool centreOnActive;
    bool showNoActivate;
    bool showMaximized;
    bool showMinimized;
    bool escapeCloses; // Escape posts CloseWindowEvent
};
WindowStyle StyleOf(std::uint32_t flags);

// Tab and Shift+Tab: the index among `stops` tab stops (enabled, visible,
// in creation order) that gets the focus when `focused` has it (-1 when no
// stop has it); -1 when there are none.
int NextTabStop(int stops, int focused, bool forward);

struct Rect {
    int x, y, width, height;
};
// Where a window of outer size `width` x `height` goes when it is centred
// on the whole screen (never off its top left) or on the active window
// (never at a negative position).
Rect CentredOnScreen(int width, int height, const Rect& screen);
Rect CentredOn(int width, int height, const Rect& active);

// The window's size state and what a change of it posts.
enum class SizeState { Normal, Minimized, Maximized };
struct SizeChange {
    std::vector<std::int64_t> events; // event numbers, in order
    bool removeWaitingSizes;          // waiting SizeEvents of the window go first
};
SizeChange SizeEventsOf(SizeState before, SizeState now);

// A text label shows its whole text: one wider than the label was placed
// grows to the left, its right edge staying put, never beyond the window's
// left edge, and shrinks back when the text fits again. `needed` is the
// width the text takes.
struct LabelSpan {
    int x, width;
};
LabelSpan GrownLabel(int placedX, int placedWidth, int needed);

// The progress bar counts in steps of a thousandth, whatever the sizes.
constexpr int kProgressSteps = 1000;
int ProgressStep(std::uint64_t done, std::uint64_t total);

} // namespace qk::ui
