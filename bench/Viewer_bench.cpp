// What the user waits for in the viewer, measured in process through the
// routines the viewer runs and the real list widgets on the offscreen
// platform.
//
//   viewer_bench LOG [RUNS]
//
// Prints one line per operation: its name, the median, the fastest and the
// slowest of RUNS runs (at least 5) in milliseconds; then the memory figures.
// Every action includes the refresh of the lists and the count label, and
// the view catching up with the model.
#include "app/StartUp.h"
#include "app/ViewCommands.h"
#include "core/DuplicateRecord.h"
#include "core/LogLoading.h"
#include "core/RecordTable.h"
#include "text/Text.h"
#include "ui/Controls.h"
#include "app/LoadProgress.h"
#include "app/MainWindow.h"
#include "core/BlockLoading.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace qk {
namespace {

using Clock = std::chrono::steady_clock;

struct Timing {
    double median, fastest, slowest;
};

// Runs `prepare` untimed and `action` timed, `runs` times.
Timing Measure(int runs, const std::function<void()>& prepare,
               const std::function<void()>& action) {
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        prepare();
        const auto start = Clock::now();
        action();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    return {ms[ms.size() / 2], ms.front(), ms.back()};
}

// Medians by key, printed at the end for scripts: "#key median".
std::vector<std::pair<std::string, double>> gMedians;

void Report(const std::string& name, const Timing& t, const std::string& key = "") {
    std::printf("%-44s %10.1f %10.1f %10.1f\n", name.c_str(), t.median, t.fastest, t.slowest);
    std::fflush(stdout);
    if (!key.empty()) gMedians.emplace_back(key, t.median);
}

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
    return 0;
}

// Lets the views catch up with what the commands changed.
void Settle() {
    QApplication::processEvents();
}

void Find(const char16_t* text) {
    SetControlText(FindField, text);
    ApplyFindFilter();
    Settle();
}

} // namespace
} // namespace qk

