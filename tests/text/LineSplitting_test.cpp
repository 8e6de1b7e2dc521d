#include "text/LineSplitting.h"
#include "text/TextFileReader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace qk {
namespace {

TEST(LineSplitting, WholeLinesEndAtTheLastSureLineEnd) {
    const struct {
        std::string bytes;
        std::size_t whole;
    } cases[] = {
        {"", 0},      {"abc", 0},   {"a\n", 2},
        {"a\nb", 2},  {"a\r", 0},   {"a\nb\r", 2},
        {"a\r\n", 3}, {"a\rb", 2},  {std::string("a\0b", 3), 2},
        {"\r\r", 1},  {"a\n\r", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WholeLinesLength(c.bytes), c.whole) << c.bytes;
}

// Random bytes rich in line ends, NUL and UTF-8 pieces, split into blocks at
// every cut WholeLinesLength allows, give the lines the reader gives.
TEST(LineSplitting, BlocksDecodeToTheReadersLines) {
    const std::string pieces[] = {"a",
                                  "\xC3\xA4",
                                  "\xE2\x82\xAC",
                                  "\xF0\x9F\x98\x80",
                                  "\xC3",
                                  "\xA4",
                                  "\xE2\x82",
                                  "\xED\xA0\x80",
                                  "\xC0\xAF",
                                  "\xF8",
                                  "\xFF",
                                  "\r",
                                  "\n",
                                  "\r\n",
                                  std::string(1, '\0'),
                                  "xyzxyzxyz"};
    const auto path =
        std::filesystem::temp_directory_path() / ("quellkamp-lines-" + std::to_string(getpid()));
    unsigned seed = 3;
    for (int run = 0; run < 300; ++run) {
        std::string bytes;
        const int count = run % 40;
        for (int i = 0; i < count; ++i) {
            seed = seed * 1103515245u + 12345u;
            bytes += pieces[(seed >> 16) % std::size(pieces)];
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
        std::vector<std::u16string> expected;
        ASSERT_NE(OpenTextFile(0, Text::FromUtf8(path.string())), 0);
        std::u16string line;
        while (ReadTextLineInto(0, line))
            expected.push_back(line);
        CloseTextFile(0);

        const std::size_t block = 1 + run % 5;
        std::vector<std::u16string> got;
        std::string carry;
        for (std::size_t at = 0; at < bytes.size() || !carry.empty(); at += block) {
            carry += bytes.substr(std::min(at, bytes.size()), block);
            const bool last = at + block >= bytes.size();
            const std::size_t whole = last ? carry.size() : WholeLinesLength(carry);
            ForEachLine(std::string_view(carry).substr(0, whole), [&](std::string_view l) {
                DecodeLineInto(l, line);
                got.push_back(line);
            });
            carry.erase(0, whole);
            if (last) break;
        }
        ASSERT_EQ(got, expected) << "run " << run;
    }
    std::filesystem::remove(path);
}

} // namespace
} // namespace qk
