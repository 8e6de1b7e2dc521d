#include "core/StoredText.h"

#include <gtest/gtest.h>

#include <string>

namespace qk {
namespace {

// The stored form of logged bytes, whether they are taken as they stand or
// decoded first, is that of the units the reader decodes them to: every
// sequence of one to three bytes, and four-byte ones, malformed or not.
TEST(StoredText, LoggedBytesStoreAsTheirDecodedUnits) {
    std::u16string scratch, units;
    std::string stored, expected;
    const auto check = [&](const std::string& logged) {
        stored.clear();
        AppendStoredOfLogged(logged, stored, scratch);
        DecodeLineInto(logged, units);
        expected = StoredOf(units);
        return stored == expected;
    };
    int wrong = 0;
    std::string bytes(3, '\0');
    for (int lead = 0x80; lead < 0x100; ++lead) {
        for (int second = 0; second < 0x100; ++second) {
            bytes.assign({static_cast<char>(lead), static_cast<char>(second)});
            wrong += !check("x" + bytes) + !check(bytes + "y");
            for (int third = 0x70; lead >= 0xE0 && third < 0xD0; ++third) {
                bytes.assign(
                    {static_cast<char>(lead), static_cast<char>(second), static_cast<char>(third)});
                wrong += !check(bytes);
            }
        }
    }
    for (const char* four : {"\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xF4\x90\x80\x80",
                             "\xF0\x80\x80\x80", "a\xED\xA0\x80\xED\xB0\x80"})
        wrong += !check(four);
    EXPECT_EQ(wrong, 0);
}

} // namespace
} // namespace qk
