// Reading a generated duplicate log of one million short CR LF lines with
// umlauts (about 80 MB) through the text file reader.
#include "text/TextFileReader.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include <unistd.h>

namespace {

constexpr int kLines = 1'000'000;

// Writes the log once per run and returns its path and size.
struct GeneratedLog {
    std::string path;
    std::int64_t bytes = 0;
};

// Kept in plain storage for the clean-up at exit, which runs after the
// destruction of function-local statics made before it was registered.
char logPath[128];

const GeneratedLog& Log() {
    static const GeneratedLog log = [] {
        GeneratedLog made;
        made.path = "/tmp/qk_reader_bench_" + std::to_string(::getpid()) + ".log";
        std::FILE* out = std::fopen(made.path.c_str(), "wb");
        if (!out) return made;
        static const char* const users[] = {"m\xC3\xBCller", "j\xC3\xBCrgen", "b\xC3\xA4r",
                                            "wei\xC3\x9F"};
        char line[160];
        for (int i = 0; i < kLines; ++i) {
            const long size = (static_cast<long>(i) * 7919) % 100000000;
            const int n = std::snprintf(line, sizeof line,
                                        "C:\\Daten\\Gr\xC3\xB6\xC3\x9F"
                                        "e\\Bauteil_%06d.par  %9ld  %02d.%02d.%04d "
                                        "%02d:%02d  %s\r\n",
                                        i, size, i % 28 + 1, i % 12 + 1, 2000 + i % 25, i % 24,
                                        i % 60, users[i % 4]);
            if (n <= 0 || n >= static_cast<int>(sizeof line)) break;
            std::fwrite(line, 1, static_cast<std::size_t>(n), out);
            made.bytes += n;
        }
        if (std::fclose(out) != 0) made.bytes = 0;
        std::snprintf(logPath, sizeof logPath, "%s", made.path.c_str());
        std::atexit([] { std::remove(logPath); });
        return made;
    }();
    return log;
}

// The loader's pattern: lines into one reused buffer.
void BM_ReadTextLineInto(benchmark::State& state) {
    const GeneratedLog& log = Log();
    if (log.bytes == 0) {
        state.SkipWithError("could not write the log");
        return;
    }
    const qk::Text name = qk::Text::FromUtf8(log.path);
    std::int64_t lines = 0;
    for (auto _ : state) {
        if (qk::OpenTextFile(0, name) == 0) {
            state.SkipWithError("could not open the log");
            return;
        }
        std::u16string line;
        while (qk::ReadTextLineInto(0, line) != 0) {
            benchmark::DoNotOptimize(line.data());
            ++lines;
        }
        qk::CloseTextFile(0);
    }
    state.SetItemsProcessed(lines);
    state.SetBytesProcessed(log.bytes * static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ReadTextLineInto)->Unit(benchmark::kMillisecond);

// The short pattern: AtEndOfFile and one Text per line.
void BM_ReadTextLine(benchmark::State& state) {
    const GeneratedLog& log = Log();
    if (log.bytes == 0) {
        state.SkipWithError("could not write the log");
        return;
    }
    const qk::Text name = qk::Text::FromUtf8(log.path);
    std::int64_t lines = 0;
    for (auto _ : state) {
        if (qk::OpenTextFile(0, name) == 0) {
            state.SkipWithError("could not open the log");
            return;
        }
        while (qk::AtEndOfFile(0) == 0) {
            qk::Text line = qk::ReadTextLine(0);
            benchmark::DoNotOptimize(line.data());
            ++lines;
        }
        qk::CloseTextFile(0);
    }
    state.SetItemsProcessed(lines);
    state.SetBytesProcessed(log.bytes * static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_ReadTextLine)->Unit(benchmark::kMillisecond);

} // namespace
