// Parsing, loading, sorting and finding over generated logs.
//
//   core_bench [--lines=N] [benchmark flags]
//
// Before the timed runs it loads the log once into a fresh process and prints
// the rise of the resident memory per loaded record.
#include "bench/LogGenerator.h"
#include "core/DuplicateRecord.h"
#include "core/ExportFormats.h"
#include "core/LogLineParser.h"
#include "core/LogLoading.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "text/FileLayer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace qk {
namespace {

std::uint64_t gLines = 1'000'000;
constexpr std::uint64_t kSeed = 42;

std::string LogPath() {
    return "/tmp/quellkamp-bench-" + std::to_string(gLines) + ".log";
}

void EnsureLogFile() {
    static bool written = false;
    if (written) return;
    if (!std::ifstream(LogPath()).good() && !WriteLogFile(LogPath(), gLines, kSeed)) {
        std::fprintf(stderr, "cannot write %s\n", LogPath().c_str());
        std::exit(1);
    }
    written = true;
}

void EnsureLoaded() {
    EnsureLogFile();
    if (TableCount(AllRecords) > 0) return;
    ReadDuplicateLog(Text::FromUtf8(LogPath()));
}

// Resident memory in bytes, from /proc/self/status.
long ResidentBytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0) return std::stol(line.substr(std::strlen(key))) * 1024;
    return 0;
}

void BM_ParseLogLine(benchmark::State& state) {
    std::string log;
    GenerateLog(100'000, kSeed, log);
    std::vector<Text> lines;
    std::size_t start = 0;
    while (start < log.size()) {
        const std::size_t end = log.find("\r\n", start);
        lines.push_back(Text::FromUtf8(std::string_view(log).substr(start, end - start)));
        start = end + 2;
    }
    for (auto _ : state) {
        for (const Text& line : lines)
            benchmark::DoNotOptimize(ParseLogLine(line));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * lines.size()));
}
BENCHMARK(BM_ParseLogLine)->Unit(benchmark::kMillisecond);

void BM_LoadLog(benchmark::State& state) {
    EnsureLogFile();
    const Text path = Text::FromUtf8(LogPath());
    for (auto _ : state) {
        state.PauseTiming();
        ClearTable(AllRecords); // releasing the last load is not part of loading
        FreeRecordList(NameMatches.list);
        state.ResumeTiming();
        benchmark::DoNotOptimize(ReadDuplicateLog(path));
    }
    state.SetItemsProcessed(state.iterations() * TableCount(AllRecords));
}
BENCHMARK(BM_LoadLog)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_SortAllRecords(benchmark::State& state) {
    EnsureLoaded();
    const auto field = static_cast<RecordField>(state.range(0));
    const auto other = static_cast<RecordField>((state.range(0) + 1) % kVisibleFieldCount);
    for (auto _ : state) {
        state.PauseTiming();
        SortAllRecords(other); // start from another order each time
        state.ResumeTiming();
        SortAllRecords(field);
    }
    state.SetItemsProcessed(state.iterations() * TableCount(AllRecords));
}
BENCHMARK(BM_SortAllRecords)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

void BM_MarkRecordsByFindText(benchmark::State& state, const char16_t* findText) {
    EnsureLoaded();
    std::int64_t shown = 0;
    for (auto _ : state)
        shown = MarkRecordsByFindText(findText);
    state.counters["shown"] = static_cast<double>(shown);
}
BENCHMARK_CAPTURE(BM_MarkRecordsByFindText, few, u"Spannbügel_12")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MarkRecordsByFindText, every, u".")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_MarkRecordsByFindText, none, u"zzzzz")->Unit(benchmark::kMillisecond);

void BM_CollectNameMatches(benchmark::State& state) {
    EnsureLoaded();
    const Text name = FieldText(AllRecords, AllRecords.order[0], RecordField::Name);
    for (auto _ : state)
        CollectNameMatches(name);
    state.counters["matches"] = static_cast<double>(RecordCount(NameMatches.list));
}
BENCHMARK(BM_CollectNameMatches)->Unit(benchmark::kMillisecond);

// The viewer's export of the whole upper list, written to a file under /tmp
// through a temporary file and renamed.
void BM_ExportShownRecords(benchmark::State& state) {
    EnsureLoaded();
    MarkRecordsByFindText(u"");
    const auto format = state.range(0) ? ExportFormat::SpreadsheetCsv : ExportFormat::JsonLines;
    const Text target = Text::FromUtf8(LogPath() + (state.range(0) ? ".csv" : ".jsonl"));
    for (auto _ : state) {
        if (ExportShownRecords(target, format).failed) state.SkipWithError("export failed");
    }
    RemoveFile(target);
    state.counters["rows"] = static_cast<double>(TableCount(AllRecords));
}
BENCHMARK(BM_ExportShownRecords)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace qk

int main(int argc, char** argv) {
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--lines=", 8) == 0)
            qk::gLines = std::strtoull(argv[i] + 8, nullptr, 10);
        else
            args.push_back(argv[i]);
    }
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());

    // Memory first, while nothing else has been allocated.
    qk::EnsureLogFile();
    const long before = qk::ResidentBytes("VmRSS:");
    qk::EnsureLoaded();
    const long after = qk::ResidentBytes("VmHWM:");
    const auto records = qk::TableCount(qk::AllRecords);
    std::printf("loaded %lld records; resident memory rose by %.1f MB, %.1f bytes per record\n",
                static_cast<long long>(records), (after - before) / 1e6,
                records ? static_cast<double>(after - before) / static_cast<double>(records) : 0.0);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
