// The viewer end to end, in process on the offscreen platform: the real main
// routine runs while a script answers its dialogs and clicks and types on
// its real widgets like a user, checking what the window shows after each
// step.
#include "tests/app/ViewerScript.h"

#include "core/DuplicateRecord.h"
#include "text/TextFileReader.h"
#include "ui/Events.h"

#include <QApplication>
#include <QLineEdit>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
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

void PressInList(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* view = ui::ListOf(RecordListView);
    view->setFocus();
    QTest::keyClick(view, key, modifiers);
}

// Closes the message over the main window, which says `text`.
Step AnswerMessageOverWindow(std::string text) {
    return [text] {
        auto* box = static_cast<QMessageBox*>(Modal("QMessageBox"));
        if (!box) return false;
        EXPECT_EQ(box->text().toStdString(), text);
        box->button(QMessageBox::Ok)->click();
        return true;
    };
}

// The log the read hook changes the first time it is called.
std::string changedLog;
std::string changedTo;
void ChangeLogOnFirstRead(std::uint64_t) {
    if (changedLog.empty()) return;
    std::ofstream(changedLog, std::ios::binary | std::ios::trunc) << changedTo;
    changedLog.clear();
}

// Changes `log` to `bytes` right after its next load read its first bytes.
void ChangeDuringNextLoad(const std::string& log, const std::string& bytes) {
    changedLog = log;
    changedTo = bytes;
    SetTextFileReadHookForTesting(ChangeLogOnFirstRead);
}

const std::string kChangedReason = ": hat sich beim Lesen geändert; erneut versuchen";

Step CancelFileDialog() {
    return [] {
        QWidget* dialog = Modal("QFileDialog");
        if (!dialog) return false;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("LOG-Datei"));
        static_cast<QFileDialog*>(dialog)->reject();
        return true;
    };
}

// At start, a log that changed while it was read is reported and the dialog
// asks again; Cancel there ends the program as at first.
TEST_F(Viewer, LogChangedWhileReadAtStartAsksAgain) {
    const std::string other = (dir_ / "andere.txt").string();
    std::ofstream(other, std::ios::binary) << "D:\\X\\welle.par 10 01.01.2020 08:00 cad09\r\n";
    for (const bool another : {true, false}) {
        std::vector<Step> steps = {
            Do([&] { ChangeDuringNextLoad(log_, "D:\\A\\halter.par 1"); }),
            AnswerFileDialog(log_),
            AnswerMessageOverWindow("Konnte Datei nicht lesen!\n" + log_ + kChangedReason),
        };
        if (another) {
            steps.push_back(AnswerFileDialog(other));
            steps.push_back(WhenMainWindowShown([] { EXPECT_EQ(ControlText(CountLabel), "1/1"); }));
            steps.push_back(Do(Close));
        } else {
            steps.push_back(CancelFileDialog());
        }
        EXPECT_EQ(RunWithScript(steps), 0) << another;
    }
}

TEST_F(Viewer, CtrlOOpensAnotherLogOrKeepsTheCurrentOne) {
    const std::string other = (dir_ / "andere.txt").string();
    const std::string empty = (dir_ / "leer.txt").string();
    std::ofstream(empty, std::ios::binary) << "Doppelte Dateien\r\n\x7F"
                                              "ELF\x01\r\n";
    struct Case {
        const char* label;
        std::vector<Step> answer; // what the user does with the dialog
        std::string count;        // then shown
        std::string find;
        Strings users;
        bool userSortChosen; // the option chosen before stays chosen
    };
    const Case cases[] = {
        {"chosen", {AnswerFileDialog(other)}, "2/2", "?", {"cad09", "cad09"}, false},
        {"cancelled", {CancelFileDialog()}, "2/5", "cad02", {"cad02", "cad02"}, true},
        {"cannot be opened",
         {AnswerFileDialog((dir_ / "fehlt.txt").string()),
          AnswerMessageOverWindow("Konnte Datei nicht öffnen!\n" + (dir_ / "fehlt.txt").string() +
                                  ": nicht gefunden")},
         "0/0",
         "?",
         {},
         false},
        {"no record: the log stays",
         {AnswerFileDialog(empty),
          AnswerMessageOverWindow("Die Datei enthält keine Einträge: " + empty)},
         "2/5",
         "cad02",
         {"cad02", "cad02"},
         true},
        {"changed while read: the log stays",
         {Do([&] { ChangeDuringNextLoad(other, "x"); }), AnswerFileDialog(other),
          AnswerMessageOverWindow("Konnte Datei nicht lesen!\n" + other + kChangedReason)},
         "2/5",
         "cad02",
         {"cad02", "cad02"},
         true},
    };
    for (const Case& c : cases) {
        std::ofstream(other, std::ios::binary) << "D:\\X\\welle.par 10 01.01.2020 08:00 cad09\r\n"
                                                  "D:\\Y\\welle.par 20 02.01.2020 08:00 cad09\r\n";
        std::vector<Step> steps = {
            AnswerFileDialog(log_),
            WhenMainWindowShown([] {
                QTest::mouseClick(ControlWidget(6), Qt::LeftButton); // User
                auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
                field->setFocus();
                field->selectAll();
                QTest::keyClicks(field, "cad02");
            }),
            Do([] { PressInList(Qt::Key_O, Qt::ControlModifier); }),
        };
        steps.insert(steps.end(), c.answer.begin(), c.answer.end());
        steps.push_back(WhenMainWindowShown([&] {
            EXPECT_EQ(ControlText(CountLabel), c.count) << c.label;
            EXPECT_EQ(ControlText(FindField), c.find) << c.label;
            EXPECT_EQ(ColumnOf(RecordListView, 5), c.users) << c.label;
            EXPECT_EQ(RowCount(MatchListView), 0) << c.label;
            for (std::int64_t option = FirstSortOption; option <= LastSortOption; ++option)
                EXPECT_EQ(static_cast<QAbstractButton*>(ControlWidget(option))->isChecked(),
                          c.userSortChosen && option == 6)
                    << c.label << ": option " << option;
        }));
        steps.push_back(Do(Close));
        EXPECT_EQ(RunWithScript(steps), 0) << c.label;
    }
}

