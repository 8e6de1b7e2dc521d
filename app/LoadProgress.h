// Loading a log with a progress window for the long loads.
#pragma once

#include "core/LogLoading.h"
#include "text/FileLayer.h"
#include "text/Text.h"

#include <chrono>
#include <cstdint>

namespace qk {

// How long a load runs before the progress window appears. Tests shorten it.
inline std::chrono::milliseconds progressWindowDelay{500};

// The progress of a long task on `path`: asked now and then how far the
// task has come, it opens the progress window once the task has taken
// progressWindowDelay (titled with the file's name, showing its path) and
// answers false once the user cancelled. Until the window opens, the other
// windows repaint while the task runs. The window goes with it.
class DelayedProgressWindow {
  public:
    explicit DelayedProgressWindow(const Text& path);
    ~DelayedProgressWindow();
    DelayedProgressWindow(const DelayedProgressWindow&) = delete;
    DelayedProgressWindow& operator=(const DelayedProgressWindow&) = delete;
    bool operator()(std::uint64_t done, std::uint64_t total);

  private:
    static constexpr std::chrono::milliseconds kRepaintEvery{20};
    Text path_;
    std::chrono::steady_clock::time_point started_;
    std::chrono::steady_clock::time_point repainted_;
    bool shown_ = false;
};

// How a load into the window came out: the load's result, why it could not
// be opened (the file layer's reason), whether the log held no record, and
// whether the records on screen stayed.
struct WindowLoad {
    LoadResult result = LoadResult::Cancelled;
    FileError error = FileError::Other;
    long errorNumber = 0;
    bool noRecord = false;
    bool kept = true;
};

// Readies the program for a limit on its address space, before the window
// layer starts: few allocator arenas, and room held back for the windows,
// given back whenever a load ends, so that a load that ran out of memory can
// still show its message and the windows. Large arrays are mapped on their
// own, so that they go back when freed, and on large pages where the
// system gives them (AskForLargePages).
void PrepareForMemoryLimits();

// Loads the log at `path` as ReadDuplicateLog does. Once loading has taken
// progressWindowDelay, a window titled with the log's name shows its path
// and how far loading has come; its Cancel ends the loading
// (LoadResult::Cancelled). The log is read beside the records on screen,
// which stay as they were (NameMatches included) when the load is cancelled,
// when the log changed while it was read or could not be read to its end,
// when it holds no record, and with `keepUnopened` when it cannot be opened;
// otherwise the new records (none, after a failure) replace them, with
// NameMatches made empty.
WindowLoad ReadLogShowingProgress(const Text& path, bool keepUnopened);

} // namespace qk
