#include "app/LoadProgress.h"

#include "app/LargePages.h"

#include "core/DuplicateRecord.h"
#include "core/RecordTable.h"
#include "ui/Progress.h"

#include <cstddef>
#include <new>
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

// Address space held back for the window layer from the start and through
// each load, given back when a load ends (and taken again for the next): a
// load that takes all there is under a memory limit still leaves room to
// show its message and the windows. Larger than the
// allocator's largest threshold for mapping, so that it is a mapping of its
// own, never touched, and returned to the system whole.
constexpr std::size_t kReserveBytes = std::size_t{40} << 20;
void* gReserve = nullptr;

void TakeReserve() {
    if (!gReserve) gReserve = ::operator new(kReserveBytes, std::nothrow);
}

void GiveBackReserve() {
    ::operator delete(gReserve);
    gReserve = nullptr;
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

namespace {

// Whether a load leaves the records on screen as they are.
bool KeepsRecords(const WindowLoad& load, bool keepUnopened) {
    switch (load.result) {
    case LoadResult::Loaded:
        return load.noRecord;
    case LoadResult::CannotOpen:
        return keepUnopened;
    case LoadResult::OutOfMemory:
        return false;
    case LoadResult::Cancelled:
    case LoadResult::Changed:
    case LoadResult::ReadFailed:
        break;
    }
    return true;
}

} // namespace

void PrepareForMemoryLimits() {
#if defined(__GLIBC__)
    // Each allocator arena of a thread reserves 64 MB of address space: few
    // arenas leave that space to the log.
    mallopt(M_ARENA_MAX, 2);
    // The large arrays of a load, a sort or the rank work go back to the
    // system when they are freed, rather than stay with the allocator.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
#endif
    AskForLargePages();
    TakeReserve();
}

WindowLoad ReadLogShowingProgress(const Text& path, bool keepUnopened) {
    // The records on screen stay until the new log is in: both are held for
    // the time of the load. Rank work on them waits, so that it does not take
    // the second core from the loading; what it had finished is kept.
    static RecordTable incoming;
    const bool ranked = RankWorkFinished(AllRecords);
    if (ranked)
        FinishRankWork(AllRecords);
    else
        CallOffRankWork(AllRecords);
    WindowLoad load;
    {
        DelayedProgressWindow progress(path);
        BlockLoadOptions options;
        options.progress = [&](std::uint64_t read, std::uint64_t size) {
            return progress(read, size);
        };
        TakeReserve(); // kept back from the load when it can be had
        load.result = LoadLogTable(path, incoming, options);
        GiveBackReserve();
    }
    if (load.result == LoadResult::CannotOpen) {
        load.error = LastFileError();
        load.errorNumber = FileErrorNumber();
    }
    load.noRecord = load.result == LoadResult::Loaded && TableCount(incoming) == 0;
    load.kept = KeepsRecords(load, keepUnopened);
    if (load.kept) {
        ClearTable(incoming);
#if defined(__GLIBC__)
        malloc_trim(0); // what the loading threads freed goes back, as below
#endif
        if (!ranked) StartRankWork(AllRecords);
        return load;
    }
    CreateDuplicateLists(); // frees the old log first
    SwapTables(AllRecords, incoming);
#if defined(__GLIBC__)
    // The old log's pages go back to the system rather than stay with the
    // allocator, which keeps much of what the loading threads freed.
    malloc_trim(0);
#endif
    return load;
}

} // namespace qk
