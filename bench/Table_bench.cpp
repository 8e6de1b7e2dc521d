// The record table's walks over a generated log: loading on one and on two
// threads, finds (full and narrowed), sorts by ranks, the listed rows, the
// name lookup and the duplicates overview.
//
//   table_bench [--lines=N] [benchmark flags]
#include "bench/LogGenerator.h"
#include "core/BlockLoading.h"
#include "core/Overview.h"
#include "core/RecordTable.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace qk {
namespace {

std::uint64_t gLines = 1'000'000;

std::string LogPath() {
    return "/tmp/quellkamp-bench-" + std::to_string(gLines) + ".log";
}

Text EnsureLogFile() {
    if (!std::ifstream(LogPath()).good() && !WriteLogFile(LogPath(), gLines, 42)) {
        std::fprintf(stderr, "cannot write %s\n", LogPath().c_str());
        std::exit(1);
    }
    return Text::FromUtf8(LogPath());
}

RecordTable& Loaded() {
    static RecordTable table;
    if (TableCount(table) == 0) LoadLogTable(EnsureLogFile(), table);
    return table;
}

void BM_LoadTable(benchmark::State& state) {
    const Text path = EnsureLogFile();
    RecordTable table;
    BlockLoadOptions options;
    options.threads = static_cast<int>(state.range(0));
    options.rankWork = false;
    for (auto _ : state) {
        state.PauseTiming();
        ClearTable(table);
        state.ResumeTiming();
        LoadLogTable(path, table, options);
    }
    state.counters["records"] = TableCount(table);
}
BENCHMARK(BM_LoadTable)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CountRecords(benchmark::State& state) {
    const Text path = EnsureLogFile();
    std::int64_t listed = 0, total = 0;
    for (auto _ : state)
        CountLogRecords(path, u"Spannbügel_12", listed, total);
    state.counters["listed"] = static_cast<double>(listed);
}
BENCHMARK(BM_CountRecords)->Unit(benchmark::kMillisecond)->UseRealTime();

const char16_t* const kFinds[] = {u"Spannbügel_12", u":", u"zzzzz", u"F"};

void BM_Find(benchmark::State& state) {
    RecordTable& table = Loaded();
    const char16_t* text = kFinds[state.range(0)];
    std::vector<std::uint32_t> rows;
    for (auto _ : state) {
        state.PauseTiming();
        MarkByFindText(table, u"\u00A7never", false); // no narrowing from here
        state.ResumeTiming();
        MarkByFindText(table, text);
        ListedRecords(table, rows);
    }
    state.counters["listed"] = static_cast<double>(rows.size());
}
BENCHMARK(BM_Find)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_TypeWord(benchmark::State& state) {
    RecordTable& table = Loaded();
    std::vector<std::uint32_t> rows;
    for (auto _ : state) {
        state.PauseTiming();
        MarkByFindText(table, u":");
        state.ResumeTiming();
        for (const char16_t* text : {u"F", u"Fl", u"Fla", u"Flan", u"Flans"}) {
            MarkByFindText(table, text);
            ListedRecords(table, rows);
        }
    }
}
BENCHMARK(BM_TypeWord)->Unit(benchmark::kMillisecond);

void BM_Sort(benchmark::State& state) {
    RecordTable& table = Loaded();
    MarkByFindText(table, u"");
    const auto field = static_cast<RecordField>(state.range(0));
    const auto other = static_cast<RecordField>((state.range(0) + 1) % kVisibleFieldCount);
    std::vector<std::uint32_t> rows;
    SortTableByField(table, field); // ranks are made once per column
    for (auto _ : state) {
        state.PauseTiming();
        SortTableByField(table, other);
        state.ResumeTiming();
        SortTableByField(table, field);
        ListedRecords(table, rows);
    }
}
BENCHMARK(BM_Sort)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

void BM_Ranks(benchmark::State& state) {
    RecordTable& table = Loaded();
    FinishRankWork(table);
    const auto field = static_cast<RecordField>(state.range(0));
    for (auto _ : state) {
        table.ranks[state.range(0)].clear();
        if (IsSharedField(field)) table.textRanks[SharedIndexOf(field)].clear();
        SortTableByField(table, field);
    }
}
BENCHMARK(BM_Ranks)->DenseRange(0, 5)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_RecordsNamed(benchmark::State& state) {
    RecordTable& table = Loaded();
    const Text name = FieldText(table, table.order[0], RecordField::Name);
    std::vector<std::uint32_t> matches;
    for (auto _ : state)
        RecordsNamed(table, name, matches);
    state.counters["matches"] = static_cast<double>(matches.size());
}
BENCHMARK(BM_RecordsNamed)->Unit(benchmark::kMillisecond);

// The same once the names are ranked, as after the rank work, in a list
// sorted by path.
void BM_RecordsNamedIndexed(benchmark::State& state) {
    RecordTable& table = Loaded();
    SortTableByField(table, RecordField::Name);
    SortTableByField(table, RecordField::Path);
    const Text name = FieldText(table, table.order[0], RecordField::Name);
    std::vector<std::uint32_t> matches;
    for (auto _ : state)
        RecordsNamed(table, name, matches);
    state.counters["matches"] = static_cast<double>(matches.size());
}
BENCHMARK(BM_RecordsNamedIndexed)->Unit(benchmark::kMillisecond);

// The overview from the ranks of the names: the groups alone (0), with the
// folder pairs (1); then the rows a find lists (2).
void BM_Overview(benchmark::State& state) {
    RecordTable& table = Loaded();
    const std::vector<std::uint32_t>& ranks = NameRanks(table);
    Overview overview;
    std::vector<std::uint32_t> rows;
    for (auto _ : state) {
        if (state.range(0) < 2) {
            ComputeOverview(table, ranks, overview,
                            state.range(0) == 0 ? OverviewParts::GroupsOnly
                                                : OverviewParts::GroupsAndPairs);
            continue;
        }
        state.PauseTiming();
        if (overview.detail.empty()) ComputeOverview(table, ranks, overview);
        MarkByFindText(table, u"Flansch");
        state.ResumeTiming();
        ListedGroups(table, overview, rows);
        ListedPairs(table, overview, rows);
    }
    MarkByFindText(table, u"");
    state.counters["groups"] = static_cast<double>(overview.groups.size());
    state.counters["pairs"] = static_cast<double>(overview.pairs.size());
}
BENCHMARK(BM_Overview)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->UseRealTime();

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key)));
    return 0;
}

// The rise of the peak resident memory per record of one load.
void PrintMemoryPerRecord() {
    EnsureLogFile();
    const long before = StatusKilobytes("VmHWM:");
    const RecordTable& table = Loaded();
    const long peak = StatusKilobytes("VmHWM:");
    std::printf("bytes per record (rise of peak resident): %.1f\n",
                (peak - before) * 1024.0 / TableCount(table));
}

} // namespace
} // namespace qk

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "--lines=", 8) == 0) qk::gLines = std::stoull(argv[i] + 8);
    qk::PrintMemoryPerRecord();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