TEST_F(Viewer, F5ReloadsAndKeepsTheView) {
    struct Case {
        const char* label;
        std::function<void(const std::string&)> change; // done to the log before F5
        std::string count;
        Strings sizes;       // the upper list after F5
        Strings matches;     // folders of the lower list
        std::string message; // shown after F5, when any: the log and view stay
    };
    const Strings keptSizes = {"            5", "          999", "    1.263.616"};
    const Strings keptMatches = {"D:\\B\\", "D:\\A\\"};
    const Case cases[] = {
        {"rewritten",
         [](const std::string& log) {
             std::ofstream(log, std::ios::app | std::ios::binary)
                 << "D:\\E\\halter.par 3 04.01.2019 09:00 cad01\r\n";
         },
         "4/6",
         {"            3", "            5", "          999", "    1.263.616"},
         {"D:\\E\\", "D:\\B\\", "D:\\A\\"},
         ""},
        {"vanished", [](const std::string& log) { fs::remove(log); }, "3/5", keptSizes, keptMatches,
         "Konnte Datei nicht öffnen!\n" + log_ + ": nicht gefunden"},
        {"empty now", [](const std::string& log) { std::ofstream(log, std::ios::trunc); }, "3/5",
         keptSizes, keptMatches, "Die Datei enthält keine Einträge: " + log_},
        {"cut short while read",
         [](const std::string& log) { ChangeDuringNextLoad(log, "D:\\A\\hal"); }, "3/5", keptSizes,
         keptMatches, "Konnte Datei nicht lesen!\n" + log_ + kChangedReason},
        {"rewritten longer while read",
         [](const std::string& log) {
             ChangeDuringNextLoad(log, std::string(4096, '\n') + "D:\\F\\a.par 1 01.01.2019 "
                                                                 "09:00 cad01\r\n");
         },
         "3/5", keptSizes, keptMatches, "Konnte Datei nicht lesen!\n" + log_ + kChangedReason},
    };
    for (const Case& c : cases) {
        SetUp();
        std::vector<Step> steps = {
            AnswerFileDialog(log_),
            WhenMainWindowShown([] {
                QTest::mouseClick(ControlWidget(3), Qt::LeftButton); // Byte
                auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
                field->setFocus();
                field->selectAll();
                QTest::keyClicks(field, "alter");
            }),
            Do([] { ClickRow(RecordListView, 1); }),
            Do([&] {
                EXPECT_EQ(RowCount(MatchListView), 2) << c.label;
                c.change(log_);
                PressInList(Qt::Key_F5);
            }),
        };
        const bool vanished = !c.message.empty();
        const Step check = WhenMainWindowShown([&] {
            EXPECT_EQ(ControlText(CountLabel), c.count) << c.label;
            EXPECT_EQ(ControlText(FindField), "alter") << c.label;
            EXPECT_EQ(ColumnOf(RecordListView, 2), c.sizes) << c.label;
            EXPECT_EQ(ColumnOf(MatchListView, 0), c.matches) << c.label;
        });
        if (vanished) steps.push_back(AnswerMessageOverWindow(c.message));
        steps.push_back(check);
        if (!vanished) {
            // A second F5 finds the view the first one put back.
            steps.push_back(Do([] { PressInList(Qt::Key_F5); }));
            steps.push_back(check);
        }
        steps.push_back(Do(Close));
        EXPECT_EQ(RunWithScript(steps), 0) << c.label;
    }
}

