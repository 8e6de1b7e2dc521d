// The one rule for the cells of every spreadsheet CSV: what a spreadsheet
// would compute (also after trimming leading blanks) is made plain text.
#include "core/ExportFormats.h"

#include <gtest/gtest.h>

#include <string>

namespace qk {
namespace {

TEST(SpreadsheetCell, FormulaCellsBecomeText) {
    const struct {
        std::u16string cell;
        std::string field;
    } cases[] = {
        {u"halter.par", "halter.par"},
        {u"", ""},
        {u"   ", "   "},
        {u"=1+1", "\"'=1+1\""},
        {u" =1+1", "\"' =1+1\""},
        {u"   @SUM(A1)", "\"'   @SUM(A1)\""},
        {u"+x", "\"'+x\""},
        {u" -x", "\"' -x\""},
        {u"\tb", "\"'\tb\""},
        {u" \rb", "\"' \rb\""},
        {u"-12", "-12"}, // a plain negative integer is a number
        {u" -12", " -12"},
        {u"-", "\"'-\""},
        {u"-1.5", "\"'-1.5\""},
        {u"a=b", "a=b"},
        {u"a,b", "\"a,b\""},
        {u"=\"x\"", "\"'=\"\"x\"\"\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.field);
        std::string out;
        AppendSpreadsheetCell(out, c.cell);
        EXPECT_EQ(out, c.field);
        EXPECT_EQ(SpreadsheetReadsAsFormula(c.cell), c.field.starts_with("\"'"));
    }
}

} // namespace
} // namespace qk
