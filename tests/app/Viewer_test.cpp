// The viewer end to end, in process on the offscreen platform: the real main
// routine runs while a script answers its dialogs and clicks and types on
// its real widgets like a user, checking what the window shows after each
// step.
#include "tests/app/ViewerScript.h"

#include "core/DuplicateRecord.h"
#include "ui/Events.h"

#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace qk {
namespace {

namespace fs = std::filesystem;

class Viewer : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quellkamp-viewer-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        log_ = (dir_ / "dubletten.txt").string();
        std::ofstream(log_, std::ios::binary)
            << "Doppelte Dateien\r\n"
               "D:\\A\\halter.par   1.234,5KB  16.09.2018 07:36 cad01\r\n"
               "E:\\Werk\\baugruppe.asm 12MB 01.02.2017 13:05 cad02\r\n"
               "D:\\B\\halter.par 999 01.01.2019 08:00 cad03\r\n"
               "D:\\C\\Halter.par 5 02.01.2019 09:00 cad01\r\n"
               "D:\\D\\deckel.dft 77KB 03.03.2016 10:10 cad02\r\n"
               "Summe: 5 Dateien\r\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A copy of the log under a name that is no UTF-8.
    std::string Latin() {
        const std::string latin = (dir_ / "latin\xE4.txt").string();
        fs::copy_file(log_, latin, fs::copy_options::overwrite_existing);
        return latin;
    }

    fs::path dir_;
    std::string log_;
};

TEST_F(Viewer, LoadsListsSortsMatchesAndFinds) {
    const int code = RunWithScript({
        AnswerFileDialog(log_),
        WhenMainWindowShown([] {
            EXPECT_EQ(ControlText(CountLabel), "5/5");
            EXPECT_EQ(ControlText(FindField), "?");
            EXPECT_EQ(ColumnOf(RecordListView, 5),
                      (Strings{"cad01", "cad02", "cad03", "cad01", "cad02"}));
            EXPECT_EQ(GetCellText(RecordListView, 0, 2).ToUtf8(), "    1.263.616");
            EXPECT_EQ(RowCount(MatchListView), 0);
        }),
        // A row click lists every copy of that name.
        Do([] { ClickRow(RecordListView, 2); }),
        Do([] {
            EXPECT_EQ(SelectedRow(RecordListView), 2);
            EXPECT_EQ(ColumnOf(MatchListView, 0), (Strings{"D:\\A\\", "D:\\B\\"}));
            EXPECT_EQ(ColumnOf(MatchListView, 1), (Strings{"halter.par ", "halter.par "}));
        }),
        // Typing filters letter by letter and updates the count; every
        // change empties the lower list.
        Do([] {
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            field->setFocus();
            field->selectAll();
            QTest::keyClick(field, Qt::Key_C);
        }),
        Do([] {
            EXPECT_EQ(ControlText(CountLabel), "5/5");
            EXPECT_EQ(RowCount(MatchListView), 0);
            QTest::keyClicks(ControlWidget(FindField), "ad02");
        }),
        Do([] {
            EXPECT_EQ(ControlText(CountLabel), "2/5");
            EXPECT_EQ(ColumnOf(RecordListView, 1), (Strings{"baugruppe.asm ", "deckel.dft "}));
        }),
        // A click in the filtered list finds hidden copies too.
        Do([] {
            QTest::keyClick(ControlWidget(FindField), Qt::Key_Backspace);
            QTest::keyClick(ControlWidget(FindField), Qt::Key_3);
        }),
        Do([] {
            EXPECT_EQ(ControlText(CountLabel), "1/5");
            ClickRow(RecordListView, 0);
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(MatchListView, 0), (Strings{"D:\\A\\", "D:\\B\\"}));
        }),
        // Each option sorts stably and keeps the filter and the lower list.
        Do([] {
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            field->selectAll();
            QTest::keyClicks(field, ":");
        }),
        Do([] {
            EXPECT_EQ(ControlText(CountLabel), "5/5");
            ClickRow(RecordListView, 0);
        }),
        Do([] {
            QTest::mouseClick(ControlWidget(3), Qt::LeftButton); // Byte
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(RecordListView, 2),
                      (Strings{"            5", "          999", "       78.848", "    1.263.616",
                               "   12.582.912"}));
            EXPECT_EQ(RowCount(MatchListView), 2);
            QTest::mouseClick(ControlWidget(6), Qt::LeftButton); // User
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(RecordListView, 5),
                      (Strings{"cad01", "cad01", "cad02", "cad02", "cad03"}));
            EXPECT_EQ(ColumnOf(RecordListView, 2),
                      (Strings{"            5", "    1.263.616", "       78.848", "   12.582.912",
                               "          999"}));
            EXPECT_EQ(ControlText(CountLabel), "5/5");
        }),
        // The labels change nothing.
        Do([] {
            QTest::mouseClick(ControlWidget(CountLabel), Qt::LeftButton);
            QTest::mouseClick(ControlWidget(SortLabel), Qt::LeftButton);
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(RecordListView, 5),
                      (Strings{"cad01", "cad01", "cad02", "cad02", "cad03"}));
            EXPECT_EQ(RowCount(MatchListView), 2);
            EXPECT_EQ(ControlText(CountLabel), "5/5");
        }),
        // Emptying the find field lists every record again.
        Do([] {
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            field->selectAll();
            QTest::keyClicks(field, "cad03");
        }),
        Do([] {
            EXPECT_EQ(ControlText(CountLabel), "1/5");
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            field->selectAll();
            QTest::keyClick(field, Qt::Key_Delete);
        }),
        Do([] {
            EXPECT_EQ(ControlText(FindField), "");
            EXPECT_EQ(ControlText(CountLabel), "5/5");
            EXPECT_EQ(RowCount(RecordListView), 5);
        }),
        Do(Close),
    });
    EXPECT_EQ(code, 0);
}

