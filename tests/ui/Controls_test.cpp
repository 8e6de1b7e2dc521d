#include "tests/ui/RowPlaceContract.h"
#include "tests/ui/UiTestSupport.h"
#include "ui/qt/ListModel.h"

#include <QButtonGroup>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace qk::test {
namespace {

class ControlsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(BuildMainWindow(), 0);
        TakeEvents();
    }
};

TEST_F(ControlsTest, MainWindowHasItsInnerSizeIsCentredAndCannotBeResized) {
    QWidget* window = ui::FindWindow(0)->widget;
    EXPECT_EQ(window->size(), QSize(950, 600));
    EXPECT_EQ(window->minimumSize(), QSize(950, 600));
    EXPECT_EQ(window->maximumSize(), QSize(950, 600));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Quellkamp"));
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags & Qt::WindowTitleHint);
    EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(window->isVisible());
    // Centred on the whole primary screen, measured on the outer frame,
    // whatever x and y were given.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect outer = window->frameGeometry();
    const int usedWidth = std::min(outer.width(), screen.width());
    const int usedHeight = std::min(outer.height(), screen.height());
    EXPECT_EQ(outer.x(), screen.x() + (screen.width() - usedWidth) / 2);
    EXPECT_EQ(outer.y(), screen.y() + (screen.height() - usedHeight) / 2);
    // A smaller window shows the centring itself.
    const Handle small = OpenWindow(6, 3, 4, 300, 200, T(u"small"), 0x00C80001);
    const QRect placed = Widget(small)->frameGeometry();
    EXPECT_EQ(placed.x(), screen.x() + (screen.width() - placed.width()) / 2);
    EXPECT_EQ(placed.y(), screen.y() + (screen.height() - placed.height()) / 2);
    EXPECT_EQ(Widget(small)->size(), QSize(300, 200));
}

TEST_F(ControlsTest, WindowLargerThanTheScreenLandsAtTheCorner) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const Handle big =
        OpenWindow(5, 40, 40, screen.width() + 100, screen.height() + 100, T(u"big"), 0x00C80001);
    ASSERT_NE(big, 0);
    EXPECT_EQ(Widget(big)->frameGeometry().topLeft(), screen.topLeft());
    OpenWindow(5, 0, 0, 10, 10, T(u"small"), 0x10000000 | 0x8); // replaces it, invisible
    EXPECT_FALSE(ui::FindWindow(5)->widget->isVisible());
}

TEST_F(ControlsTest, ControlsSitWhereTheyAreCreatedInTheDefaultFont) {
    const QFont font = ui::DefaultGuiFont();
    EXPECT_EQ(font.family(), QStringLiteral("MS Sans Serif")); // installed by scripts/setup
    EXPECT_EQ(font.pixelSize(), 11);
    struct Place {
        int control, x, y, width, height;
    };
    const Place places[] = {{0, 10, 45, 930, 400}, {1, 80, 10, 60, 20},   {6, 430, 10, 60, 20},
                            {7, 10, 13, 60, 20},   {8, 500, 10, 80, 20},  {9, 10, 450, 930, 140},
                            {10, 810, 13, 40, 20}, {11, 860, 13, 80, 20}, {12, 720, 13, 80, 20}};
    for (const Place& p : places) {
        SCOPED_TRACE(p.control);
        QWidget* widget = ControlWidget(p.control);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->geometry(), QRect(p.x, p.y, p.width, p.height));
        EXPECT_EQ(QFontInfo(widget->font()).family(), font.family());
        EXPECT_EQ(widget->font().pixelSize(), 11);
        EXPECT_TRUE(widget->isVisible());
    }
}

