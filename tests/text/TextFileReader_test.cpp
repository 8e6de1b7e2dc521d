#include "text/TextFileReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <random>

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace qk {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBufferSize = 4096;

// A scratch directory for the files of one test program run, removed at the
// end of the run.
fs::path scratch;

const fs::path& ScratchDirectory() {
    if (scratch.empty()) {
        std::random_device random;
        for (int attempt = 0; attempt < 100 && scratch.empty(); ++attempt) {
            const fs::path candidate =
                fs::temp_directory_path() / ("qk_reader_" + std::to_string(random()));
            std::error_code error;
            if (fs::create_directory(candidate, error)) scratch = candidate;
        }
        if (scratch.empty()) std::abort();
    }
    return scratch;
}

class ScratchCleanup : public testing::Environment {
  public:
    void TearDown() override {
        CloseTextFile(-1);
        std::error_code ignored;
        if (!scratch.empty()) fs::remove_all(scratch, ignored);
    }
};

[[maybe_unused]] testing::Environment* const cleanup =
    testing::AddGlobalTestEnvironment(new ScratchCleanup);

fs::path WriteFile(const std::string& name, const std::string& bytes) {
    const fs::path path = ScratchDirectory() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return path;
}

Text NameOf(const fs::path& path) {
    return Text(path.u16string());
}

std::u16string LineOf(std::int64_t number) {
    return std::u16string(ReadTextLine(number).view());
}

struct LineCase {
    std::string name;
    std::string bytes;
    std::vector<std::u16string> lines;
};

std::ostream& operator<<(std::ostream& out, const LineCase& c) {
    return out << c.name;
}

std::vector<LineCase> LineCases() {
    const std::string x4095(kBufferSize - 1, 'x');
    const std::u16string u4095(kBufferSize - 1, u'x');
    std::vector<LineCase> cases = {
        {"Empty", "", {}},
        {"LastLineWithLf", "abc\n", {u"abc"}},
        {"LastLineWithCrLf", "abc\r\n", {u"abc"}},
        {"LastLineWithoutTerminator", "abc\ndef", {u"abc", u"def"}},
        {"TwoLineFeeds", "\n\n", {u"", u""}},
        {"OneLineFeed", "\n", {u""}},
        {"LoneCrThenText", "a\rb", {u"a", u"b"}},
        {"CrCrLf", "a\r\r\n", {u"a", u""}},
        {"CrLastByte", "a\r", {u"a"}},
        {"OnlyCr", "\r", {u""}},
        {"LfCr", "a\n\rb", {u"a", u"", u"b"}},
        {"NulEndsLine", std::string("a\0b", 3), {u"a", u"b"}},
        {"NulThenLf", std::string("a\0\nb", 4), {u"a", u"", u"b"}},
        {"CrAtBufferEndLfAfter", x4095 + "\r\ny", {u4095, u"y"}},
        {"CrAtBufferEndTextAfter", x4095 + "\rz\n", {u4095, u"z"}},
        {"CrAtBufferEndCrLfAfter", x4095 + "\r\r\n", {u4095, u""}},
        {"CrAtBufferEndLastByte", x4095 + "\r", {u4095}},
        {"Umlauts", "M\xC3\xBCller \xC3\x84rger\r\n", {u"Müller Ärger"}},
        // d: a byte-order mark at the start is skipped, elsewhere it is kept
        {"ByteOrderMark",
         "\xEF\xBB\xBF"
         "abc\r\ndef",
         {u"abc", u"def"}},
        {"ByteOrderMarkOnly", "\xEF\xBB\xBF", {}},
        {"ByteOrderMarkThenLf", "\xEF\xBB\xBF\n", {u""}},
        {"ByteOrderMarkLater", "a\xEF\xBB\xBF", {u"a\uFEFF"}},
        {"ByteOrderMarkCut", "\xEF\xBBx", {u"\uFFFDx"}},
        // e: an interrupted sequence is one U+FFFD; the interrupting byte counts
        {"LeadThenLf", "\xC3\nX", {u"\uFFFD", u"X"}},
        {"LeadThenCrLf", "\xC3\r\nX", {u"\uFFFD", u"X"}},
        {"LeadThenNul", std::string("\xC3\0X", 3), {u"\uFFFD", u"X"}},
        {"LeadThenAscii",
         "\xC3"
         "A",
         {u"\uFFFDA"}},
        {"ThreeByteCutByLf", "\xE2\x82\nY", {u"\uFFFD", u"Y"}},
        {"LeadThenLead", "\xC3\xC3\xA4", {u"\uFFFDä"}},
        {"CutByEndOfFile", "a\xC3", {u"a\uFFFD"}},
        {"FourByteCutByEndOfFile", "a\xF0\x9F\x98", {u"a\uFFFD"}},
        {"BadLead80", "\x80", {u"?"}},
        {"BadLeadBF", "\xBF", {u"?"}},
        {"BadLeadF8", "\xF8", {u"?"}},
        {"BadLeadFF", "\xFF", {u"?"}},
        {"BadLeadsInText",
         "a\x80\xFF"
         "b\n",
         {u"a??b"}},
        {"Overlong", "\xC0\xAF", {u"\uFFFD"}},
        {"Surrogate", "\xED\xA0\x80", {u"\uFFFD"}},
        {"BeyondUnicode", "\xF4\x90\x80\x80", {u"\uFFFD"}},
        {"FourByte", "\xF0\x9F\x98\x80", {u"\U0001F600"}},
    };
    // Multi-byte characters across the boundary of the first buffer load.
    for (std::size_t before = kBufferSize - 3; before < kBufferSize; ++before) {
        const std::string pad(before, 'x');
        const std::u16string upad(before, u'x');
        cases.push_back({"EuroAcrossBuffer" + std::to_string(before),
                         pad + "\xE2\x82\xAC\nz",
                         {upad + u"€", u"z"}});
        cases.push_back({"UmlautAcrossBuffer" + std::to_string(before),
                         pad + "\xC3\xA4\xC3\xB6\nz",
                         {upad + u"äö", u"z"}});
        cases.push_back({"LeadThenLfAcrossBuffer" + std::to_string(before),
                         pad + "\xE2\x82\nz",
                         {upad + u"\uFFFD", u"z"}});
        cases.push_back({"EmojiAcrossBuffer" + std::to_string(before),
                         pad + "\xF0\x9F\x98\x80\r\nz",
                         {upad + u"\U0001F600", u"z"}});
    }
    {
        std::string bytes;
        std::u16string line;
        while (bytes.size() < 10000) {
            bytes += "ab\xC3\xA4 ";
            line += u"abä ";
        }
        cases.push_back({"LongLine", bytes + "\r\nend", {line, u"end"}});
    }
    {
        const std::size_t size = 5 * 1024 * 1024;
        cases.push_back(
            {"FiveMegabyteLine", std::string(size, 'q') + "\n", {std::u16string(size, u'q')}});
    }
    return cases;
}

enum class Reading { WithAtEndOfFile, IntoBuffer, Unbuffered };

class TextFileReaderLines : public testing::TestWithParam<LineCase> {};

TEST_P(TextFileReaderLines, DeliversTheExpectedLines) {
    const LineCase& c = GetParam();
    const fs::path path = WriteFile(c.name, c.bytes);
    for (Reading reading : {Reading::WithAtEndOfFile, Reading::IntoBuffer, Reading::Unbuffered}) {
        SCOPED_TRACE(static_cast<int>(reading));
        // One read per byte: keep the multi-megabyte case to the buffered modes.
        if (reading == Reading::Unbuffered && c.bytes.size() > 100000) continue;
        FailTextFileBuffersForTesting(reading == Reading::Unbuffered);
        ASSERT_NE(OpenTextFile(0, NameOf(path)), 0);
        FailTextFileBuffersForTesting(false);
        std::vector<std::u16string> lines;
        if (reading == Reading::IntoBuffer) {
            std::u16string line = u"left over";
            while (ReadTextLineInto(0, line) == 1 && lines.size() <= c.lines.size())
                lines.push_back(line);
            EXPECT_TRUE(line.empty());
        } else {
            while (AtEndOfFile(0) == 0 && lines.size() <= c.lines.size())
                lines.push_back(std::u16string(ReadTextLine(0).view()));
        }
        EXPECT_TRUE(lines == c.lines)
            << "got " << lines.size() << " lines, expected " << c.lines.size();
        EXPECT_EQ(AtEndOfFile(0), reading == Reading::Unbuffered ? -1 : 1);
        EXPECT_TRUE(ReadTextLine(0).empty());
        CloseTextFile(0);
        EXPECT_EQ(AtEndOfFile(0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TextFileReaderLines, testing::ValuesIn(LineCases()),
                         [](const testing::TestParamInfo<LineCase>& info) {
                             return info.param.name;
                         });

// Paths that must fail to open at once: missing, not a regular file, bad names.
TEST(TextFileReader, RefusesWhatIsNotAnExistingRegularFile) {
#if defined(_WIN32)
    const struct {
        const char* what;
        Text name;
    } refused[] = {
        {"missing", NameOf(ScratchDirectory() / "missing")},
        {"directory", NameOf(ScratchDirectory())},
        {"device", u"NUL"},
        {"console", u"CONIN$"},
        {"empty name", Text()},
        {"embedded NUL", Text(std::u16string_view(u"C:\0x", 4))},
    };
#else
    const fs::path fifo = ScratchDirectory() / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const struct {
        const char* what;
        Text name;
    } refused[] = {
        {"missing", NameOf(ScratchDirectory() / "missing")},
        {"directory", NameOf(ScratchDirectory())},
        {"fifo", NameOf(fifo)},
        {"device", u"/dev/null"},
        {"empty name", Text()},
        {"embedded NUL", Text(std::u16string_view(u"/tmp\0x", 6))},
    };
#endif
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(OpenTextFile(0, r.name), 0);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        EXPECT_EQ(AtEndOfFile(0), 0);
    }
#if !defined(_WIN32)
    fs::remove(fifo);
#endif
}

TEST(TextFileReader, ReopeningANumberClosesTheFirstFileEvenIfTheOpenFails) {
    const fs::path first = WriteFile("reopen", "first\n");
    ASSERT_NE(OpenTextFile(0, NameOf(first)), 0);
    EXPECT_EQ(OpenTextFile(0, NameOf(ScratchDirectory() / "missing")), 0);
    EXPECT_EQ(AtEndOfFile(0), 0);
    EXPECT_TRUE(ReadTextLine(0).empty());
    // The first file was released, so it can be opened again.
    ASSERT_NE(OpenTextFile(1, NameOf(first)), 0);
    EXPECT_EQ(LineOf(1), u"first");
    CloseTextFile(1);
}

// Readers share a file: a second open of it reads it as well, and neither
// sees a change.
TEST(TextFileReader, ReadersShareAFile) {
    const fs::path path = WriteFile("shared", "one\n");
    ASSERT_NE(OpenTextFile(0, NameOf(path)), 0);
    ASSERT_NE(OpenTextFile(1, NameOf(path)), 0);
    const std::int64_t outside = OpenTextFile(-1, NameOf(path));
    ASSERT_NE(outside, 0);
    for (const std::int64_t number : {std::int64_t{0}, std::int64_t{1}, outside}) {
        EXPECT_EQ(LineOf(number), u"one");
        EXPECT_NE(AtEndOfFile(number), 0);
        EXPECT_EQ(TextFileReadProblem(number), FileError::Other);
        CloseTextFile(number);
    }
}

TEST(TextFileReader, NumbersOutsideAndBeyondTheTable) {
    const fs::path a = WriteFile("numbers_a", "a1\na2\n");
    const fs::path b = WriteFile("numbers_b", "b1\n");
    const fs::path c = WriteFile("numbers_c", "c1\n");
    const std::int64_t outside = OpenTextFile(-1, NameOf(a));
    ASSERT_NE(outside, 0);
    ASSERT_NE(outside, -1);
    const std::int64_t other = OpenTextFile(-1, NameOf(b));
    ASSERT_NE(other, 0);
    EXPECT_NE(other, outside);
    ASSERT_NE(OpenTextFile(100, NameOf(c)), 0); // grows the table
    EXPECT_EQ(LineOf(outside), u"a1");
    EXPECT_EQ(LineOf(other), u"b1");
    EXPECT_EQ(LineOf(100), u"c1");
    EXPECT_EQ(LineOf(outside), u"a2");
    EXPECT_NE(AtEndOfFile(outside), 0);
    CloseTextFile(outside);
    EXPECT_EQ(AtEndOfFile(outside), 0);
    EXPECT_NE(AtEndOfFile(other), 0); // still open
    CloseTextFile(other);
    CloseTextFile(100);
    EXPECT_EQ(OpenTextFile(-2, NameOf(a)), 0);
}

TEST(TextFileReader, CloseAllClosesEveryFile) {
    const fs::path paths[] = {WriteFile("all_0", "x\n"), WriteFile("all_1", "y\n"),
                              WriteFile("all_2", "z\n")};
    ASSERT_NE(OpenTextFile(0, NameOf(paths[0])), 0);
    ASSERT_NE(OpenTextFile(40, NameOf(paths[1])), 0);
    const std::int64_t outside = OpenTextFile(-1, NameOf(paths[2]));
    ASSERT_NE(outside, 0);
    CloseTextFile(-1);
    for (std::int64_t number : {std::int64_t{0}, std::int64_t{40}, outside}) {
        EXPECT_EQ(AtEndOfFile(number), 0);
        EXPECT_TRUE(ReadTextLine(number).empty());
    }
    for (const fs::path& path : paths) { // every lock was released
        ASSERT_NE(OpenTextFile(3, NameOf(path)), 0);
        CloseTextFile(3);
    }
}

TEST(TextFileReader, UnusedNumbers) {
    std::u16string line = u"stale";
    for (std::int64_t number : {std::int64_t{0}, std::int64_t{7}, std::int64_t{1000},
                                std::int64_t{-5}, std::int64_t{1} << 40}) {
        EXPECT_EQ(AtEndOfFile(number), 0);
        EXPECT_TRUE(ReadTextLine(number).empty());
        EXPECT_EQ(ReadTextLineInto(number, line), 0);
        EXPECT_TRUE(line.empty());
        CloseTextFile(number);
    }
}

TEST(TextFileReader, NonAsciiPathName) {
    const fs::path path = WriteFile("M\xC3\xBCller.log", "ok\n");
    ASSERT_NE(OpenTextFile(0, Text::FromUtf8(path.string())), 0);
    EXPECT_EQ(LineOf(0), u"ok");
    CloseTextFile(0);
}

// Raw takes: from the buffer, through a refill, and directly for requests of
// at least the buffer size; lines continue where the bytes left off.
TEST(TextFileReader, TakingBytesAndLinesShareOnePosition) {
    std::string content;
    for (int i = 0; content.size() < 12000; ++i)
        content += static_cast<char>('a' + i % 26);
    content += "\ntail\n";
    const fs::path path = WriteFile("bytes", "\xEF\xBB\xBF" + content);
    const struct { std::int64_t count; } takes[] = {{1}, {10}, {4000}, {5000}, {2}};
    for (bool unbuffered : {false, true}) {
        SCOPED_TRACE(unbuffered);
        FailTextFileBuffersForTesting(unbuffered);
        ASSERT_NE(OpenTextFile(0, NameOf(path)), 0);
        FailTextFileBuffersForTesting(false);
        std::size_t position = 0;
        for (const auto& take : takes) {
            std::string got(static_cast<std::size_t>(take.count), '\0');
            ASSERT_EQ(ReadFileBytes(0, got.data(), take.count), take.count);
            EXPECT_EQ(got, content.substr(position, got.size()));
            position += got.size();
        }
        EXPECT_EQ(AtEndOfFile(0), 0);
        const std::size_t lineEnd = content.find('\n');
        std::u16string expected(content.begin() + static_cast<std::ptrdiff_t>(position),
                                content.begin() + static_cast<std::ptrdiff_t>(lineEnd));
        EXPECT_TRUE(LineOf(0) == expected);
        EXPECT_EQ(LineOf(0), u"tail");
        char rest[8];
        EXPECT_EQ(ReadFileBytes(0, rest, 8), 0);
        CloseTextFile(0);
    }
}

#if defined(_WIN32)
// Without sharing, nobody can write to or truncate a log while it is read:
// it cannot change under the reader at all.
TEST(TextFileReader, FileCannotChangeWhileRead) {
    const fs::path path = WriteFile("changing", "first\n");
    ASSERT_NE(OpenTextFile(0, NameOf(path)), 0);
    std::error_code error;
    fs::resize_file(path, 1, error);
    EXPECT_TRUE(error);
    EXPECT_FALSE(std::ofstream(path, std::ios::binary | std::ios::app).is_open());
    EXPECT_EQ(LineOf(0), u"first");
    EXPECT_NE(AtEndOfFile(0), 0);
    EXPECT_EQ(TextFileReadProblem(0), FileError::Other);
    CloseTextFile(0);
    EXPECT_TRUE(std::ofstream(path, std::ios::binary | std::ios::app).is_open());
}
#else
// A file cut short or grown while it is read: no crash, no endless loop.
TEST(TextFileReader, FileChangingWhileRead) {
    std::string content;
    for (int i = 0; i < 3000; ++i)
        content += "line " + std::to_string(i) + "\r\n";
    const fs::path path = WriteFile("changing", content);

    ASSERT_NE(OpenTextFile(0, NameOf(path)), 0);
    EXPECT_EQ(LineOf(0), u"line 0");
    fs::resize_file(path, 10);
    std::size_t lines = 1;
    while (AtEndOfFile(0) == 0 && lines < 10000) {
        ReadTextLine(0);
        ++lines;
    }
    EXPECT_LT(lines, 10000u);
    EXPECT_EQ(TextFileReadProblem(0), FileError::Changed); // cut short
    CloseTextFile(0);

    WriteFile("changing", "first\n");
    ASSERT_NE(OpenTextFile(0, NameOf(path)), 0);
    EXPECT_EQ(LineOf(0), u"first");
    EXPECT_NE(AtEndOfFile(0), 0);
    {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        out << "second\n";
    }
    EXPECT_EQ(AtEndOfFile(0), 0); // the end is where the file ends now
    EXPECT_EQ(LineOf(0), u"second");
    EXPECT_NE(AtEndOfFile(0), 0);
    EXPECT_EQ(TextFileReadProblem(0), FileError::Changed); // grown
    CloseTextFile(0);
}
#endif

} // namespace
} // namespace qk