// Lines of a log of distinct records, `first` to `last` (the number in
// the name), without those in `left`.
std::string NumberedLines(int first, int last, std::vector<int> left = {}) {
    std::string lines;
    for (int n = first; n <= last; ++n)
        if (std::find(left.begin(), left.end(), n) == left.end())
            lines += "D:\\Werk\\teil" + std::to_string(n) + ".par " + std::to_string(n) +
                     " 01.02.2017 13:05 cad01\r\n";
    return lines;
}

TEST_F(Viewer, F5KeepsTheSelectedRecordAndTheRecordAtTheTop) {
    // Records 1000 to 1299 in file order; the user selects teil1100 and
    // scrolls teil1080 to the top.
    struct Case {
        const char* label;
        std::string rewritten;
        std::int64_t selected, top; // rows after F5
    };
    const Case cases[] = {
        {"lines appended", NumberedLines(1000, 1350), 100, 80},
        {"lines before them", NumberedLines(990, 1299), 110, 90},
        {"the selected record gone", NumberedLines(1000, 1299, {1100}), -1, 80},
        {"the top record gone: the same place", NumberedLines(1000, 1299, {1080}), 99, 80},
        {"the log shorter than the place", NumberedLines(1000, 1040), -1, -2},
    };
    for (const Case& c : cases) {
        std::ofstream(log_, std::ios::binary | std::ios::trunc) << NumberedLines(1000, 1299);
        const int code = RunWithScript({
            AnswerFileDialog(log_),
            WhenMainWindowShown([] {
                SelectRow(RecordListView, 100); // as a click would
                ScrollToRow(RecordListView, 80);
                ASSERT_EQ(GetCellText(RecordListView, SelectedRow(RecordListView), 1).ToUtf8(),
                          "teil1100.par ");
            }),
            Do([&] {
                std::ofstream(log_, std::ios::binary | std::ios::trunc) << c.rewritten;
                PressInList(Qt::Key_F5);
            }),
            WhenMainWindowShown([&] {
                EXPECT_EQ(SelectedRow(RecordListView), c.selected) << c.label;
                const std::int64_t top = TopRow(RecordListView);
                // -2: as far down as the rows let it
                EXPECT_TRUE(c.top == -2 ? top > 0 && top < 40 : top == c.top)
                    << c.label << ": " << top;
                if (c.selected >= 0) {
                    EXPECT_EQ(GetCellText(RecordListView, c.selected, 1).ToUtf8(), "teil1100.par ")
                        << c.label;
                }
            }),
            Do(Close),
        });
        EXPECT_EQ(code, 0) << c.label;
    }
}

TEST_F(Viewer, DroppedFilesOpenTheFirst) {
    const std::string other = (dir_ / "andere.txt").string();
    std::ofstream(other, std::ios::binary) << "D:\\X\\welle.par 10 01.01.2020 08:00 cad09\r\n";
    const std::string empty = (dir_ / "leer.txt").string();
    std::ofstream(empty, std::ios::binary) << "Summe: 0 Dateien\r\n";
    struct Case {
        const char* label;
        QList<QUrl> urls;
        std::string count;
        std::string message; // shown after the drop, when any
    };
    const Case cases[] = {
        {"one file", {QUrl::fromLocalFile(QString::fromStdString(other))}, "1/1", ""},
        {"several: the first",
         {QUrl::fromLocalFile(QString::fromStdString(other)),
          QUrl::fromLocalFile(QString::fromStdString(log_))},
         "1/1",
         ""},
        {"no local file", {QUrl(QStringLiteral("https://example.org/a.txt"))}, "5/5", ""},
        {"no record: the log stays",
         {QUrl::fromLocalFile(QString::fromStdString(empty))},
         "5/5",
         "Die Datei enthält keine Einträge: " + empty},
    };
    for (const Case& c : cases) {
        std::vector<Step> steps = {
            AnswerFileDialog(log_),
            WhenMainWindowShown([&] {
                QWidget* window = ui::FindWindow(MainWindow)->widget;
                QMimeData data;
                data.setUrls(c.urls);
                const QPoint at(100, 100);
                QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(window, &enter);
                QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
                QApplication::sendEvent(window, &drop);
            }),
        };
        if (!c.message.empty()) steps.push_back(AnswerMessageOverWindow(c.message));
        steps.push_back(
            WhenMainWindowShown([&] { EXPECT_EQ(ControlText(CountLabel), c.count) << c.label; }));
        steps.push_back(Do(Close));
        EXPECT_EQ(RunWithScript(steps), 0) << c.label;
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
