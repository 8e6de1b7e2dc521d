// Loading a log with a progress window for the long loads.
#pragma once

#include "core/LogLoading.h"
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

// Readies the program for a limit on its address space, before the window
// layer starts: few allocator arenas, and room held back for the windows,
// given back whenever a load ends, so that a load that ran out of memory can
// still show its message and the windows.
void PrepareForMemoryLimits();

// Loads the log at `path` as ReadDuplicateLog does. Once loading has taken
// progressWindowDelay, a window titled with the log's name shows its path
// and how far loading has come; its Cancel ends the loading
// (LoadResult::Cancelled). The log is read beside the records on screen,
// which a cancelled load leaves as they were (NameMatches included); any
// other result replaces them, with NameMatches made empty.
LoadResult ReadLogShowingProgress(const Text& path);

} // namespace qk
