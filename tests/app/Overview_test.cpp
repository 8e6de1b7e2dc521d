// The overview window on the real viewer: the rules that need no toolkit in
// one table, then Ctrl+D, a heading's sort and its reversal, a group's click
// filling the main window's lower list, the find narrowing the lists, the
// export with the lister's bytes, and Escape closing the overview alone.
#include "tests/app/ViewerScript.h"
#include "tests/tools/ListerProcess.h"

#include "app/OverviewWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
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

TEST(OverviewRules, NumbersOrdersAndDifferences) {
    const struct {
        std::int64_t number;
        const char16_t* text;
    } numbers[] = {{0, u"0"},
                   {999, u"999"},
                   {1000, u"1.000"},
                   {1263616, u"1.263.616"},
                   {std::int64_t{1} << 40, u"1.099.511.627.776"}, // beyond 32 bits
                   {-1234, u"-1.234"}};
    for (const auto& c : numbers)
        EXPECT_EQ(GroupedNumber(c.number), c.text) << c.number;

    // Clicks in turn: a new column sorts from its natural direction, the
    // same column again reverses.
    const struct {
        int column;
        ListOrder after;
    } clicks[] = {{2, {2, false}}, {2, {2, true}}, {2, {2, false}}, {0, {0, false}}};
    ListOrder order;
    for (const auto& c : clicks) {
        order = AfterHeadingClick(order, c.column);
        EXPECT_EQ(order.column, c.after.column);
        EXPECT_EQ(order.reversed, c.after.reversed);
    }

    EXPECT_EQ(DifferenceText(false, false), u"");
    EXPECT_EQ(DifferenceText(true, false), u"Byte");
    EXPECT_EQ(DifferenceText(false, true), u"Datum");
    EXPECT_EQ(DifferenceText(true, true), u"Byte, Datum");
}

// halter.par: three copies, two of one size; deckel.dft: two copies of one
// size; teil.par alone has no group. Folders A and B share both names.
constexpr char kLog[] = "Doppelte Dateien\r\n"
                        "D:\\A\\halter.par 1.000 16.09.2018 07:36 cad01\r\n"
                        "D:\\B\\halter.par 1.000 01.01.2019 08:00 cad03\r\n"
                        "D:\\C\\halter.par 5 02.01.2019 09:00 Jürgen\r\n"
                        "D:\\A\\deckel.dft 77 03.03.2016 10:10 cad02\r\n"
                        "D:\\B\\deckel.dft 77 03.03.2016 10:10 cad02\r\n"
                        "D:\\C\\teil.par 12 01.02.2017 13:05 cad02\r\n";

QWidget* OverviewWidget() {
    ui::WindowRecord* window = ui::FindWindow(OverviewWindow);
    return window && window->widget->isVisible() ? window->widget : nullptr;
}

void ClickHeading(std::int64_t list, int column) {
    QHeaderView* header = ui::ListOf(list)->horizontalHeader();
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(header->sectionViewportPosition(column) + 5, header->height() / 2));
}

// Answers the save dialog with `file`, typed whole.
Step AnswerSave(const std::string& file) {
    return [file] {
        auto* dialog = static_cast<QFileDialog*>(Modal("QFileDialog"));
        if (!dialog) return false;
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        EXPECT_EQ(field->text(), QStringLiteral("dubletten-groups.csv"));
        field->setText(QString::fromStdString(file));
        QTimer::singleShot(0, field, [field] { QTest::keyClick(field, Qt::Key_Return); });
        return true;
    };
}