int main(int argc, char** argv) {
    using namespace qk;
    if (argc < 2) {
        std::fprintf(stderr, "usage: viewer_bench LOG [RUNS]\n");
        return 2;
    }
    const Text log = Text::FromUtf8(argv[1]);
    const int runs = std::max(5, argc > 2 ? std::atoi(argv[2]) : 5);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    PrepareForMemoryLimits(); // as the viewer starts
    if (!StartUp(qtArgc, argv)) return 1;

    // Memory first, in a process that has loaded nothing yet.
    const long before = StatusKilobytes("VmRSS:");
    if (!ReadDuplicateLog(log)) {
        std::fprintf(stderr, "viewer_bench: cannot open the log\n");
        return 1;
    }
    const long peak = StatusKilobytes("VmHWM:");
    const long held = StatusKilobytes("VmRSS:");
    const std::int64_t records = TableCount(AllRecords);

    std::printf("%-44s %10s %10s %10s\n", "operation (ms)", "median", "fastest", "slowest");
    const auto freeRecords = [] { ClearTable(AllRecords); };
    Report("load (read, decode, parse, append)",
           Measure(runs, freeRecords, [&] { ReadDuplicateLog(log); }), "load");
#if defined(__GLIBC__)
    malloc_trim(0); // as the viewer does once a log is in
#endif

    // As the viewer does after loading: the ranks of names and sizes are
    // worked out on the other core while the list is filled and looked at.
    const auto rankStart = Clock::now();
    StartRankWork(AllRecords);
    if (!OpenMainWindow()) return 1;
    Settle();
    const auto clearUpperList = [] {
        ClearRows(RecordListView);
        Settle();
    };
    const auto firstFill = [] {
        ShowStartCount();
        FillRecordListView();
        Settle();
    };
    Report("first fill of the upper list", Measure(runs, clearUpperList, firstFill), "fill");
    FinishRankWork(AllRecords);
    const double ranksReady =
        std::chrono::duration<double, std::milli>(Clock::now() - rankStart).count();
    std::printf("%-44s %10.1f\n", "  ranks of names and sizes ready after (ms)", ranksReady);
    gMedians.emplace_back("ranks", ranksReady);

    const char* columns[] = {"Pfad", "Name", "Byte", "Datum", "Zeit", "User"};
    for (std::int64_t option = FirstSortOption; option <= LastSortOption; ++option) {
        const std::int64_t other = option == LastSortOption ? FirstSortOption : option + 1;
        const auto sortByOther = [&] {
            SortByOption(other); // start from another order each time
            Settle();
        };
        const auto sort = [&] {
            SortByOption(option);
            Settle();
        };
        Report(std::string("sort by ") + columns[option - 1] + " with the refill",
               Measure(runs, sortByOther, sort), std::string("sort-") + columns[option - 1]);
    }

    struct FindCase {
        const char* name;
        const char16_t* text;
        const char* key;
    };
    const FindCase finds[] = {
        {"find keystroke, few records contain it", u"Spannbügel_12", "find-few"},
        {"find keystroke, every record contains it", u":", "find-every"},
        {"find keystroke, no record contains it", u"zzzzz", "find-none"},
    };
    const auto listEverything = [] { Find(u":"); };
    for (const FindCase& find : finds) {
        Report(find.name, Measure(runs, listEverything, [&] { Find(find.text); }), find.key);
        std::printf("  listed %s\n", GetControlText(CountLabel).ToUtf8().c_str());
    }
    const char16_t* word[] = {u"F", u"Fl", u"Fla", u"Flan", u"Flans"};
    const auto typeWord = [&] {
        for (const char16_t* text : word)
            Find(text);
    };
    Report("five-letter word typed letter by letter (all)", Measure(runs, listEverything, typeWord),
           "find-word");
    double slowestLetter = 0;
    for (const char16_t* text : word) {
        const Timing t = Measure(
            runs, [] {}, [&] { Find(text); });
        slowestLetter = std::max(slowestLetter, t.median);
    }
    std::printf("%-44s %10.1f\n", "  slowest single letter (median)", slowestLetter);
    gMedians.emplace_back("find-letter", slowestLetter);

    Find(u":");
    ui::ListOf(RecordListView)->selectRow(0); // as a click would
    Settle();
    const auto lookUp = [] {
        ShowNameMatches();
        Settle();
    };
    Report("name match lookup with the lower list's fill",
           Measure(
               runs, [] {}, lookUp),
           "names");
    std::printf("%-44s %10lld\n", "  lower list rows",
                static_cast<long long>(RowCount(MatchListView)));

    const long after = StatusKilobytes("VmHWM:");

    // F5: the log read again beside the one on screen, which it then
    // replaces. The peak is counted afresh from here.
    const auto resetPeak = [] { std::ofstream("/proc/self/clear_refs") << "5"; };
    resetPeak();
    const long beforeReload = StatusKilobytes("VmRSS:");
    // As F5 does: the lists emptied and filled again from the new table.
    ReadLogShowingProgress(log, true);
    ClearRows(MatchListView);
    ClearRows(RecordListView);
    FillRecordListView();
    Settle();
    const long reloadPeak = StatusKilobytes("VmHWM:");
    // A reload cancelled halfway, as the progress window's Cancel ends it:
    // what it read is dropped and its pages go back as the viewer's are.
    const long beforeCancel = StatusKilobytes("VmRSS:");
    {
        RecordTable incoming;
        BlockLoadOptions options;
        options.progress = [](std::uint64_t read, std::uint64_t size) { return read < size / 2; };
        LoadLogTable(log, incoming, options);
        ClearTable(incoming);
    }
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
    const long afterCancel = StatusKilobytes("VmRSS:");
    std::printf("%-44s %10lld\n", "records", static_cast<long long>(records));
    std::printf("%-44s %10.1f\n", "peak resident memory after loading (MB)", peak / 1024.0);
    std::printf("%-44s %10.1f\n", "bytes per record (rise of peak resident)",
                records ? (peak - before) * 1024.0 / static_cast<double>(records) : 0.0);
    std::printf("%-44s %10.1f\n", "bytes per record held after loading",
                records ? (held - before) * 1024.0 / static_cast<double>(records) : 0.0);
    std::printf("%-44s %10.1f\n", "peak resident memory at the end (MB)", after / 1024.0);
    std::printf("%-44s %10.1f\n", "F5: resident before (MB)", beforeReload / 1024.0);
    std::printf("%-44s %10.1f\n", "F5: peak resident memory (MB)", reloadPeak / 1024.0);
    std::printf("%-44s %10.1f\n", "cancelled reload: resident before (MB)", beforeCancel / 1024.0);
    std::printf("%-44s %10.1f\n", "cancelled reload: resident after (MB)", afterCancel / 1024.0);
    for (const auto& [key, median] : gMedians)
        std::printf("#%s %.1f\n", key.c_str(), median);
    return ShutDown();
}
