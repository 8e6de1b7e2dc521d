// The Win32 multi-column list: a million rows filled with AddRow and five
// SetCellText each, then shown, as the Qt benchmark's fill does. Prints the
// median of five fills in milliseconds.
//
//   tests/ui/win32/with_display.sh scripts/wine-run build-windows/bench/win32/list_fill_bench.exe
#include "text/Text.h"
#include "ui/Controls.h"
#include "app/MainWindow.h"
#include "ui/UiSupport.h"
#include "ui/win32/UiInternal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr std::int64_t kRows = 1'000'000;
constexpr std::size_t kDistinctRows = 65'536;
constexpr int kRuns = 5;

struct RowTexts {
    std::vector<qk::Text> cells[6];
};

RowTexts MakeTexts() {
    RowTexts made;
    for (std::size_t i = 0; i < kDistinctRows; ++i) {
        const std::string n = std::to_string(i);
        made.cells[0].push_back(qk::Text::FromUtf8("C:\\Konstruktion\\Projekt_" + n + "\\"));
        made.cells[1].push_back(qk::Text::FromUtf8("Teil_" + n + ".par "));
        made.cells[2].push_back(qk::Text::FromUtf8("      1.234.567"));
        made.cells[3].push_back(qk::Text::FromUtf8("2024.03.17"));
        made.cells[4].push_back(qk::Text::FromUtf8("12:34"));
        made.cells[5].push_back(qk::Text::FromUtf8("user" + std::to_string(i % 40)));
    }
    return made;
}

} // namespace

int main(int argc, char** argv) {
    if (!qk::StartUserInterface(argc, argv) || !qk::OpenMainWindow()) return 1;
    const RowTexts texts = MakeTexts();
    const HWND list = qk::ui::ControlHandle(qk::RecordListView);
    std::vector<double> times;
    for (int run = 0; run < kRuns; ++run) {
        qk::ClearRows(qk::RecordListView);
        qk::ui::FlushLists();
        UpdateWindow(list);
        const auto start = std::chrono::steady_clock::now();
        for (std::int64_t row = 0; row < kRows; ++row) {
            const std::size_t i = std::size_t(row) % kDistinctRows;
            qk::AddRow(qk::RecordListView, -1, texts.cells[0][i]);
            for (int column = 1; column < 6; ++column)
                qk::SetCellText(qk::RecordListView, row, texts.cells[column][i], column);
        }
        // Back in the event loop, the list learns of the rows and draws.
        qk::ui::FlushLists();
        UpdateWindow(list);
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    std::printf("fill 1,000,000 rows x 6 cells, shown: median %.1f ms (min %.1f, max %.1f)\n",
                times[kRuns / 2], times.front(), times.back());
    qk::EndUserInterface();
    return 0;
}
