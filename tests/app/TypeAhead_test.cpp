// Type-ahead in the upper list over the loaded records, with more rows than
// a search walks near its start: the row the list selects is the one a
// plain search over the list's cells finds, at the first keys after loading
// and in a filtered list.
#include "tests/app/ViewerScript.h"

#include "text/TextPrimitives.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

namespace qk {
namespace {

namespace fs = std::filesystem;

// The first row after `current`, wrapping, whose path starts with `prefix`
// (ignoring case); `current` when there is none.
std::int64_t PlainSearch(std::int64_t current, const std::u16string& prefix) {
    const std::int64_t rows = RowCount(RecordListView);
    for (std::int64_t i = 1; i <= rows; ++i) {
        const std::int64_t row = (current + i) % rows;
        const Text path = GetCellText(RecordListView, row, 0);
        const std::u16string_view units = path.view();
        bool starts = units.size() >= prefix.size();
        for (std::size_t k = 0; starts && k < prefix.size(); ++k)
            starts = FoldCase(units[k]) == FoldCase(prefix[k]);
        if (starts) return row;
    }
    return current;
}

struct Case {
    const char* label;
    std::int64_t current;
    const char16_t* typed;
};

// 80,000 records under D:\Werk\, one under D:\Ende\ near the end, one under
// K:\Norm\ near the start that the find text "D:" hides.
constexpr int kRecords = 80000;
constexpr int kEndRecord = 79000;
constexpr int kHiddenRecord = 500;
const Case kCases[] = {
    {"a far row, past the rows walked near the start", 0, u"d:\\e"},
    {"a far row, wrapping", kEndRecord + 10, u"D:\\E"},
    {"a near row", kEndRecord + 10, u"d:\\w"},
    {"no path starts with it", 0, u"q"},
    {"only the hidden record starts with it (once filtered)", 0, u"K"},
};

void TypeCases() {
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(1);
    ui::ListView* list = ui::ListOf(RecordListView);
    const std::int64_t rows = RowCount(RecordListView);
    ASSERT_GT(rows, 70000) << "more rows than a search walks near its start";
    for (const Case& c : kCases) {
        const std::int64_t current = std::min(c.current, rows - 1);
        const std::u16string typed(c.typed);
        list->setCurrentIndex(list->model()->index(int(current), 0));
        std::this_thread::sleep_for(std::chrono::milliseconds(5)); // a new search
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, ui::ToQString(Text(typed)));
        QCoreApplication::sendEvent(list, &press);
        EXPECT_EQ(list->currentIndex().row(), PlainSearch(current, typed)) << c.label;
    }
    QApplication::setKeyboardInputInterval(interval);
}

TEST(TypeAheadInTheRecordList, SelectsWhatAPlainSearchFinds) {
    const fs::path log =
        fs::temp_directory_path() / ("vorschlag-" + std::to_string(getpid()) + ".txt");
    {
        std::ofstream out(log, std::ios::binary);
        for (int i = 0; i < kRecords; ++i)
            out << (i == kEndRecord      ? "D:\\Ende\\"
                    : i == kHiddenRecord ? "K:\\Norm\\"
                                         : "D:\\Werk\\")
                << "teil.par 12KB 01.02.2017 13:05 cad01\r\n";
    }
    const std::vector<Step> steps = {
        AnswerFileDialog(log.string()),
        WhenMainWindowShown([] { TypeCases(); }),
        Do([] {
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, "D:");
        }),
        [] { // once the find has been applied
            if (ControlText(CountLabel) != "79999/80000") return false;
            TypeCases();
            return true;
        },
        Do(Close),
    };
    EXPECT_EQ(RunWithScript(steps), 0);
    fs::remove(log);
}

} // namespace
} // namespace qk
