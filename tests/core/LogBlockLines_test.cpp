#include "core/LogBlockLines.h"

#include "text/LineSplitting.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace qk {
namespace {

// One line as a split leaves it: the line, the decision and the pieces.
std::string Described(std::string_view line, ByteSplit split, const LogLineBytes& parts) {
    std::string out(line);
    out += " => " + std::to_string(static_cast<int>(split));
    if (split != ByteSplit::Record) return out;
    for (const std::string_view piece : {parts.path, parts.name, parts.dateToken, parts.year,
                                         parts.month, parts.day, parts.time, parts.user})
        out.append("|").append(piece);
    return out + "|" + std::to_string(parts.sizeCount);
}

// The block's lines taken apart in one pass against line by line.
void ExpectAsLineByLine(const std::string& block) {
    std::vector<std::string> expected;
    LogLineBytes parts;
    ForEachLine(block, [&](std::string_view line) {
        const ByteSplit split = SplitLogLineBytes(line, parts);
        expected.push_back(Described(line, split, parts));
    });
    std::vector<std::string> actual;
    LogBlockLines lines(block);
    std::string_view line;
    ByteSplit split = ByteSplit::NoRecord;
    while (lines.Next(line, split, parts)) {
        ASSERT_GE(line.data(), block.data());
        actual.push_back(Described(line, split, parts));
    }
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i)
        ASSERT_EQ(actual[i], expected[i]) << "line " << i;
}

const std::string kRecord = "D:\\Daten\\Bauteile\\halter.par   1.234,5KB  16.09.2018 07:36 cad01";

// Records padded to `length` bytes each (at least a record's), until `bytes`.
std::string Records(std::size_t length, std::size_t bytes, const std::string& end = "\n") {
    std::string block;
    while (block.size() < bytes)
        block += kRecord + std::string(length - kRecord.size(), ' ') + end;
    return block;
}

TEST(LogBlockLines, GivesTheLinesAndSplitsOfLineByLine) {
    const std::string cases[] = {
        "",
        "\n",
        "\n\n\r\r\n\r",
        kRecord,
        kRecord + "\r",
        kRecord + "\r\n" + kRecord + "\r" + kRecord + std::string(1, '\0') + kRecord,
        "x|" + kRecord + "\n\"D:\\x\\a.par\" 5 1.2.3\n" + "D:\\a.par\xC3\xA4 5 1.2.3 t u",
        // Lines about a masked stretch (8192 bytes) and a masked line (256).
        Records(100, 30000),
        Records(255, 20000),
        Records(256, 20000),
        Records(257, 20000, "\r\n"),
        Records(8191, 30000),
        Records(8192, 30000),
        Records(8193, 30000, "\r\n"),
        Records(20000, 50000),
        std::string(8191, 'x') + "\r\n" + kRecord, // CR last in the stretch, LF after it
        std::string(8191, 'x') + "\r" + kRecord,
        std::string(8192, 'x') + "\n" + kRecord,
        std::string(8192, '.') + kRecord + std::string(300, '\\'),
    };
    for (const std::string& block : cases) {
        SCOPED_TRACE(block.substr(0, 80));
        ExpectAsLineByLine(block);
        if (testing::Test::HasFailure()) return;
    }
}

TEST(LogBlockLines, AgreesOnRandomBlocks) {
    const std::string pieces[] = {"\\",
                                  "/",
                                  "|",
                                  "\"",
                                  ".par",
                                  ".asm",
                                  " ",
                                  "  ",
                                  "KB",
                                  ".",
                                  ",",
                                  "1",
                                  "01.02.2003",
                                  "\xC3\xA4",
                                  "\xFF",
                                  "x",
                                  "D:\\a\\",
                                  "\n",
                                  "\r",
                                  "\r\n",
                                  std::string(1, '\0'),
                                  std::string(300, 'y'),
                                  kRecord};
    std::mt19937 random(20261210);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> count(0, 3000);
    for (int round = 0; round < 60; ++round) {
        std::string block;
        for (int n = count(random); n > 0; --n)
            block += pieces[pick(random)];
        ExpectAsLineByLine(block);
        if (testing::Test::HasFailure()) return;
    }
}

} // namespace
} // namespace qk
