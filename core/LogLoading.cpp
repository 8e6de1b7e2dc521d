#include "core/LogLoading.h"

#include "core/BlockLoading.h"
#include "core/DuplicateRecord.h"
#include "core/RecordTable.h"

namespace qk {

bool ReadDuplicateLog(const Text& path) {
    return ReadDuplicateLog(path, nullptr) == LoadResult::Loaded;
}

LoadResult ReadDuplicateLog(const Text& path, const LoadProgress& progress) {
    CreateDuplicateLists();
    BlockLoadOptions options;
    bool cancelled = false;
    if (progress) {
        options.progress = [&](std::uint64_t read, std::uint64_t size) {
            cancelled = cancelled || !progress(read, size);
            return !cancelled;
        };
    }
    if (!LoadLogTable(path, AllRecords, options)) return LoadResult::CannotOpen;
    if (!cancelled) return LoadResult::Loaded;
    CreateDuplicateLists();
    return LoadResult::Cancelled;
}

bool CountDuplicateLog(const Text& path, std::u16string_view findText, std::int64_t& listed,
                       std::int64_t& total) {
    return CountLogRecords(path, findText, listed, total);
}

} // namespace qk
