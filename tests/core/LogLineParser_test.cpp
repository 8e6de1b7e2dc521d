#include "core/LogLineParser.h"
#include "tests/core/StepByStepParse.h"

#include "text/LineSplitting.h"
#include "text/NumberText.h"
#include "text/TextPrimitives.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace qk {
namespace {

struct Expected {
    const char* path;
    const char* name;
    const char* size;
    const char* date;
    const char* time;
    const char* user;
};

struct ParseCase {
    const char* label;
    const char* line; // UTF-8
    bool accepted;
    Expected record;
};

std::string Utf8(const Text& text) {
    return text.ToUtf8();
}

class ParseLogLineCases : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseLogLineCases, GivesTheRecordCharacterForCharacter) {
    const ParseCase& c = GetParam();
    const auto record = ParseLogLine(Text::FromUtf8(c.line));
    ASSERT_EQ(record.has_value(), c.accepted) << c.line;
    if (!c.accepted) return;
    EXPECT_EQ(Utf8(record->path), c.record.path);
    EXPECT_EQ(Utf8(record->name), c.record.name);
    EXPECT_EQ(Utf8(record->size), c.record.size);
    EXPECT_EQ(Utf8(record->date), c.record.date);
    EXPECT_EQ(Utf8(record->time), c.record.time);
    EXPECT_EQ(Utf8(record->user), c.record.user);
    EXPECT_EQ(Utf8(record->shown), "1");
}