// A click event can arrive after its row went away (an earlier change of the
// find field emptied the list): with no row selected, the lower list is
// emptied and lists nothing, not the records named like the column heading.
TEST_F(Viewer, ClickEventWithoutSelectedRowListsNothing) {
    // The double quote ends the name: this record is named exactly "Name".
    std::ofstream(log_, std::ios::app) << "D:\\E\\Name\".par 1 01.01.2001 t u\r\n";
    const int code = RunWithScript({
        AnswerFileDialog(log_),
        WhenMainWindowShown([] { ClickRow(RecordListView, 0); }),
        Do([] {
            EXPECT_EQ(RowCount(MatchListView), 2);
            ui::ListOf(RecordListView)->clearSelection();
            ASSERT_EQ(SelectedRow(RecordListView), -1);
            ui::PostEvent(ControlEvent, RecordListView, MainWindow, kLeftClick);
        }),
        Do([] {
            EXPECT_EQ(GetCellText(RecordListView, 5, 1).ToUtf8(), "Name");
            EXPECT_EQ(RowCount(MatchListView), 0);
            EXPECT_EQ(RecordCount(NameMatches.list), 0);
        }),
        Do(Close),
    });
    EXPECT_EQ(code, 0);
}

TEST_F(Viewer, CancelledDialogEndsWithoutWindow) {
    bool sawWindow = false;
    const int code = RunWithScript({[&] {
        sawWindow = sawWindow || ui::FindWindow(MainWindow) != nullptr;
        QWidget* dialog = Modal("QFileDialog");
        if (!dialog) return false;
        QTest::keyClick(dialog, Qt::Key_Escape);
        return true;
    }});
    EXPECT_EQ(code, 0);
    EXPECT_FALSE(sawWindow);
}

TEST_F(Viewer, UnopenableLogShowsTheMessageThenEmptyLists) {
    const std::string missing = (dir_ / "fehlt.txt").string();
    const int code = RunWithScript({
        AnswerFileDialog(missing),
        AnswerCannotOpenMessage(),
        WhenMainWindowShown([] {
            EXPECT_EQ(ControlText(CountLabel), "0/0");
            EXPECT_EQ(RowCount(RecordListView), 0);
        }),
        // A click on the empty list lists nothing below.
        Do([] {
            QTest::mouseClick(ui::ListOf(RecordListView)->viewport(), Qt::LeftButton,
                              Qt::NoModifier, QPoint(50, 50));
        }),
        Do([] { EXPECT_EQ(RowCount(MatchListView), 0); }),
        Do(Close),
    });
    EXPECT_EQ(code, 0);
}

// The dialog shows such a name with U+FFFD; the file it stands for opens.
TEST_F(Viewer, DialogOpensALogWhoseNameIsNoUtf8) {
    const int code = RunWithScript({
        AnswerFileDialog(Latin()),
        WhenMainWindowShown([] { EXPECT_EQ(ControlText(CountLabel), "5/5"); }),
        Do(Close),
    });
    EXPECT_EQ(code, 0);
}

TEST_F(Viewer, LogOnTheCommandLineLoadsWithoutTheDialog) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        bool opens;
    };
    const Case cases[] = {
        {"a log", {log_}, true},
        {"a log named like an option", {"--", log_}, true},
        {"a log that cannot be opened", {(dir_ / "fehlt.txt").string()}, false},
        {"a folder", {dir_.string()}, false},
        {"a log whose name is no UTF-8", {Latin()}, true},
    };
    for (const Case& c : cases) {
        std::vector<Step> steps;
        if (!c.opens) steps.push_back(AnswerCannotOpenMessage());
        steps.push_back(WhenMainWindowShown([&] {
            EXPECT_EQ(ControlText(CountLabel), c.opens ? "5/5" : "0/0") << c.label;
            EXPECT_EQ(RowCount(RecordListView), c.opens ? 5 : 0) << c.label;
        }));
        steps.push_back(Do(Close));
        bool sawDialog = false;
        steps.insert(steps.begin(), [&] {
            sawDialog = Modal("QFileDialog") != nullptr;
            return true;
        });
        EXPECT_EQ(RunWithScript(steps, std::chrono::seconds(30), c.args), 0) << c.label;
        EXPECT_FALSE(sawDialog) << c.label;
    }
}

} // namespace
} // namespace qk

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    // The test owns the application, so each run of the main routine finds
    // it and leaves it for the next.
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
