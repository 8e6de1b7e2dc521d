// Sorting one million records of seven texts by each field.
//
// The records look like a loaded duplicate log: paths from a few hundred
// folders, file names that recur in several folders, sizes right-aligned to
// 13 characters, dates year.month.day, times and users. In the "shared"
// lists paths, dates, times and users share their storage as the log loader
// gives them; in the others every text has storage of its own.

#include "records/ListSort.h"
#include "records/RecordList.h"
#include "text/Text.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using qk::Text;

struct Record {
    Text path, name, size, date, time, user, shown;
};
constexpr std::int64_t kRecordFieldMap[] = {0, 8, 16, 24, 32, 40, 48, -1};
constexpr int kRecordCount = 1'000'000;
const char* const kFieldNames[] = {"path", "name", "size", "date", "time", "user", "shown"};

Text Ascii(const std::string& s) {
    return Text::FromUtf8(s);
}

std::string GroupedSize(std::uint64_t bytes) {
    std::string digits = std::to_string(bytes);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped += '.';
        grouped += digits[i];
    }
    return std::string(grouped.size() < 13 ? 13 - grouped.size() : 0, ' ') + grouped;
}

struct Tables {
    std::vector<Text> folders, names, dates, times, users;
};

Tables MakeTables(std::mt19937& random) {
    static const char* const kRoots[] = {"C:\\Konstruktion\\", "D:\\Daten\\CAD\\",
                                         "\\\\fileserver\\projekte\\"};
    static const char* const kCustomers[] = {"Anlagenbau", "Foerdertechnik", "Sondermaschinen",
                                             "Verpackung", "Werkzeugbau",    "Archiv"};
    static const char* const kParts[] = {"Gehaeuse", "Welle",    "Flansch", "Halter",
                                         "Deckel",   "Rahmen",   "Platte",  "Bolzen",
                                         "Lager",    "Getriebe", "Motor",   "Zylinder"};
    static const char* const kExtensions[] = {".par", ".psm", ".dft", ".asm"};
    static const char* const kUsers[] = {"mueller", "schmidt", "schneider", "fischer", "weber",
                                         "meyer",   "wagner",  "becker",    "schulz",  "hoffmann",
                                         "koch",    "richter", "klein",     "wolf",    "neumann"};
    Tables t;
    char buffer[160];
    for (int i = 0; i < 400; ++i) {
        std::snprintf(buffer, sizeof buffer, "%s%s\\P%05u\\%s-%02u\\", kRoots[random() % 3],
                      kCustomers[random() % 6], static_cast<unsigned>(random() % 90000 + 10000),
                      kParts[random() % 12], static_cast<unsigned>(random() % 40));
        t.folders.push_back(Ascii(buffer));
    }
    for (int i = 0; i < 250'000; ++i) {
        std::snprintf(buffer, sizeof buffer, "%s-%06u%s ", kParts[random() % 12],
                      static_cast<unsigned>(random() % 1'000'000), kExtensions[random() % 4]);
        t.names.push_back(Ascii(buffer));
    }
    for (int year = 2008; year <= 2024; ++year)
        for (int month = 1; month <= 12; ++month)
            for (int day = 1; day <= 28; ++day) {
                std::snprintf(buffer, sizeof buffer, "%04d.%02d.%02d", year, month, day);
                t.dates.push_back(Ascii(buffer));
            }
    for (int second = 0; second < 86400; ++second) {
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", second / 3600, second / 60 % 60,
                      second % 60);
        t.times.push_back(Ascii(buffer));
    }
    for (const char* user : kUsers)
        t.users.push_back(Ascii(user));
    return t;
}

// A copy that shares the storage, or one with storage of its own.
Text Pick(const Text& text, bool shared) {
    return shared ? text : Text(text.view());
}

qk::RecordList* MakeRecords(bool shared) {
    std::mt19937 random(20240611);
    const Tables t = MakeTables(random);
    const Text shown(u"1");
    qk::RecordList* list =
        qk::CreateRecordList(sizeof(Record), nullptr, kRecordFieldMap, qk::ElementKind::Record);
    for (int i = 0; i < kRecordCount && list; ++i) {
        auto* r = static_cast<Record*>(qk::AppendRecord(list));
        if (!r) break;
        r->path = Pick(t.folders[random() % t.folders.size()], shared);
        r->name = Pick(t.names[random() % t.names.size()], false);
        r->size = Ascii(GroupedSize(random() % 500'000'000 + 1024));
        r->date = Pick(t.dates[random() % t.dates.size()], shared);
        r->time = Pick(t.times[random() % t.times.size()], shared);
        r->user = Pick(t.users[random() % t.users.size()], shared);
        r->shown = Pick(shown, shared);
    }
    return list;
}

qk::RecordList* Records(bool shared) {
    static qk::RecordList* lists[2] = {MakeRecords(false), MakeRecords(true)};
    return lists[shared];
}

void SortByField(benchmark::State& state) {
    const auto field = static_cast<int>(state.range(0));
    const bool shared = state.range(1) != 0;
    qk::RecordList* list = Records(shared);
    if (qk::RecordCount(list) != kRecordCount) {
        state.SkipWithError("records could not be made");
        return;
    }
    // Each measured sort starts from the order of another field.
    const int scramble = field == 1 ? 2 : 1;
    for (auto _ : state) {
        state.PauseTiming();
        qk::SortRecordsByField(list, 0, scramble * 8, qk::ElementKind::Text);
        state.ResumeTiming();
        qk::SortRecordsByField(list, 0, field * 8, qk::ElementKind::Text);
    }
    state.SetLabel(std::string(kFieldNames[field]) + (shared ? " shared" : " own"));
    state.SetItemsProcessed(state.iterations() * kRecordCount);
}

BENCHMARK(SortByField)
    ->ArgNames({"field", "shared"})
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Appending one million records with a text each and clearing them again,
// the clear after a sort has scattered the order in memory.
void AppendSortClear(benchmark::State& state) {
    std::mt19937 random(7);
    std::vector<Text> keys;
    for (int i = 0; i < 1000; ++i)
        keys.push_back(Ascii(std::to_string(random())));
    double appendSeconds = 0, clearSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        qk::RecordList* list =
            qk::CreateRecordList(sizeof(Record), nullptr, kRecordFieldMap, qk::ElementKind::Record);
        for (int i = 0; i < kRecordCount; ++i) {
            auto* r = static_cast<Record*>(qk::AppendRecord(list));
            if (!r) break;
            r->name = keys[random() % keys.size()];
        }
        auto sorted = std::chrono::steady_clock::now();
        appendSeconds += std::chrono::duration<double>(sorted - start).count();
        qk::SortRecordsByField(list, 0, 8, qk::ElementKind::Text);
        auto clearing = std::chrono::steady_clock::now();
        qk::FreeRecordList(list);
        clearSeconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - clearing).count();
    }
    state.counters["append_ms"] = 1000 * appendSeconds / static_cast<double>(state.iterations());
    state.counters["clear_ms"] = 1000 * clearSeconds / static_cast<double>(state.iterations());
}

BENCHMARK(AppendSortClear)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
