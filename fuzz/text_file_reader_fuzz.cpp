// The text file reader on any bytes. The input is written to one temporary
// file (rewritten in place for every input) and read back line by line as
// the loader reads a log: AtEndOfFile, then ReadTextLine, until the end.
//
// Checks that no line holds LF, CR or NUL and that the lines are exactly what
// a plain byte-by-byte decoder following the reader's rules makes of the
// bytes, so nothing between lines is lost or invented:
//   - a UTF-8 byte-order mark at the very start is skipped;
//   - lines end at LF, CR LF, a lone CR (the next byte begins the next line),
//     NUL, or the end of the file; a final terminator adds no empty line;
//   - a lead byte 0x80 to 0xBF or 0xF8 to 0xFF is "?";
//   - a lead 0xC0 to 0xF7 takes 1, 2 or 3 continuation bytes; an overlong
//     form, a surrogate or a value beyond U+10FFFF is one U+FFFD;
//   - a sequence interrupted by a byte that is not a continuation byte is one
//     U+FFFD, and the interrupting byte is read afresh (so a line end there
//     still ends the line); one cut off by the end of the file is one U+FFFD.
// Short inputs are read a second time without the reader's buffer.
#include "fuzz/FuzzCheck.h"
#include "text/Text.h"
#include "text/TextFileReader.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace qk {
namespace {

constexpr std::int64_t kFileNumber = 0;
// Unbuffered reading takes one system call per byte.
constexpr std::size_t kLongestUnbufferedInput = 1024;

using Lines = std::vector<std::u16string>;

void AppendCodePoint(std::u16string& line, char32_t codePoint) {
    if (codePoint >= 0x10000) {
        const char32_t v = codePoint - 0x10000;
        line.push_back(static_cast<char16_t>(0xD800 + (v >> 10)));
        line.push_back(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
    } else {
        line.push_back(static_cast<char16_t>(codePoint));
    }
}

Lines DecodeByTheRules(const std::uint8_t* data, std::size_t size) {
    Lines lines;
    std::size_t pos = 0;
    if (size >= 3 && data[0] == 0xEF && data[1] == 0xBB && data[2] == 0xBF) pos = 3;
    while (pos < size) {
        std::u16string line;
        while (pos < size) {
            const std::uint8_t lead = data[pos++];
            if (lead == 0x00 || lead == 0x0A) break;
            if (lead == 0x0D) {
                if (pos < size && data[pos] == 0x0A) ++pos;
                break;
            }
            if (lead < 0x80) {
                line.push_back(lead);
                continue;
            }
            if (lead < 0xC0 || lead >= 0xF8) {
                line.push_back(u'?');
                continue;
            }
            const int continuations = lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : 3;
            char32_t codePoint = lead & (0x3F >> continuations);
            int taken = 0;
            while (taken < continuations && pos < size && (data[pos] & 0xC0) == 0x80) {
                codePoint = (codePoint << 6) | (data[pos++] & 0x3F);
                ++taken;
            }
            if (taken < continuations) {
                line.push_back(0xFFFD);
                continue; // the interrupting byte, if any, is read next
            }
            const char32_t smallest = continuations == 1   ? 0x80
                                      : continuations == 2 ? 0x800
                                                           : 0x10000;
            if (codePoint < smallest || (codePoint >= 0xD800 && codePoint <= 0xDFFF) ||
                codePoint > 0x10FFFF) {
                line.push_back(0xFFFD);
            } else {
                AppendCodePoint(line, codePoint);
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

fuzz::ScratchFile& Scratch() {
    static fuzz::ScratchFile file("reader");
    return file;
}

std::string DescribeBytes(const std::uint8_t* data, std::size_t size) {
    std::string out = "input:";
    for (std::size_t i = 0; i < size && i < 256; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", data[i]);
        out += hex;
    }
    if (size > 256) out += " ...";
    return out;
}

Lines ReadAllLines(bool intoBuffer) {
    Lines lines;
    QK_REQUIRE(OpenTextFile(kFileNumber, Text::FromUtf8(Scratch().path)) != 0,
               "the temporary file could not be opened");
    while (AtEndOfFile(kFileNumber) == 0) {
        if (intoBuffer) {
            std::u16string line;
            QK_REQUIRE(ReadTextLineInto(kFileNumber, line) == 1, "no line though bytes are left");
            lines.push_back(std::move(line));
        } else {
            lines.emplace_back(ReadTextLine(kFileNumber).view());
        }
        QK_REQUIRE(lines.size() <= 1 << 24, "endless lines");
    }
    QK_REQUIRE(ReadTextLine(kFileNumber).empty(), "a line after the end");
    CloseTextFile(kFileNumber);
    return lines;
}

void Compare(const Lines& got, const Lines& want, const std::uint8_t* data, std::size_t size,
             const char* how) {
    for (const std::u16string& line : got)
        QK_REQUIRE(line.find_first_of(std::u16string_view(u"\n\r\0", 3)) == std::u16string::npos,
                   std::string(how) + ": line \"" + fuzz::Escaped(line) + "\"\n" +
                       DescribeBytes(data, size));
    QK_REQUIRE(got.size() == want.size(), std::string(how) + ": " + std::to_string(got.size()) +
                                              " lines, want " + std::to_string(want.size()) + "\n" +
                                              DescribeBytes(data, size));
    for (std::size_t i = 0; i < got.size(); ++i)
        QK_REQUIRE(got[i] == want[i], std::string(how) + ": line " + std::to_string(i + 1) +
                                          "\ngot:  \"" + fuzz::Escaped(got[i]) + "\"\nwant: \"" +
                                          fuzz::Escaped(want[i]) + "\"\n" +
                                          DescribeBytes(data, size));
}

} // namespace
} // namespace qk

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qk;
    Scratch().Write(data, size);
    const Lines want = DecodeByTheRules(data, size);
    Compare(ReadAllLines(false), want, data, size, "buffered");
    if (size <= kLongestUnbufferedInput) {
        FailTextFileBuffersForTesting(true);
        Compare(ReadAllLines(true), want, data, size, "unbuffered");
        FailTextFileBuffersForTesting(false);
    }
    return 0;
}
