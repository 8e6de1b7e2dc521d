// A list over a row source, on both window layers: it answers as if its
// rows had been added, and the platform's list holds and draws them.
#include "tests/ui/contract/Driver.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace qk::test {
namespace {

constexpr std::size_t kLongCell = 100'000;

// Items "i0".."i9" with cells "i<item>:<column>".
class ItemSource final : public RowSource {
  public:
    std::u16string_view CellText(std::uint32_t item, int column) const override {
        cell_[1] = char16_t(u'0' + item);
        cell_[3] = char16_t(u'0' + column);
        return {cell_, 4};
    }

  private:
    mutable char16_t cell_[5] = u"i?:?";
};

// Rows from a source turn into stored rows when one is added or changed.
TEST(ContractRows, RowsFromASourceBehaveAsAddedRows) {
    ASSERT_TRUE(ShowMainWindow());
    const ItemSource source;
    const auto show = [&] { ShowRows(RecordListView, &source, {7, 2, 9}); };
    const struct {
        const char* name;
        std::function<void()> change;
        std::vector<std::u16string> column0;
        std::u16string cell21; // row 2, column 1
    } steps[] = {
        {"shown", show, {u"i7:0", u"i2:0", u"i9:0"}, u"i9:1"},
        {"appended",
         [&] {
             show();
             AddRow(RecordListView, -1, u"new\nx");
         },
         {u"i7:0", u"i2:0", u"i9:0", u"new"},
         u"i9:1"},
        {"inserted",
         [&] {
             show();
             AddRow(RecordListView, 1, u"new");
         },
         {u"i7:0", u"new", u"i2:0", u"i9:0"},
         u"i2:1"},
        {"changed",
         [&] {
             show();
             SetCellText(RecordListView, 2, u"set", 1);
         },
         {u"i7:0", u"i2:0", u"i9:0"},
         u"set"},
        {"missing row",
         [&] {
             show();
             SetCellText(RecordListView, 3, u"set", 1);
         },
         {u"i7:0", u"i2:0", u"i9:0"},
         u"i9:1"},
        {"cleared",
         [&] {
             show();
             ClearRows(RecordListView);
         },
         {},
         u""},
        {"none", [&] { ShowRows(RecordListView, &source, {}); }, {}, u""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        ClearRows(RecordListView);
        step.change();
        ASSERT_EQ(RowCount(RecordListView), std::int64_t(step.column0.size()));
        EXPECT_EQ(DrawnRowCount(RecordListView), std::int64_t(step.column0.size()));
        for (std::size_t row = 0; row < step.column0.size(); ++row) {
            EXPECT_EQ(GetCellText(RecordListView, std::int64_t(row), 0), Text(step.column0[row]));
            EXPECT_EQ(DrawnCell(RecordListView, int(row), 0), step.column0[row]);
        }
        EXPECT_EQ(GetCellText(RecordListView, 2, 1), Text(step.cell21));
        EXPECT_EQ(GetCellText(RecordListView, 5, 0), Text());
        EXPECT_EQ(GetCellText(RecordListView, -1, 1), Text(u"Name"));
    }
    show();
    EXPECT_EQ(DrawnCell(RecordListView, 1, 4), u"i2:4");
    EXPECT_EQ(SelectedRow(RecordListView), -1);
    ClickRow(RecordListView, 1);
    EXPECT_EQ(SelectedRow(RecordListView), 1);
    EXPECT_EQ(GetControlText(RecordListView), Text(u"i2:0"));
}

// A cell longer than a cell shows is drawn cut, with an ellipsis; the
// program reads it back whole.
TEST(ContractRows, ALongCellIsDrawnCutAndReadWhole) {
    ASSERT_TRUE(ShowMainWindow());
    const std::u16string name(kLongCell, u'n');
    AddRow(RecordListView, -1, Text(u"c:\\\n" + name));
    EXPECT_EQ(GetCellText(RecordListView, 0, 1), Text(name));
    EXPECT_EQ(DrawnCell(RecordListView, 0, 1), std::u16string(4096, u'n') + u"\u2026");
    EXPECT_EQ(DrawnCell(RecordListView, 0, 0), u"c:\\");
}

} // namespace
} // namespace qk::test
