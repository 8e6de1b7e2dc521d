#include "app/LoadProgress.h"

#include "ui/Progress.h"

#include <string_view>

namespace qk {
namespace {

// The file name of a path with either kind of separator.
Text NameOf(const Text& path) {
    const std::u16string_view units = path.view();
    const std::size_t cut = units.find_last_of(u"\\/");
    return cut == std::u16string_view::npos ? path : Text(units.substr(cut + 1));
}

} // namespace

DelayedProgressWindow::DelayedProgressWindow(const Text& path)
    : path_(path), started_(std::chrono::steady_clock::now()) {}

DelayedProgressWindow::~DelayedProgressWindow() {
    if (shown_) CloseProgressWindow();
}

bool DelayedProgressWindow::operator()(std::uint64_t done, std::uint64_t total) {
    if (!shown_) {
        const auto now = std::chrono::steady_clock::now();
        if (now - started_ < progressWindowDelay) {
            // Until then the windows still repaint.
            if (now - repainted_ >= kRepaintEvery) {
                repainted_ = now;
                RepaintWindows();
            }
            return true;
        }
        shown_ = true;
        // A window that cannot be shown does not stop the task. It is titled
        // by the file, so that it is not taken for the main window.
        OpenProgressWindow(NameOf(path_), path_);
    }
    return UpdateProgressWindow(done, total);
}

LoadResult ReadLogShowingProgress(const Text& path) {
    DelayedProgressWindow progress(path);
    return ReadDuplicateLog(
        path, [&](std::uint64_t read, std::uint64_t size) { return progress(read, size); });
}

} // namespace qk
