#include "app/MainWindow.h"

#include "core/DuplicateRecord.h"
#include "ui/Controls.h"
#include "ui/Desktop.h"

#include <array>

namespace qk {
namespace {

constexpr int kInnerWidth = 950;
constexpr int kInnerHeight = 600;
// Title bar, system menu with close box, centred on the screen.
constexpr std::uint32_t kMainWindowFlags =
    kWindowTitleBar | kWindowSystemMenu | kWindowCentreOnScreen;
// Single selection, whole-row selection, grid lines.
constexpr std::uint32_t kRecordListFlags = kListFullRowSelect | kListGridLines;

struct ColumnSpec {
    const char16_t* heading;
    int width;
};
constexpr std::array<ColumnSpec, 6> kColumns = {{
    {FieldSpec(RecordField::Path).heading, 200},
    {FieldSpec(RecordField::Name).heading, 250},
    {FieldSpec(RecordField::Size).heading, 80},
    {FieldSpec(RecordField::Date).heading, 100},
    {FieldSpec(RecordField::Time).heading, 100},
    {FieldSpec(RecordField::User).heading, 100},
}};

void CreateRecordList(std::int64_t control, int y, int height) {
    CreateListView(control, 10, y, 930, height, kColumns[0].heading, kColumns[0].width,
                   kRecordListFlags);
    for (int index = 1; index < static_cast<int>(kColumns.size()); ++index)
        AddColumn(control, index, kColumns[index].heading, kColumns[index].width);
}

} // namespace

bool OpenMainWindow() {
    if (OpenWindow(MainWindow, 0, 0, kInnerWidth, kInnerHeight, u"Quellkamp", kMainWindowFlags) ==
        0)
        return false;
    CreateRecordList(RecordListView, 45, 400);
    for (std::int64_t option = FirstSortOption; option <= LastSortOption; ++option) {
        const int x = 80 + 70 * static_cast<int>(option - 1);
        CreateOptionButton(option, x, 10, 60, 20, kColumns[option - 1].heading);
    }
    CreateTextLabel(SortLabel, 10, 13, 60, 20, u"Sort by...", kLabelLeft);
    CreatePushButton(ExportButton, 500, 10, 80, 20, u"Export to...", 0);
    CreateRecordList(MatchListView, 450, 140);
    CreateTextLabel(FindLabel, 810, 13, 40, 20, u"Find", kLabelRight);
    CreateTextField(FindField, 860, 13, 80, 20, u"?", 0);
    CreateTextLabel(CountLabel, 720, 13, 80, 20, u"Sätze", kLabelLeft);
    // What a screen reader announces: the lists by what they show, the find
    // field by its label; the buttons and labels by their text.
    SetAccessibleName(RecordListView, u"Sätze");
    SetAccessibleName(MatchListView, u"Kopien");
    SetAccessibleName(FindField, u"Find");
    return true;
}

} // namespace qk