const ParseCase kParseCases[] = {
    {"first worked example",
     "D:\\Daten\\Bauteile\\halter.par   1.234,5KB  16.09.2018 07:36 cad01",
     true,
     {"D:\\Daten\\Bauteile\\", "halter.par ", "    1.263.616", "2018.09.16", "07:36", "cad01"}},
    {"second worked example",
     "E:\\Werk\\baugruppe.asm 12MB 01.02.2017 13:05 cad02",
     true,
     {"E:\\Werk\\", "baugruppe.asm ", "   12.582.912", "2017.02.01", "13:05", "cad02"}},
    {"plain grouped bytes",
     "C:\\a\\teil.psm 1.234 03.04.2019 08:00 anna",
     true,
     {"C:\\a\\", "teil.psm ", "        1.234", "2019.04.03", "08:00", "anna"}},
    {"umlauts kept",
     "D:\\Geh\xC3\xA4use\\K\xC3\xBChler.dft 999 01.01.2020 00:00 j\xC3\xB6rg",
     true,
     {"D:\\Geh\xC3\xA4use\\", "K\xC3\xBChler.dft ", "          999", "2020.01.01", "00:00",
      "j\xC3\xB6rg"}},
    {"extension ends the line",
     "D:\\x\\a.par",
     true,
     {"D:\\x\\", "a.par", "            0", "..", "", ""}},
    {"asm decides over par",
     "D:\\x\\a.asm.par 5 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.asm.", "            0", "..5", "01.02.2003", "t"}},
    {"first occurrence of the deciding extension",
     "D:\\x\\a.par b.par 7 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "            0", "..7", "01.02.2003", "t"}},
    {"capital extension rejected", "D:\\x\\A.PAR 5 01.02.2003 t u", false, {}},
    {"capital extension with another",
     "D:\\x\\A.PAR.dft 5 01.02.2003 t u",
     true,
     {"D:\\x\\", "A.PAR.dft ", "            5", "2003.02.01", "t", "u"}},
    {"no separator rejected", "a.par 5 01.02.2003 t u", false, {}},
    {"bar before the separator rejected", "x|D:\\a.par 5 01.02.2003 t u", false, {}},
    {"header rejected", "Pfad Name Byte Datum Zeit User", false, {}},
    {"blank line rejected", "", false, {}},
    {"separator in the user extends the path",
     "D:\\x\\a.par 5 01.02.2003 07:00 DOM\\anna",
     true,
     {"D:\\x\\a.par 5 01.02.2003 07:00 DOM\\", "a.par ", "            5", "2003.02.01", "07:00",
      "DOM\\anna"}},
    {"slashes in the date extend the path",
     "D:\\x\\a.par 5 01/02/2003 07:00 anna",
     true,
     {"D:\\x\\a.par 5 01/02/", "a.par ", "            5", "..01/02/2003", "07:00", "anna"}},
    {"size right after the extension",
     "D:\\x\\a.par12345 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par1", "        2.345", "2003.02.01", "t", "u"}},
    {"unit after a blank",
     "D:\\x\\a.par 12 KB 01.02.2003 07:00",
     true,
     {"D:\\x\\", "a.par ", "           12", "..KB", "01.02.2003", "07:00"}},
    {"lower-case unit is no unit",
     "D:\\x\\a.par 12kb 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "           12", "2003.02.01", "t", "u"}},
    {"half a megabyte",
     "D:\\x\\a.par 0,5MB 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "            0", "2003.02.01", "t", "u"}},
    {"quoted path",
     "\"D:\\x\\a.par\" 5 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par", "            5", "2003.02.01", "t", "u"}},
    {"only path name and size",
     "D:\\x\\a.par 5",
     true,
     {"D:\\x\\", "a.par ", "            5", "..", "", ""}},
    {"tab is no separator",
     "D:\\x\\a.par\t5 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par\t", "            5", "2003.02.01", "t", "u"}},
    {"tab inside the tokens",
     "D:\\x\\a.par 5\t6 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "            5", "2003.02.01", "t", "u"}},
    {"anything after the user ignored",
     "D:\\x\\a.par 5 01.02.2003 t u rest of it",
     true,
     {"D:\\x\\", "a.par ", "            5", "2003.02.01", "t", "u"}},
    {"forward slashes",
     "/home/cad/a.psm 1,5KB 1.2.2003 9:05 bo",
     true,
     {"/home/cad/", "a.psm ", "        1.024", "2003.2.1", "9:05", "bo"}},
    // Sizes beyond 32 bits keep their true value.
    {"large KB value",
     "D:\\x\\a.par 3000000KB 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "3.072.000.000", "2003.02.01", "t", "u"}},
    {"large MB value",
     "D:\\x\\a.par 2048MB 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "2.147.483.648", "2003.02.01", "t", "u"}},
    // A size longer than the width is kept whole.
    {"eleven digits kept whole",
     "D:\\x\\a.par 12345678901 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "12.345.678.901", "2003.02.01", "t", "u"}},
    {"ten digits exactly fill the width",
     "D:\\x\\a.par 1234567890 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "1.234.567.890", "2003.02.01", "t", "u"}},
    {"negative size",
     "D:\\x\\a.par -1234 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "       -1.234", "2003.02.01", "t", "u"}},
    {"dots removed before the unit is looked for",
     "D:\\x\\a.par 2K.B 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "        2.048", "2003.02.01", "t", "u"}},
    {"hexadecimal size",
     "D:\\x\\a.par $1F 01.02.2003 t u",
     true,
     {"D:\\x\\", "a.par ", "           31", "2003.02.01", "t", "u"}},
    {"date with more pieces",
     "D:\\x\\a.par 5 1.2.3.4 t u",
     true,
     {"D:\\x\\", "a.par ", "            5", "3.2.1", "t", "u"}},
};

INSTANTIATE_TEST_SUITE_P(Lines, ParseLogLineCases, testing::ValuesIn(kParseCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* p = info.param.label; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// Random lines built from the characters that matter to the format agree with
// the steps written out one by one.
TEST(ParseLogLine, AgreesWithTheStepsOnRandomLines) {
    const std::u16string pieces[] = {
        u"\\", u"/",  u"|",  u"\"", u".par", u".psm",    u".dft",       u".asm",   u" ",
        u"  ", u"\t", u"KB", u"MB", u"kb",   u".",       u",",          u"1",      u"23",
        u"ä",  u"x",  u"$",  u"-",  u"%",    u"9999999", u"01.02.2003", u"D:\\a\\"};
    std::mt19937 random(20261208);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 14);
    for (int round = 0; round < 20000; ++round) {
        std::u16string line;
        for (int n = length(random); n > 0; --n)
            line += pieces[pick(random)];
        const Text text(line);
        const auto expected = StepByStepParse(text);
        const auto actual = ParseLogLine(text);
        ASSERT_EQ(actual.has_value(), expected.has_value()) << Utf8(text);
        if (!actual) continue;
        ASSERT_EQ(Utf8(actual->path), Utf8(expected->path)) << Utf8(text);
        ASSERT_EQ(Utf8(actual->name), Utf8(expected->name)) << Utf8(text);
        ASSERT_EQ(Utf8(actual->size), Utf8(expected->size)) << Utf8(text);
        ASSERT_EQ(Utf8(actual->date), Utf8(expected->date)) << Utf8(text);
        ASSERT_EQ(Utf8(actual->time), Utf8(expected->time)) << Utf8(text);
        ASSERT_EQ(Utf8(actual->user), Utf8(expected->user)) << Utf8(text);
    }
}

// The split on a line's bytes against the split of its decoded units: the
// same decision, and every piece decodes to the same units. Returns how the
// bytes were split.
ByteSplit ExpectBytesAgree(const std::string& bytes) {
    std::u16string line;
    DecodeLineInto(bytes, line);
    LogLineParts units;
    LogLineBytes pieces;
    const bool record = SplitLogLine(line, units);
    const ByteSplit split = SplitLogLineBytes(bytes, pieces);
    if (split == ByteSplit::NeedsUnits) return split;
    EXPECT_EQ(split == ByteSplit::Record, record) << bytes;
    if (split != ByteSplit::Record || !record) return split;
    const auto decoded = [](std::string_view piece) {
        std::u16string out;
        AppendDecoded(piece, out);
        return out;
    };
    std::u16string date =
        decoded(pieces.year) + u"." + decoded(pieces.month) + u"." + decoded(pieces.day);
    std::u16string unitDate;
    AppendDate(unitDate, units);
    EXPECT_EQ(decoded(pieces.path), units.path) << bytes;
    EXPECT_EQ(decoded(pieces.name), units.name) << bytes;
    EXPECT_EQ(pieces.sizeCount, units.sizeCount) << bytes;
    EXPECT_EQ(decoded(pieces.dateToken), units.dateToken) << bytes;
    EXPECT_EQ(date, unitDate) << bytes;
    EXPECT_EQ(decoded(pieces.time), units.time) << bytes;
    EXPECT_EQ(decoded(pieces.user), units.user) << bytes;
    return split;
}

TEST(SplitLogLineBytes, AgreesWithTheSplitOfTheDecodedLine) {
    struct Case {
        const char* line;
        ByteSplit split;
    };
    const std::string longLine = "D:\\x\\a.par 1 1.2.3 t u" + std::string(300, 'x');
    const Case cases[] = {
        {"D:\\Daten\\halter.par   1.234,5KB  16.09.2018 07:36 cad01", ByteSplit::Record},
        {"E:\\Werk\\baugruppe.asm 12MB 01.02.2017 13:05 r.j\xC3\xA4ger", ByteSplit::Record},
        {"D:\\Spannb\xC3\xBCgel\\F\xC3\xBChrung-1.psm 62,7MB 21.02.2017 01:32 u",
         ByteSplit::Record},
        {"D:\\a.par\xC3\xA4 5 1.2.3 t u", ByteSplit::NeedsUnits},     // one unit of the "ä"
        {"D:\\a.par\xF0\x9F\x98\x80 5 1.2.3", ByteSplit::NeedsUnits}, // half a pair
        {"D:\\a.par 5\xC3\xA4KB 1.2.3 t u", ByteSplit::NeedsUnits},
        {"D:\\a.par", ByteSplit::Record},
        {"D:\\a.par ", ByteSplit::Record},
        {"a.par 5 1.2.3 t u", ByteSplit::NoRecord},
        {"x|D:\\a.par 5", ByteSplit::NoRecord},
        {"\"D:\\x\\a.par\" 5 1.2.3", ByteSplit::Record},
        {"\"\\a.par", ByteSplit::Record},
        {"\"/", ByteSplit::NoRecord},
        {"D:\\A.PAR 5", ByteSplit::NoRecord},
        {"D:\\a.par.asm 5", ByteSplit::Record},
        {"D:\\b.asm x.par 5", ByteSplit::Record},
        {"D:\\a.par 5 1.2.3 dom\\user", ByteSplit::Record},
        {"D:\\a.par 12 KB 1.2.3 t", ByteSplit::Record},
        {"D:\\a.par 1K.B 1.2.3", ByteSplit::Record},
        {"D:\\a.par $ff 1.2.3", ByteSplit::Record},
        {"D:\\a.par -5,5MB 1.2.3", ByteSplit::Record},
        {"D:\\a.par 99999999999999999999999KB", ByteSplit::Record},
        {"D:\\a.par 12345678901 1.2.3", ByteSplit::Record},
        {"D:\\a.par\t5\t1.2.3", ByteSplit::Record},
        {"D:\\\xC3.par 5 \xC3.\x80.\xFF t\xE2\x82 \xF8u", ByteSplit::Record},
        {"\xC3\\a.par \xE0", ByteSplit::NeedsUnits},
        {longLine.c_str(), ByteSplit::NeedsUnits},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpectBytesAgree(c.line), c.split) << c.line;
}

TEST(SplitLogLineBytes, AgreesOnRandomLines) {
    const std::string pieces[] = {"\\",
                                  "/",
                                  "|",
                                  "\"",
                                  ".par",
                                  ".psm",
                                  ".dft",
                                  ".asm",
                                  " ",
                                  "  ",
                                  "\t",
                                  "KB",
                                  "MB",
                                  "kb",
                                  ".",
                                  ",",
                                  "1",
                                  "23",
                                  "\xC3\xA4",
                                  "\xC3",
                                  "\x80",
                                  "\xFF",
                                  "\xF0\x9F\x98\x80",
                                  "x",
                                  "$",
                                  "-",
                                  "9999999",
                                  "01.02.2003",
                                  "D:\\a\\"};
    std::mt19937 random(20261209);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 16);
    int split = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        for (int n = length(random); n > 0; --n)
            line += pieces[pick(random)];
        split += ExpectBytesAgree(line) != ByteSplit::NeedsUnits;
        if (testing::Test::HasFailure()) return;
    }
    EXPECT_GT(split, 15000); // the bytes decide most lines, even of these
}

// A line of a million blanks after the name is taken apart in one pass.
TEST(ParseLogLine, MillionBlanksAfterTheName) {
    std::u16string line = u"D:\\x\\a.par";
    line.append(1'000'000, u' ');
    line += u"5 01.02.2003 t u";
    const auto record = ParseLogLine(line);
    ASSERT_TRUE(record);
    EXPECT_EQ(Utf8(record->size), "            5");
    EXPECT_EQ(Utf8(record->date), "2003.02.01");
    EXPECT_EQ(Utf8(record->user), "u");
}

} // namespace
} // namespace qk