TEST_F(ControlsTest, ListsHaveSixColumnsWithHeadingsAndWidths) {
    const char16_t* headings[] = {u"Pfad", u"Name", u"Byte", u"Datum", u"Zeit", u"User"};
    const int widths[] = {200, 250, 80, 100, 100, 100};
    for (int list : {0, 9}) {
        ui::ListView* view = ui::ListOf(list);
        ASSERT_NE(view, nullptr);
        ASSERT_EQ(view->model()->columnCount(), 6);
        for (int c = 0; c < 6; ++c) {
            EXPECT_EQ(GetCellText(list, -1, c), T(headings[c]));
            EXPECT_EQ(view->horizontalHeader()->sectionSize(c), widths[c]);
        }
        EXPECT_EQ(view->selectionMode(), QAbstractItemView::SingleSelection);
        EXPECT_EQ(view->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_FALSE(view->tabKeyNavigation());
    }
    EXPECT_EQ(GetCellText(0, -1, 1), T(u"Name"));
    EXPECT_EQ(GetCellText(0, -1, 6), Text());
}

TEST_F(ControlsTest, AddColumnInsertsAndMovesTheOthersRight) {
    AddRow(9, -1, T(u"p\nn\nb"));
    AddColumn(9, 1, T(u"Neu"), 30);
    EXPECT_EQ(GetCellText(9, -1, 1), T(u"Neu"));
    EXPECT_EQ(GetCellText(9, -1, 2), T(u"Name"));
    EXPECT_EQ(GetCellText(9, 0, 0), T(u"p"));
    EXPECT_EQ(GetCellText(9, 0, 1), Text());
    EXPECT_EQ(GetCellText(9, 0, 2), T(u"n"));
    EXPECT_EQ(GetCellText(9, 0, 3), T(u"b"));
    AddColumn(9, 99, T(u"Ende"), 30); // beyond the last column: appended
    EXPECT_EQ(GetCellText(9, -1, 7), T(u"Ende"));
}

struct SplitCase {
    const char* name;
    const char16_t* text;
    std::vector<const char16_t*> cells; // columns 0 to 5
};
// Printed by name in failure messages.
void PrintTo(const SplitCase& c, std::ostream* out) {
    *out << c.name;
}

class RowSplitTest : public ControlsTest, public ::testing::WithParamInterface<SplitCase> {};

TEST_P(RowSplitTest, AddRowSplitsAtLineFeeds) {
    const SplitCase& c = GetParam();
    AddRow(0, -1, T(u"x\nx\nx\nx\nx\nx"));
    AddRow(0, -1, T(c.text));
    ASSERT_EQ(RowCount(0), 2);
    for (int column = 0; column < 6; ++column)
        EXPECT_EQ(GetCellText(0, 1, column), T(c.cells[std::size_t(column)])) << column;
}

TEST_P(RowSplitTest, SetCellTextSplitsAtLineFeedsFromItsColumn) {
    const SplitCase& c = GetParam();
    AddRow(0, -1, T(u"x\nx\nx\nx\nx\nx"));
    SetCellText(0, 0, T(c.text), 0);
    // The cells after the pieces keep what they had.
    int pieces = 1;
    for (const char16_t* p = c.text; *p; ++p)
        pieces += *p == u'\n';
    for (int column = 0; column < 6; ++column) {
        const Text expected = column < pieces ? T(c.cells[std::size_t(column)]) : T(u"x");
        EXPECT_EQ(GetCellText(0, 0, column), expected) << column;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, RowSplitTest,
    ::testing::Values(SplitCase{"OneCell", u"a", {u"a", u"", u"", u"", u"", u""}},
                      SplitCase{"TwoCells", u"a\nb", {u"a", u"b", u"", u"", u"", u""}},
                      SplitCase{"TrailingLineFeed", u"a\n", {u"a", u"", u"", u"", u"", u""}},
                      SplitCase{"Empty", u"", {u"", u"", u"", u"", u"", u""}},
                      SplitCase{"LeadingLineFeeds", u"\n\nc", {u"", u"", u"c", u"", u"", u""}},
                      SplitCase{
                          "CarriageReturnStays", u"a\r\nb", {u"a\r", u"b", u"", u"", u"", u""}},
                      SplitCase{"LineFeedAfterALongPiece",
                                u"abcdefghijklmnopqrs\nt",
                                {u"abcdefghijklmnopqrs", u"t", u"", u"", u"", u""}},
                      SplitCase{"MorePiecesThanColumns",
                                u"1\n2\n3\n4\n5\n6\n7\n8",
                                {u"1", u"2", u"3", u"4", u"5", u"6"}}),
    [](const ::testing::TestParamInfo<SplitCase>& info) { return std::string(info.param.name); });

TEST_F(ControlsTest, AddRowAppendsOrInsertsAtItsPosition) {
    AddRow(0, -1, T(u"first"));
    EXPECT_EQ(RowCount(0), 1);
    EXPECT_EQ(GetCellText(0, 0, 0), T(u"first"));
    AddRow(0, -1, T(u"second"));
    EXPECT_EQ(GetCellText(0, 1, 0), T(u"second"));
    AddRow(0, 0, T(u"zeroth"));
    AddRow(0, 17, T(u"last"));
    AddRow(0, 2, T(u"middle\nm"));
    const char16_t* expected[] = {u"zeroth", u"first", u"middle", u"second", u"last"};
    ASSERT_EQ(RowCount(0), 5);
    for (int row = 0; row < 5; ++row)
        EXPECT_EQ(GetCellText(0, row, 0), T(expected[row])) << row;
    EXPECT_EQ(GetCellText(0, 2, 1), T(u"m"));
    EXPECT_EQ(GetCellText(0, 3, 1), Text());
    QApplication::processEvents();
    EXPECT_EQ(ui::ListOf(0)->model()->rowCount(), 5);
    EXPECT_EQ(ui::ListOf(0)->model()->index(4, 0).data().toString(), QStringLiteral("last"));
}

TEST_F(ControlsTest, MissingRowsAndColumnsGiveNothing) {
    AddRow(0, -1, T(u"a\nb"));
    SetCellText(0, 1, T(u"beyond"), 0);
    SetCellText(0, 0, T(u"beyond"), 6);
    SetCellText(0, -2, T(u"beyond"), 0);
    EXPECT_EQ(RowCount(0), 1);
    EXPECT_EQ(GetCellText(0, 0, 0), T(u"a"));
    EXPECT_EQ(GetCellText(0, 1, 0), Text());
    EXPECT_EQ(GetCellText(0, 0, 6), Text());
    EXPECT_EQ(GetCellText(0, 0, -1), Text());
    SetCellText(0, -1, T(u"Ort"), 0);
    EXPECT_EQ(GetCellText(0, -1, 0), T(u"Ort"));
    SetCellText(0, -1, T(u"Ort"), 9); // no such heading
    EXPECT_EQ(ui::ListOf(0)->model()->headerData(0, Qt::Horizontal).toString(),
              QStringLiteral("Ort"));
}

TEST_F(ControlsTest, LongTextsComeBackWhole) {
    const std::u16string longText(100000, u'w');
    AddRow(0, -1, Text(longText));
    EXPECT_EQ(GetCellText(0, 0, 0).size(), longText.size());
}

TEST_F(ControlsTest, ClearRowsKeepsTheColumnsAndLeavesNoSelection) {
    EXPECT_EQ(SelectedRow(0), -1);
    for (int i = 0; i < 5; ++i)
        AddRow(0, -1, T(u"r\ns"));
    QApplication::processEvents();
    ui::ListOf(0)->selectRow(3);
    EXPECT_EQ(SelectedRow(0), 3);
    EXPECT_EQ(GetControlText(0), T(u"r"));
    ClearRows(0);
    EXPECT_EQ(RowCount(0), 0);
    EXPECT_EQ(SelectedRow(0), -1);
    EXPECT_EQ(GetControlText(0), Text());
    EXPECT_EQ(GetCellText(0, -1, 5), T(u"User"));
    EXPECT_EQ(ui::ListOf(0)->model()->rowCount(), 0);
    AddRow(0, -1, T(u"again"));
    EXPECT_EQ(GetCellText(0, 0, 0), T(u"again"));
}

TEST_F(ControlsTest, ControlTextsReadBackAsShown) {
    EXPECT_EQ(GetControlText(11), T(u"?"));
    EXPECT_EQ(GetControlText(12), T(u"Sätze"));
    EXPECT_EQ(GetControlText(8), T(u"Export to..."));
    EXPECT_EQ(GetControlText(3), T(u"Byte"));
    SetControlText(12, T(u"17/1250"));
    EXPECT_EQ(GetControlText(12), T(u"17/1250"));
    SetControlText(11, T(u"neu"));
    EXPECT_EQ(static_cast<QLineEdit*>(ControlWidget(11))->text(), QStringLiteral("neu"));
}

TEST_F(ControlsTest, LabelsShowAmpersandsAndAlignAsAsked) {
    CreateTextLabel(20, 10, 600, 80, 20, T(u"A&B"), 0);
    CreateTextLabel(21, 10, 600, 80, 20, T(u"c"), 1);
    CreateTextLabel(22, 10, 600, 80, 20, T(u"r"), 2 | kSunkenBorder);
    auto* left = static_cast<QLabel*>(ControlWidget(20));
    EXPECT_EQ(left->textFormat(), Qt::PlainText);
    EXPECT_EQ(left->text(), QStringLiteral("A&B"));
    EXPECT_TRUE(left->alignment() & Qt::AlignLeft);
    EXPECT_TRUE(static_cast<QLabel*>(ControlWidget(21))->alignment() & Qt::AlignHCenter);
    auto* right = static_cast<QLabel*>(ControlWidget(22));
    EXPECT_TRUE(right->alignment() & Qt::AlignRight);
    EXPECT_NE(right->frameShape(), QFrame::NoFrame);
    EXPECT_EQ(static_cast<QLabel*>(ControlWidget(10))->alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(ControlWidget(20)->focusPolicy(), Qt::NoFocus);
}

TEST_F(ControlsTest, SixOptionButtonsThenALabelFormOneGroupNoneChosen) {
    std::vector<QRadioButton*> buttons;
    for (int n = 1; n <= 6; ++n) {
        buttons.push_back(static_cast<QRadioButton*>(ControlWidget(n)));
        EXPECT_FALSE(buttons.back()->isChecked());
        EXPECT_TRUE(buttons.back()->focusPolicy() & Qt::TabFocus);
    }
    QButtonGroup* group = buttons[0]->group();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->buttons().size(), 6);
    QTest::mouseClick(buttons[1], Qt::LeftButton);
    EXPECT_TRUE(buttons[1]->isChecked());
    QTest::mouseClick(buttons[3], Qt::LeftButton);
    EXPECT_TRUE(buttons[3]->isChecked());
    EXPECT_FALSE(buttons[1]->isChecked());
    // A run broken by another control starts a new group.
    CreateOptionButton(30, 0, 0, 10, 10, T(u"x"));
    CreateOptionButton(31, 0, 0, 10, 10, T(u"y"));
    auto* other = static_cast<QRadioButton*>(ControlWidget(30));
    EXPECT_NE(other->group(), group);
    EXPECT_EQ(other->group(), static_cast<QRadioButton*>(ControlWidget(31))->group());
    QTest::mouseClick(other, Qt::LeftButton);
    EXPECT_TRUE(buttons[3]->isChecked());
}

TEST_F(ControlsTest, TheProgramSelectsScrollsAndUnchoosesWithoutEvents) {
    CheckRowPlaceAndOptionContract(
        {[] { return TakeEvents().size(); },
         [](std::int64_t option) {
             return static_cast<QRadioButton*>(ControlWidget(option))->isChecked();
         },
         [](std::int64_t option) { QTest::mouseClick(ControlWidget(option), Qt::LeftButton); }});
}

TEST_F(ControlsTest, CreatingUnderAUsedNumberReplacesTheControl) {
    QWidget* old = ControlWidget(8);
    QPointer<QWidget> watch(old);
    ASSERT_NE(CreateTextField(8, 0, 0, 50, 20, T(u"field"), 0), 0);
    EXPECT_TRUE(watch.isNull());
    EXPECT_EQ(GetControlText(8), T(u"field"));
    EXPECT_EQ(RowCount(8), 0); // no longer a list, never was
}

TEST_F(ControlsTest, ListsHighlightNothingWithoutFocusAndDrawGridInButtonFace) {
    ui::ListView* view = ui::ListOf(0);
    EXPECT_EQ(view->frameShadow(), QFrame::Sunken);
    EXPECT_EQ(view->verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
    for (int i = 0; i < 3; ++i)
        AddRow(0, -1, T(u"row\nname"));
    QApplication::processEvents();
    view->selectRow(1);
    // Paint without focus: the selected row looks like the others.
    QWidget* other = ControlWidget(11);
    other->setFocus();
    QApplication::processEvents();
    ASSERT_FALSE(view->hasFocus()) << (QApplication::activeWindow() ? 1 : 0);
    const QImage unfocused = view->viewport()->grab().toImage();
    const int y0 = view->visualRect(view->model()->index(0, 1)).center().y();
    const int y1 = view->visualRect(view->model()->index(1, 1)).center().y();
    const int x = view->visualRect(view->model()->index(1, 1)).right() - 3;
    EXPECT_EQ(unfocused.pixel(x, y0), unfocused.pixel(x, y1));
    view->setFocus();
    QApplication::processEvents();
    const QImage focused = view->viewport()->grab().toImage();
    EXPECT_NE(focused.pixel(x, y0), focused.pixel(x, y1));
    // Grid lines at the row pitch, also below the last row.
    const QColor grid = view->palette().color(QPalette::Button);
    const int pitch = view->RowHeight();
    EXPECT_EQ(QColor(unfocused.pixel(40, pitch * 10 - 1)), grid);
    EXPECT_EQ(QColor(unfocused.pixel(199, pitch * 10 + 3)), grid); // end of column 0
}

} // namespace
} // namespace qk::test

namespace qk::test {
namespace {

// Every size below 1.000.000.000 fits the 80-pixel Byte column, with the
// cell's own margins.
TEST_F(ControlsTest, EverySizeFitsTheByteColumn) {
    ui::ListView* view = ui::ListOf(RecordListView);
    for (const char16_t* size :
         {u"  999.999.999", u"  888.888.888", u"   41.362.000", u"    1.263.616"}) {
        SCOPED_TRACE(Text(size).ToUtf8());
        ClearRows(RecordListView);
        AddRow(RecordListView, -1, Text(std::u16string(u"K:\\\na.par \n") + size));
        ui::FlushLists();
        const QModelIndex cell = view->model()->index(0, 2);
        EXPECT_LE(view->sizeHintForIndex(cell).width(), view->columnWidth(2));
    }
}

// The count label keeps its right edge and grows to the left, never over
// the export button; the labels' and options' own texts fit as created.
TEST_F(ControlsTest, LabelsShowTheirWholeTextGrowingToTheLeft) {
    QWidget* label = ControlWidget(CountLabel);
    const QRect exportButton = ControlWidget(ExportButton)->geometry();
    for (const char16_t* count :
         {u"5/5", u"100000/100000", u"4790/1000000", u"10000000/10000000", u"0/0"}) {
        SCOPED_TRACE(Text(count).ToUtf8());
        SetControlText(CountLabel, T(count));
        const QRect placed = label->geometry();
        EXPECT_EQ(placed.right(), 799);
        EXPECT_GE(placed.width(), 80);
        EXPECT_GE(placed.width(), label->fontMetrics().horizontalAdvance(ui::ToQString(T(count))));
        EXPECT_GT(placed.left(), exportButton.right());
        EXPECT_EQ(GetControlText(CountLabel), T(count));
    }
    for (std::int64_t control : {1, 2, 3, 4, 5, 6, 7, 10}) {
        QWidget* widget = ControlWidget(control);
        EXPECT_LE(widget->sizeHint().width(), widget->width()) << control;
    }
    auto* button = ControlWidget(ExportButton);
    EXPECT_LE(button->fontMetrics().horizontalAdvance(QStringLiteral("Export to...")) + 8,
              button->width());
}

} // namespace
} // namespace qk::test