TEST(OverviewWindow, SortClickFindExportAndEscape) {
    const fs::path dir = fs::temp_directory_path() / ("quellkamp-ov-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string log = (dir / "dubletten.txt").string();
    std::ofstream(log, std::ios::binary) << kLog;
    const std::string exported = (dir / "gruppen.jsonl").string();
    using S = Strings;
    const int code = RunWithScript({
        AnswerFileDialog(log),
        WhenMainWindowShown([] {}),
        // Ctrl+D once the main window is the active one.
        [] {
            if (QApplication::activeWindow() != ui::FindWindow(MainWindow)->widget) return false;
            QWidget* list = ui::ListOf(RecordListView);
            list->setFocus();
            QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
            return true;
        },
        [] { return OverviewWidget() != nullptr; },
        Do([] {
            // Reclaimable first: halter.par frees 1.000, deckel.dft 77.
            EXPECT_EQ(ColumnOf(GroupListView, 0), (S{"halter.par ", "deckel.dft "}));
            EXPECT_EQ(ColumnOf(GroupListView, 4), (S{"1.000", "77"}));
            EXPECT_EQ(ColumnOf(PairListView, 0), (S{"D:\\A\\", "D:\\A\\", "D:\\B\\"}));
            ClickHeading(GroupListView, 0); // by name, then reversed
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(GroupListView, 0), (S{"deckel.dft ", "halter.par "}));
            ClickHeading(GroupListView, 0);
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(GroupListView, 0), (S{"halter.par ", "deckel.dft "}));
            ClickRow(GroupListView, 1); // deckel.dft's copies below in the main window
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(MatchListView, 0), (S{"D:\\A\\", "D:\\B\\"}));
            ClickRow(PairListView, 0); // A and B share both names
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(SharedListView, 1).size(), 2u);
            // deckel.dft alike, halter.par of other dates
            EXPECT_EQ(ColumnOf(SharedListView, 0), (S{"", "Datum"}));
            auto* find = static_cast<QLineEdit*>(ControlWidget(FindField));
            find->setFocus();
            find->selectAll();
            QTest::keyClicks(find, "deckel"); // the find narrows the overview
        }),
        Do([] {
            EXPECT_EQ(ColumnOf(GroupListView, 0), (S{"deckel.dft "}));
            EXPECT_EQ(ColumnOf(PairListView, 1), (S{"D:\\B\\"}));
            auto* find = static_cast<QLineEdit*>(ControlWidget(FindField));
            find->selectAll();
            QTest::keyClick(find, Qt::Key_Backspace);
            ClickRow(GroupListView, 0);
            QTest::mouseClick(ControlWidget(OverviewExportButton), Qt::LeftButton);
        }),
        AnswerSave(exported),
        [] { return Modal("QFileDialog") == nullptr; },
        Do([] {
            QWidget* list = ControlWidget(GroupListView);
            list->setFocus();
            QTest::keyClick(list, Qt::Key_Escape);
        }),
        Do([] {
            EXPECT_EQ(OverviewWidget(), nullptr);
            EXPECT_NE(ui::FindWindow(MainWindow), nullptr);
            Close();
        }),
    });
    EXPECT_EQ(code, 0);
    // Name descending, as shown after the last sort: here the lister's order.
    const lister::Result printed = lister::RunLister(dir / "..", {"--groups", log});
    ASSERT_EQ(printed.status, 0) << printed.err;
    EXPECT_EQ(lister::ReadWhole(exported), printed.out);
    fs::remove_all(dir);
}

// Ctrl+D with the keyboard in the main window's upper list.
Step OpenOverviewByKey() {
    return [] {
        if (QApplication::activeWindow() != ui::FindWindow(MainWindow)->widget) return false;
        QWidget* list = ui::ListOf(RecordListView);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_D, Qt::ControlModifier);
        return true;
    };
}

// Closes the message that says `text`, when there is one.
Step AnswerMessage(std::string text) {
    return [text] {
        auto* box = static_cast<QMessageBox*>(Modal("QMessageBox"));
        if (!box) return false;
        EXPECT_EQ(box->text().toStdString(), text);
        box->button(QMessageBox::Ok)->click();
        return true;
    };
}

QWidget* MainWidget() {
    return ui::FindWindow(MainWindow)->widget;
}

// Activates the window `widget` gives and is done once it is the active one.
Step Activated(QWidget* (*widget)()) {
    return [widget] {
        QWidget* window = widget();
        if (window && QApplication::activeWindow() == window) return true;
        if (window) window->activateWindow();
        return false;
    };
}

void DropOn(const std::string& file) {
    QWidget* window = ui::FindWindow(MainWindow)->widget;
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
    const QPoint at(100, 100);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
}

