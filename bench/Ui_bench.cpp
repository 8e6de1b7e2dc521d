// The multi-column list under the offscreen platform: a million rows filled
// with AddRow and five SetCellText each, then cleared, with the list shown.
#include "text/Text.h"
#include "ui/Controls.h"
#include "app/MainWindow.h"
#include "ui/UiSupport.h"
#include "ui/qt/UiInternal.h"

#include <QAbstractScrollArea>
#include <QApplication>
#include <QScrollBar>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr std::int64_t kRows = 1'000'000;
// Distinct row texts, reused in turn: the list shares them as it would
// share the records' texts.
constexpr std::size_t kDistinctRows = 65'536;

struct RowTexts {
    std::vector<qk::Text> cells[6];
};

const RowTexts& Texts() {
    static RowTexts texts = [] {
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
    }();
    return texts;
}

std::size_t ResidentBytes() {
    long pages = 0, resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(statm);
    }
    return std::size_t(resident) * std::size_t(sysconf(_SC_PAGESIZE));
}

// `distinct` row texts in turn: 1 measures the layer alone, kDistinctRows
// adds the cache misses of texts spread over memory, as records' are.
void Fill(std::size_t distinct) {
    const RowTexts& texts = Texts();
    for (std::int64_t row = 0; row < kRows; ++row) {
        const std::size_t i = std::size_t(row) % distinct;
        qk::AddRow(qk::RecordListView, -1, texts.cells[0][i]);
        for (int column = 1; column < 6; ++column)
            qk::SetCellText(qk::RecordListView, row, texts.cells[column][i], column);
    }
    // Back in the event loop, the view learns of the rows and draws.
    QApplication::processEvents();
}

void BM_FillMillionRows(benchmark::State& state) {
    Texts();
    static std::size_t grown = 0; // measured on the first fill, before the
                                  // allocator holds freed memory
    for (auto _ : state) {
        state.PauseTiming();
        qk::ClearRows(qk::RecordListView);
        QApplication::processEvents();
        const std::size_t before = ResidentBytes();
        state.ResumeTiming();
        Fill(std::size_t(state.range(0)));
        state.PauseTiming();
        if (grown == 0) grown = ResidentBytes() - before;
        state.ResumeTiming();
    }
    state.counters["rows"] = double(qk::RowCount(qk::RecordListView));
    state.counters["bytes_per_row"] = double(grown) / double(kRows);
    state.counters["storage_bytes_per_row"] =
        double(qk::ui::ListStorageBytes(qk::RecordListView)) / double(kRows);
}
BENCHMARK(BM_FillMillionRows)
    ->Arg(1)
    ->Arg(kDistinctRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

void BM_ClearMillionRows(benchmark::State& state) {
    Texts();
    for (auto _ : state) {
        state.PauseTiming();
        qk::ClearRows(qk::RecordListView);
        Fill(std::size_t(state.range(0)));
        state.ResumeTiming();
        qk::ClearRows(qk::RecordListView);
        QApplication::processEvents();
    }
    state.counters["rows_after"] = double(qk::RowCount(qk::RecordListView));
}
BENCHMARK(BM_ClearMillionRows)
    ->Arg(1)
    ->Arg(kDistinctRows)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// A million rows read from a row source: the list takes the index array and
// reads the texts of the rows on screen only.
class TextRows final : public qk::RowSource {
  public:
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        return Texts().cells[std::size_t(column)][item % kDistinctRows].view();
    }
};

void BM_ShowMillionRows(benchmark::State& state) {
    Texts();
    static const TextRows source;
    for (auto _ : state) {
        state.PauseTiming();
        qk::ClearRows(qk::RecordListView);
        QApplication::processEvents();
        std::vector<std::uint32_t> rows(static_cast<std::size_t>(kRows));
        state.ResumeTiming();
        for (std::uint32_t i = 0; i < rows.size(); ++i)
            rows[i] = i;
        qk::ShowRows(qk::RecordListView, &source, std::move(rows));
        QApplication::processEvents();
        qk::ui::FindControl(qk::RecordListView)->widget->window()->grab(); // draw
    }
    state.counters["rows"] = double(qk::RowCount(qk::RecordListView));
}
BENCHMARK(BM_ShowMillionRows)->Unit(benchmark::kMillisecond)->Iterations(5);

// Scrolling through the filled list: a page down as the view draws it.
void BM_ScrollMillionRows(benchmark::State& state) {
    qk::ClearRows(qk::RecordListView);
    Fill(kDistinctRows);
    QWidget* list = qk::ui::FindControl(qk::RecordListView)->widget;
    QWidget* window = list->window();
    int page = 0;
    for (auto _ : state) {
        qk::SelectedRow(qk::RecordListView);
        auto* view = static_cast<QAbstractScrollArea*>(list);
        page = (page + 997) % 20000;
        view->verticalScrollBar()->setValue(page * 20);
        window->grab(); // draw
    }
}
BENCHMARK(BM_ScrollMillionRows)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    if (!qk::StartUserInterface(argc, argv)) return 1;
    if (!qk::OpenMainWindow()) return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    qk::EndUserInterface();
    return 0;
}
