// Hostile duplicate logs, written at run time into a scratch folder, with
// what loading each must give: the number of records and some of them by
// their place in file order. Shared by the tests of quellkamp-list and of the
// viewer, so both are held to the same results.
#pragma once

#include <unistd.h> // getpid

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace qk::hostile {

namespace fs = std::filesystem;

// The big logs (50 MB and more, ten million lines) are skipped in the
// sanitizer build, which runs these tests too but many times slower.
constexpr const char* kSanitizerRunVariable = "QK_SANITIZER_RUN";

inline bool SanitizerRun() {
    const char* value = std::getenv(kSanitizerRunVariable);
    return value && std::string_view(value) == "1";
}

// A scratch folder for one test, removed with everything in it.
struct ScratchFolder {
    fs::path path;
    explicit ScratchFolder(const std::string& name) {
        path = fs::temp_directory_path() /
               ("quellkamp-hostile-" + std::to_string(getpid()) + "-" + name);
        fs::remove_all(path);
        fs::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(path, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
};

// One record as the lister prints it and the viewer shows it (UTF-8).
struct Record {
    std::string path, name, size, date, time, user;
};

// What loading a log must give: the record count and the records at some
// 0-based places in file order.
struct Expected {
    std::uint64_t total = 0;
    std::vector<std::pair<std::uint64_t, Record>> samples;
};

// Appends `bytes` to the file; false when it cannot be written.
inline bool AppendBytes(const fs::path& file, std::string_view bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::app);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

inline bool WriteBytes(const fs::path& file, std::string_view bytes) {
    std::error_code ignored;
    fs::remove(file, ignored);
    return AppendBytes(file, bytes);
}

// A size as the loader shows it: grouped by "." and right-aligned to 13.
inline std::string ShownSize(std::uint64_t bytes) {
    const std::string digits = std::to_string(bytes);
    std::string grouped;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) grouped.push_back('.');
        grouped.push_back(digits[i]);
    }
    return std::string(grouped.size() < 13 ? 13 - grouped.size() : 0, ' ') + grouped;
}

// --- The logs. Each writes `file` and returns what loading it gives. ---

inline Expected EmptyLog(const fs::path& file) {
    WriteBytes(file, "");
    return {};
}

inline Expected HeaderOnlyLog(const fs::path& file) {
    WriteBytes(file, "Doppelte Dateien im Archiv K:\\Konstruktion\r\n");
    return {};
}

// The umlauts of a log written in the Windows ANSI code page are single
// bytes, which are no UTF-8: each becomes a replacement character ("?" for
// 0xFC, which cannot begin any sequence), and no byte after it is lost: a
// blank or a line end right after one still separates.
inline Expected AnsiCodePageLog(const fs::path& file) {
    WriteBytes(file, "Doppelte Dateien\r\n"
                     "D:\\Geh\xE4use\\St\xF6\xDF"
                     "el.par 12KB 01.02.2017 13:05 m.m\xFC"
                     "ller\r\n"
                     "D:\\\xC4nderung\\\xD6l\xDC.psm 1.234 02.03.2018 07:00 Stra\xDF\r\n"
                     "E:\\Ma\xDF\\Teil.dft\xE4 5 03.04.2019 08:00 k\xF6\n"
                     "F:\\X\\y.asm \xDF\n");
    const std::string bad = "\xEF\xBF\xBD"; // U+FFFD in UTF-8
    return {4,
            {{0,
              {"D:\\Geh" + bad + "use\\", "St" + bad + bad + "el.par ", ShownSize(12 * 1024),
               "2017.02.01", "13:05", "m.m?ller"}},
             {1,
              {"D:\\" + bad + "nderung\\", bad + "l" + bad + ".psm ", ShownSize(1234), "2018.03.02",
               "07:00", "Stra" + bad}},
             {2,
              {"E:\\Ma" + bad + "\\", "Teil.dft" + bad, ShownSize(5), "2019.04.03", "08:00",
               "k" + bad}},
             {3, {"F:\\X\\", "y.asm ", ShownSize(0), "..", "", ""}}}};
}

// NUL bytes end lines as line feeds do; a record among them still loads.
inline Expected NulBytesLog(const fs::path& file) {
    constexpr std::size_t kNuls = 4 << 20;
    std::string bytes(kNuls, '\0');
    const std::string_view line = "D:\\Null\\mitte.par 77 05.06.2007 12:00 nul";
    bytes.replace(kNuls / 2, line.size(), line);
    WriteBytes(file, bytes);
    return {1, {{0, {"D:\\Null\\", "mitte.par ", ShownSize(77), "2007.06.05", "12:00", "nul"}}}};
}

// A million blanks after a name, between tokens, and as all that follows.
inline Expected MillionBlanksLog(const fs::path& file) {
    const std::string blanks(1000000, ' ');
    WriteBytes(file, "D:\\A\\halter.par" + blanks + "1.234,5KB 16.09.2018 07:36 cad01\r\n" +
                         "E:\\Werk\\baugruppe.asm 12MB" + blanks + "01.02.2017" + blanks +
                         "13:05 cad02\r\n" + "D:\\C\\leer.par" + blanks + "\r\n");
    return {
        3,
        {{0, {"D:\\A\\", "halter.par ", ShownSize(1234 * 1024), "2018.09.16", "07:36", "cad01"}},
         {1,
          {"E:\\Werk\\", "baugruppe.asm ", ShownSize(12 * 1024 * 1024), "2017.02.01", "13:05",
           "cad02"}},
         {2, {"D:\\C\\", "leer.par ", ShownSize(0), "..", "", ""}}}};
}

constexpr int kPlantedRecords = 50;

// 50 MB of random bytes with 50 records planted at even distances. The
// seed is chosen so that the random bytes themselves hold no record.
inline Expected RandomBytesLog(const fs::path& file) {
    constexpr std::size_t kBytes = 50u << 20;
    std::mt19937_64 random(20240607);
    std::string bytes(kBytes, '\0');
    for (std::size_t i = 0; i + 8 <= kBytes; i += 8) {
        const std::uint64_t v = random();
        std::memcpy(bytes.data() + i, &v, 8);
    }
    Expected expected{kPlantedRecords, {}};
    for (int k = 0; k < kPlantedRecords; ++k) {
        const std::string n = std::to_string(k);
        // Line feeds on both sides; four before, so that even a reader that
        // took a cut-off multi-byte sequence's next bytes blindly starts a
        // fresh line.
        const std::string line =
            "\n\n\n\nD:\\Zufall\\teil" + n + ".par " + n + " 01.02.2003 04:05 zufall" + n + "\n";
        bytes.replace((kBytes / kPlantedRecords) * static_cast<std::size_t>(k) + 1000, line.size(),
                      line);
        if (k % 7 == 0)
            expected.samples.push_back(
                {static_cast<std::uint64_t>(k),
                 {"D:\\Zufall\\", "teil" + n + ".par ", ShownSize(static_cast<std::uint64_t>(k)),
                  "2003.02.01", "04:05", "zufall" + n}});
    }
    WriteBytes(file, bytes);
    return expected;
}

// One line of 100 MB: a record followed by 100 MB of words and blanks,
// then one ordinary line.
inline Expected HugeLineLog(const fs::path& file) {
    constexpr std::size_t kFiller = 100u << 20;
    std::string bytes = "D:\\Lang\\riesig.par 1.234 01.02.2003 04:05 lang ";
    bytes.reserve(kFiller + 200);
    std::mt19937 random(7);
    while (bytes.size() < kFiller) {
        const char letter = static_cast<char>('a' + random() % 26);
        bytes.push_back(random() % 6 == 0 ? ' ' : letter);
    }
    bytes += "\r\nE:\\Kurz\\klein.psm 9 09.09.2009 09:09 kurz\r\n";
    WriteBytes(file, bytes);
    return {2,
            {{0, {"D:\\Lang\\", "riesig.par ", ShownSize(1234), "2003.02.01", "04:05", "lang"}},
             {1, {"E:\\Kurz\\", "klein.psm ", ShownSize(9), "2009.09.09", "09:09", "kurz"}}}};
}

constexpr std::uint64_t kShortLines = 10000000;
constexpr std::uint64_t kShortLineGroup = 10;

// Ten million short lines with every kind of line end; one line in ten is a
// record (its size counts the records), the others are rejected or empty.
inline Expected ShortLinesLog(const fs::path& file) {
    static constexpr std::string_view kOthers[kShortLineGroup - 1] = {
        "\n", "x\r\n", "\r", {"\0", 1}, ".par\n", "/\r\n", "a|/b.par\n", "C:\\X.PAR\n", "Summe\r"};
    std::string bytes;
    bytes.reserve(60u << 20);
    for (std::uint64_t i = 0; i < kShortLines / kShortLineGroup; ++i) {
        bytes += "\\d\\f.par ";
        bytes += std::to_string(i);
        bytes += " 1.2.3 t u\n";
        for (const std::string_view other : kOthers)
            bytes += other;
    }
    WriteBytes(file, bytes);
    Expected expected{kShortLines / kShortLineGroup, {}};
    for (const std::uint64_t i : {std::uint64_t{0}, std::uint64_t{123456}, expected.total - 1})
        expected.samples.push_back({i, {"\\d\\", "f.par ", ShownSize(i), "3.2.1", "t", "u"}});
    return expected;
}

// A valid record line, numbered.
inline std::string NumberedLine(std::uint64_t i) {
    return "D:\\Lauf\\teil" + std::to_string(i) + ".par 1 01.01.2001 01:01 lauf\n";
}

inline std::string NumberedLines(std::uint64_t from, std::uint64_t count) {
    std::string bytes;
    for (std::uint64_t i = from; i < from + count; ++i)
        bytes += NumberedLine(i);
    return bytes;
}

// The small hostile logs, each with what loading it must give.
struct SmallLog {
    const char* label;
    Expected (*make)(const fs::path&);
};
inline const SmallLog kSmallLogs[] = {
    {"empty file", EmptyLog},
    {"header only", HeaderOnlyLog},
    {"ANSI code page", AnsiCodePageLog},
    {"NUL bytes", NulBytesLog},
    {"a million blanks", MillionBlanksLog},
};

} // namespace qk::hostile

// Skips a test of a big log in the sanitizer build.
#define SKIP_BIG_IN_SANITIZER_RUN()                                                                \
    if (::qk::hostile::SanitizerRun()) GTEST_SKIP() << "a big log; skipped in the sanitizer build"
