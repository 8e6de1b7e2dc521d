#include "app/OverviewWork.h"

#include "app/LoadProgress.h"
#include "core/RecordTable.h"
#include "core/WaitCalling.h"
#include "ui/Dialogs.h"

#include <atomic>
#include <string>

namespace qk {
namespace {

// The progress window's title and text.
constexpr const char16_t* kWorkTitle = u"Übersicht";

} // namespace

bool WorkOutOverview(Overview& overview) {
    const std::uint64_t total = TableCount(AllRecords);
    std::atomic<bool> calledOff{false};
    std::atomic<std::uint64_t> done{0};
    DelayedProgressWindow progress{Text(kWorkTitle)};
    // The windows answer while the ranks are waited for; a cancel then stops
    // the work that follows them.
    const auto ask = [&] {
        if (!calledOff.load() && !progress(done.load(), total)) calledOff.store(true);
    };
    const std::vector<std::uint32_t>& ranks = NameRanks(AllRecords, ask);
    if (calledOff.load()) return false;
    if (ranks.size() != total) {
        ShowMessage(u"Information", u"Nicht genug Speicher für die Übersicht.");
        return false;
    }
    OverviewResult result = OverviewResult::NoMemory;
    Overview fresh;
    const bool ran = RunAside(
        [&] {
            try {
                result = ComputeOverview(AllRecords, ranks, fresh, &calledOff, &done);
            } catch (const std::bad_alloc&) {
                result = OverviewResult::NoMemory;
            }
        },
        ask);
    if (!ran) {
        // No helper thread: the work is done here, without a window.
        result = ComputeOverview(AllRecords, ranks, fresh, &calledOff, &done);
    }
    if (result == OverviewResult::CalledOff) return false;
    if (result == OverviewResult::NoMemory) {
        ShowMessage(u"Information", u"Nicht genug Speicher für die Übersicht.");
        return false;
    }
    overview = std::move(fresh);
    return true;
}

ExportOutcome ExportOverviewRows(const Text& file, ExportFormat format, const Overview& overview,
                                 OverviewList list, const std::vector<std::uint32_t>& rows,
                                 const ExportProgress& progress) {
    constexpr std::size_t kChunk = 1 << 16;
    constexpr std::size_t kAskEvery = 2048;
    return ExportThroughTemporary(file, [&](const ByteWriter& write, bool& cancelled) {
        std::string out;
        out.reserve(kChunk + 1024);
        if (list == OverviewList::Groups)
            AppendGroupHeading(out, format);
        else
            AppendPairHeading(out, format);
        for (std::size_t k = 0; k < rows.size(); ++k) {
            if (progress && k % kAskEvery == 0 && !progress(k, rows.size())) {
                cancelled = true;
                return false;
            }
            if (list == OverviewList::Groups && rows[k] < overview.groups.size())
                AppendGroupLine(out, AllRecords, overview.groups[rows[k]], format);
            else if (list == OverviewList::Pairs && rows[k] < overview.pairs.size())
                AppendPairLine(out, AllRecords, overview.pairs[rows[k]], format);
            if (out.size() >= kChunk) {
                if (!write(out)) return false;
                out.clear();
            }
        }
        return out.empty() || write(out);
    });
}

} // namespace qk
