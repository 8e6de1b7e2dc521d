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

LoadResult ReadLogShowingProgress(const Text& path) {
    const auto started = std::chrono::steady_clock::now();
    bool shown = false;
    const LoadResult result = ReadDuplicateLog(path, [&](std::uint64_t read, std::uint64_t size) {
        if (!shown) {
            if (std::chrono::steady_clock::now() - started < progressWindowDelay) return true;
            shown = true;
            // A window that cannot be shown does not stop the loading.
            OpenProgressWindow(u"Quellkamp", NameOf(path));
        }
        return UpdateProgressWindow(read, size);
    });
    if (shown) CloseProgressWindow();
    return result;
}

} // namespace qk
