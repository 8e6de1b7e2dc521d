// Type-ahead in the upper list at scale: keys pressed in the real list
// widget on the offscreen platform, over the rows the loaded records give.
//
//   typeahead_bench LOG [RUNS]
//
// Prints one line per case: the median, the fastest and the slowest of RUNS
// runs (at least 5) in milliseconds.
#include "app/MainWindow.h"
#include "app/StartUp.h"
#include "app/ViewCommands.h"
#include "core/LogLoading.h"
#include "core/RecordTable.h"
#include "ui/Controls.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QKeyEvent>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace qk {
namespace {

using Clock = std::chrono::steady_clock;

void Report(const char* name, int runs, const std::function<void()>& prepare,
            const std::function<void()>& action) {
    std::vector<double> ms;
    for (int run = 0; run < runs; ++run) {
        prepare();
        const auto start = Clock::now();
        action();
        ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%-52s %8.2f %8.2f %8.2f\n", name, ms[ms.size() / 2], ms.front(), ms.back());
    std::fflush(stdout);
}

// One key press with `text`, as the window system hands it to the list.
void Type(ui::ListView* list, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
    QCoreApplication::sendEvent(list, &press);
}

// The keys typed before are forgotten: the next one starts a new search.
void PauseTyping() {
    std::this_thread::sleep_for(std::chrono::milliseconds(3));
}

void SelectRow(ui::ListView* list, int row) {
    list->setCurrentIndex(list->model()->index(row, 0));
}

} // namespace
} // namespace qk

int main(int argc, char** argv) {
    using namespace qk;
    if (argc < 2) {
        std::fprintf(stderr, "usage: typeahead_bench LOG [RUNS]\n");
        return 2;
    }
    const int runs = std::max(5, argc > 2 ? std::atoi(argv[2]) : 5);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int qtArgc = 1;
    if (!StartUp(qtArgc, argv) || !ReadDuplicateLog(Text::FromUtf8(argv[1])) || !OpenMainWindow())
        return 1;
    QApplication::setKeyboardInputInterval(1);
    StartRankWork(AllRecords);
    // As the viewer starts: the list in file order, nothing known of its rows.
    ShowStartCount();
    FillRecordListView();
    QApplication::processEvents();
    ui::ListView* list = ui::ListOf(RecordListView);
    SelectRow(list, 0);
    PauseTyping();
    const auto firstStart = Clock::now();
    Type(list, QStringLiteral("k"));
    const double firstKey =
        std::chrono::duration<double, std::milli>(Clock::now() - firstStart).count();
    FinishRankWork(AllRecords);
    // Sorted by name, so that neighbouring rows have unrelated paths.
    SortByOption(FirstSortOption + 1);
    QApplication::processEvents();
    const int rows = list->model()->rowCount();
    std::printf("rows %d\n%-52s %8s %8s %8s\n", rows, "key (ms)", "median", "fastest", "slowest");
    std::printf("%-52s %8.2f\n", "the very first key after a load (one run)", firstKey);
    // The path of the last row, typed whole, is found only by walking the
    // whole list from row 0.
    const QString lastPath = ui::ToQString(GetCellText(RecordListView, rows - 1, 0));
    const auto refill = [&] {
        ClearRows(RecordListView);
        FillRecordListView(); // the rows are new: nothing is known of them
        QApplication::processEvents();
        SelectRow(list, 0);
        PauseTyping();
    };
    const auto fromTop = [&] {
        SelectRow(list, 0);
        PauseTyping();
    };
    Report("first letter after a refill (a quarter match)", runs, refill,
           [&] { Type(list, QStringLiteral("k")); });
    Report("a path found in the last row, after a refill", runs, refill,
           [&] { Type(list, lastPath); });
    Report("a path found in the last row, rows known", runs, fromTop,
           [&] { Type(list, lastPath); });
    Report("a letter no path starts with", runs, fromTop, [&] { Type(list, QStringLiteral("q")); });
    Report(
        "next letter of a search, rows known", runs,
        [&] {
            fromTop();
            Type(list, QStringLiteral("\\"));
        },
        [&] { Type(list, QStringLiteral("\\")); });
    // Listed are only the records under D:, but paths under K: are known:
    // their ids match and the whole list is walked to find no row.
    SetControlText(FindField, u"D:\\");
    ApplyFindFilter();
    QApplication::processEvents();
    std::printf("rows listed under D: %d\n", list->model()->rowCount());
    const auto refilter = [&] {
        ClearRows(RecordListView);
        FillRecordListView();
        QApplication::processEvents();
        SelectRow(list, 0);
        PauseTyping();
    };
    Report("a letter only hidden rows start with, after a refill", runs, refilter,
           [&] { Type(list, QStringLiteral("k")); });
    Report("a letter only hidden rows start with, rows known", runs, fromTop,
           [&] { Type(list, QStringLiteral("k")); });
    std::printf("selected row %d of %d\n", list->currentIndex().row(), rows);
    return ShutDown();
}
