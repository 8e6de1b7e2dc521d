#include "text/NumberText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace qk {
namespace {

using namespace std::string_view_literals;

struct ParseCase {
    std::u16string_view text;
    std::int64_t expected;
};

TEST(NumberText, ParseInteger) {
    const std::vector<ParseCase> cases = {
        {u"  -42abc", -42},
        {u"+7", 7},
        {u"$1F", 31},
        {u"$1f", 31},
        {u"-$10", -16},
        {u"%1011", 11},
        {u"%102", 2},
        {u"1.234", 1},
        {u"1234.5KB", 1234},
        {u"12 KB", 12},
        {u"KB", 0},
        {u"- 5", 0},
        {u"0x1F", 0},
        {u"0x10", 0},
        {u"10", 10},
        {u"9223372036854775807", INT64_MAX},
        {u"9223372036854775808", INT64_MIN},
        {u"-9223372036854775808", INT64_MIN},
        {u"18446744073709551615", -1},
        {u"18446744073709551617", 1},
        {u"$FFFFFFFFFFFFFFFF", -1},
        {u"$1FFFFFFFFFFFFFFFF", -1},
        {u"", 0},
        {{}, 0},
        {u" \t \t", 0},
        {u"$", 0},
        {u"%", 0},
        {u"-", 0},
        {u"+-5", 0},
        {u"--5", 0},
        {u"\t 12", 12},
        {u"$g", 0},
        {u"%2", 0},
        {u"-0", 0},
        {u"007", 7},
        {u"\u00A012", 0}, // only blanks and tabs are skipped
    };
    for (const auto& c : cases) {
        std::string shown;
        AppendUtf8(shown, c.text);
        EXPECT_EQ(ParseInteger(c.text), c.expected) << "'" << shown << "'";
    }
}

struct IntegerCase {
    std::int64_t value;
    std::u16string_view expected;
};

TEST(NumberText, IntegerToText) {
    const std::vector<IntegerCase> cases = {
        {0, u"0"},
        {-1, u"-1"},
        {42, u"42"},
        {1000000, u"1000000"},
        {INT64_MAX, u"9223372036854775807"},
        {INT64_MIN, u"-9223372036854775808"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IntegerToText(c.value), c.expected) << c.value;
}

struct DecimalCase {
    double value;
    std::int32_t decimals;
    std::u16string_view mark, separator, expected;
};

TEST(NumberText, FormatDecimal) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    const double nan = std::nan("");
    const std::vector<DecimalCase> cases = {
        {1263616, 0, u",", u".", u"1.263.616"},
        {1000, 0, u",", u".", u"1.000"},
        {999, 0, u",", u".", u"999"},
        {0, 0, u",", u".", u"0"},
        {-1234567, 0, u",", u".", u"-1.234.567"},
        {-123456, 0, u",", u".", u"-123.456"},
        {-12, 0, u",", u".", u"-12"},
        {1234.5, 2, u".", u",", u"1,234.50"},
        {12345678901, 0, u",", u".", u"12.345.678.901"},
        {1234567, 0, u",", u" . ", u"1 . 234 . 567"},
        {1234567, 0, u",", u"", u"1234567"},
        {1234567.25, 2, u"", u"", u"123456725"},
        {1234.5, 1, u" dec ", u"'", u"1'234 dec 5"},
        {-0.0, 2, u".", u",", u"0.00"},
        {-0.0, 0, u",", u".", u"0"},
        {1234.5, -3, u"!", u",", u"1,234"},
        {1234.4, INT32_MIN, u"!", u",", u"1,234"},
        {0.125, 2, u",", u".", u"0,12"}, // halfway rounds as the fixed-point conversion does
        {9007199254740992.0, 0, u",", u".", u"9.007.199.254.740.992"},
        {kInfinity, 2, u".", u",", u"+Infinity"},
        {-kInfinity, 0, u",", u".", u"-Infinity"},
        {nan, 5, u"x", u"y", u"NaN"},
        {-nan, 0, u"", u"", u"NaN"},
    };
    for (const auto& c : cases) {
        std::string shown;
        AppendUtf8(shown, FormatDecimal(c.value, c.decimals, c.mark, c.separator));
        EXPECT_EQ(FormatDecimal(c.value, c.decimals, c.mark, c.separator), c.expected)
            << c.value << " with " << c.decimals << " decimals gave '" << shown << "'";
    }
    EXPECT_EQ(FormatDecimal(1234.5), u"1,234.50"sv);
}

TEST(NumberText, FormatDecimalLimitsDecimalsTo512) {
    const Text text = FormatDecimal(1.5, 600, u".", u",");
    ASSERT_EQ(text.size(), 2u + 512u);
    EXPECT_EQ(text.view().substr(0, 3), u"1.5");
    EXPECT_EQ(text.view().find_first_not_of(u'0', 3), std::u16string_view::npos);
    EXPECT_EQ(FormatDecimal(1.5, 600), FormatDecimal(1.5, 512));
}

TEST(NumberText, FormatDecimalOfLargestDouble) {
    const Text text = FormatDecimal(-std::numeric_limits<double>::max(), 512, u",", u".");
    // Sign, 309 digits with 102 separators, mark and 512 decimals.
    EXPECT_EQ(text.size(), 1u + 309u + 102u + 1u + 512u);
    EXPECT_EQ(text.view().substr(0, 5), u"-179.");
}

} // namespace
} // namespace qk
