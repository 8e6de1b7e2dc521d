// Loading a log with a progress window for the long loads.
#pragma once

#include "core/LogLoading.h"
#include "text/Text.h"

#include <chrono>

namespace qk {

// How long a load runs before the progress window appears. Tests shorten it.
inline std::chrono::milliseconds progressWindowDelay{500};

// Loads the log at `path` as ReadDuplicateLog does. Once loading has taken
// progressWindowDelay, a window shows the log's name and how far loading
// has come; its Cancel ends the loading (LoadResult::Cancelled).
LoadResult ReadLogShowingProgress(const Text& path);

} // namespace qk
