// What the fuzz targets share: a check that stops the run with a message, so
// libFuzzer keeps the input that broke it, and printing of UTF-16 texts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace qk::fuzz {

// The units of a text as C-style escapes of printable ASCII and \uXXXX.
inline std::string Escaped(std::u16string_view units) {
    std::string out;
    for (const char16_t unit : units) {
        if (unit >= 0x20 && unit < 0x7F && unit != u'\\') {
            out.push_back(static_cast<char>(unit));
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04X", static_cast<unsigned>(unit));
            out += code;
        }
    }
    return out;
}

[[noreturn]] inline void Fail(const char* condition, const char* file, int line,
                              const std::string& detail) {
    std::fprintf(stderr, "%s:%d: broken: %s\n%s\n", file, line, condition, detail.c_str());
    std::abort();
}

} // namespace qk::fuzz

// Stops the run when `condition` does not hold; `detail` is built only then.
#define QK_REQUIRE(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition)) ::qk::fuzz::Fail(#condition, __FILE__, __LINE__, (detail));              \
    } while (false)