// F5 or a drop with the overview open: a log taken in its place is worked
// out again; one that is kept (gone, no record) keeps the overview of it,
// and a click on a name still shows that log's copies. Then the keyboard
// alone: Enter on a name, Tab to the pairs, Enter on a pair.
TEST(OverviewWindow, FollowsTheLogOrKeepsItsOwn) {
    const fs::path dir = fs::temp_directory_path() / ("quellkamp-ovr-" + std::to_string(getpid()));
    const std::string log = (dir / "dubletten.txt").string();
    const std::string other = (dir / "andere.txt").string();
    const std::string empty = (dir / "leer.txt").string();
    using S = Strings;
    const S kept = {"halter.par ", "deckel.dft "};
    struct Case {
        const char* label;
        std::function<void()> replace; // with the overview open
        std::string message;           // the kept log's message, when any
        S names;                       // the overview's names afterwards
        S firstCopies;                 // the folders of the first name's copies
    };
    const auto f5 = [] {
        QWidget* list = ui::ListOf(RecordListView);
        list->setFocus();
        QTest::keyClick(list, Qt::Key_F5);
    };
    const Case cases[] = {
        {"F5, a copy more",
         [&] {
             std::ofstream(log, std::ios::app | std::ios::binary)
                 << "D:\\E\\teil.par 12 01.02.2017 13:05 cad02\r\n";
             f5();
         },
         "",
         {"halter.par ", "deckel.dft ", "teil.par "},
         {"D:\\A\\", "D:\\B\\", "D:\\C\\"}},
        {"F5, no record now",
         [&] {
             std::ofstream(log, std::ios::trunc | std::ios::binary) << "Doppelte Dateien\r\n";
             f5();
         },
         "Die Datei enthält keine Einträge: " + log,
         kept,
         {"D:\\A\\", "D:\\B\\", "D:\\C\\"}},
        {"F5, gone",
         [&] {
             fs::remove(log);
             f5();
         },
         "Konnte Datei nicht öffnen!\n" + log + ": nicht gefunden",
         kept,
         {"D:\\A\\", "D:\\B\\", "D:\\C\\"}},
        {"a drop of another log",
         [&] { DropOn(other); },
         "",
         {"welle.par "},
         {"D:\\X\\", "D:\\Y\\"}},
        {"a drop of a log without records",
         [&] { DropOn(empty); },
         "Die Datei enthält keine Einträge: " + empty,
         kept,
         {"D:\\A\\", "D:\\B\\", "D:\\C\\"}},
    };
    for (const Case& c : cases) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        std::ofstream(log, std::ios::binary) << kLog;
        std::ofstream(other, std::ios::binary) << "D:\\X\\welle.par 10 01.01.2020 08:00 cad09\r\n"
                                               << "D:\\Y\\welle.par 10 01.01.2020 08:00 cad09\r\n";
        std::ofstream(empty, std::ios::binary) << "Summe: 0 Dateien\r\n";
        std::vector<Step> steps = {
            AnswerFileDialog(log),   WhenMainWindowShown([] {}),
            OpenOverviewByKey(),     [] { return OverviewWidget() != nullptr; },
            Activated(MainWidget), // F5 is the main window's key
            Do([&] { c.replace(); })};
        if (!c.message.empty()) steps.push_back(AnswerMessage(c.message));
        steps.push_back(WhenMainWindowShown([&] {
            ASSERT_NE(OverviewWidget(), nullptr) << c.label;
            EXPECT_EQ(ColumnOf(GroupListView, 0), c.names) << c.label;
        }));
        steps.push_back(Activated(OverviewWidget));
        steps.push_back(Do([&] {
            // The keyboard alone: Enter on the first name.
            auto* groups = ui::ListOf(GroupListView);
            groups->setFocus();
            groups->setCurrentIndex(groups->model()->index(0, 0));
            QTest::keyClick(groups, Qt::Key_Return);
        }));
        steps.push_back(Do([&] {
            // Sorted by folder, as the lower list shows a name's copies.
            S copies = ColumnOf(MatchListView, 0);
            std::sort(copies.begin(), copies.end());
            EXPECT_EQ(copies, c.firstCopies) << c.label;
            QWidget* groups = ControlWidget(GroupListView);
            QTest::keyClick(groups, Qt::Key_Tab);
        }));
        steps.push_back(Do([&] {
            auto* pairs = ui::ListOf(PairListView);
            EXPECT_EQ(QApplication::focusWidget(), pairs) << c.label;
            pairs->setCurrentIndex(pairs->model()->index(0, 0));
            QTest::keyClick(pairs, Qt::Key_Return);
        }));
        steps.push_back(Do([&] {
            EXPECT_FALSE(ColumnOf(SharedListView, 1).empty()) << c.label;
            Close();
        }));
        EXPECT_EQ(RunWithScript(steps), 0) << c.label;
    }
    fs::remove_all(dir);
}

} // namespace
} // namespace qk
