#include "app/LoadProgress.h"

#include "core/DuplicateRecord.h"
#include "core/RecordTable.h"
#include "ui/Progress.h"

#include <string_view>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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
    // The records on screen stay until the new log is in: both are held for
    // the time of the load. Rank work on them waits, so that it does not take
    // the second core from the loading; what it had finished is kept.
    static RecordTable incoming;
    const bool ranked = RankWorkFinished(AllRecords);
    if (ranked)
        FinishRankWork(AllRecords);
    else
        CallOffRankWork(AllRecords);
    LoadResult result;
    {
        DelayedProgressWindow progress(path);
        BlockLoadOptions options;
        options.progress = [&](std::uint64_t read, std::uint64_t size) {
            return progress(read, size);
        };
        result = LoadLogTable(path, incoming, options);
    }
    if (result == LoadResult::Cancelled) {
        ClearTable(incoming);
#if defined(__GLIBC__)
        malloc_trim(0); // what the loading threads freed goes back, as below
#endif
        if (!ranked) StartRankWork(AllRecords);
        return result;
    }
    CreateDuplicateLists(); // frees the old log first
    SwapTables(AllRecords, incoming);
#if defined(__GLIBC__)
    // The old log's pages go back to the system rather than stay with the
    // allocator, which keeps much of what the loading threads freed.
    malloc_trim(0);
#endif
    return result;
}

} // namespace qk
