// Copy and open from a row, and the keyboard: Ctrl+C in either list, the
// context menu by right click or the menu key, Enter on the upper list,
// Ctrl+F, on the real viewer.
#include "tests/app/ViewerScript.h"

#include <QClipboard>
#include <QMenu>
#include <QMessageBox>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace qk {
namespace {

namespace fs = std::filesystem;

std::string Clipboard() {
    return QGuiApplication::clipboard()->text().toStdString();
}

void Key(std::int64_t list, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* view = ui::ListOf(list);
    view->setFocus();
    QTest::keyClick(view, key, modifiers);
}

// Answers the open context menu: checks its items and their enabled state,
// then chooses item `choose`.
Step AnswerMenu(std::vector<bool> enabled, int choose) {
    return [=] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || !menu->isVisible()) return false;
        const QList<QAction*> actions = menu->actions();
        std::vector<std::string> texts;
        std::vector<bool> states;
        for (QAction* action : actions) {
            texts.push_back(action->text().toStdString());
            states.push_back(action->isEnabled());
        }
        EXPECT_EQ(texts, (Strings{"Copy path", "Copy row", "Open folder", "Übersicht..."}));
        EXPECT_EQ(states, enabled);
        menu->setActiveAction(actions[choose]);
        QTest::keyClick(menu, Qt::Key_Return);
        return true;
    };
}

TEST(RowActions, CopyMenuEnterAndFind) {
    const fs::path dir = fs::temp_directory_path() / ("quellkamp-rows-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const std::string folder = dir.string() + "/";
    const std::string log = (dir / "dubletten.txt").string();
    std::ofstream(log, std::ios::binary)
        << folder << "teil.par   1.234,5KB  16.09.2018 07:36 cad01\r\n"
        << "K:\\Werk\\deckel.dft 77KB 03.03.2016 10:10 Jürgen\r\n"
        << "\\\\fileserver\\cad\\deckel.dft 999 01.01.2019 08:00 cad03\r\n";

    const int code = RunWithScript({
        AnswerFileDialog(log),
        WhenMainWindowShown([] { ClickRow(RecordListView, 0); }),
        // Ctrl+C: the row, tab-separated, the size without its blanks.
        Do([] { Key(RecordListView, Qt::Key_C, Qt::ControlModifier); }),
        Do([&] {
            EXPECT_EQ(Clipboard(), folder + "\tteil.par\t1.263.616\t2018.09.16\t07:36\tcad01");
            // A right click on the row opens its menu; the folder exists.
            ui::ListView* view = ui::ListOf(RecordListView);
            QTest::mouseClick(view->viewport(), Qt::RightButton, Qt::NoModifier,
                              view->visualRect(view->model()->index(0, 1)).center());
        }),
        AnswerMenu({true, true, true, true}, 0),
        Do([&] {
            EXPECT_EQ(Clipboard(), folder + "teil.par");
            // Enter on a selected row of the upper list shows its copies;
            // moving to the row alone does not.
            EXPECT_EQ(RowCount(MatchListView), 1);
            Key(RecordListView, Qt::Key_Down);
        }),
        Do([] {
            EXPECT_EQ(RowCount(MatchListView), 1);
            Key(RecordListView, Qt::Key_Return);
        }),
        Do([] {
            EXPECT_EQ(SelectedRow(RecordListView), 1);
            EXPECT_EQ(ColumnOf(MatchListView, 0), (Strings{"K:\\Werk\\", "\\\\fileserver\\cad\\"}));
            // The menu key in the lower list; no such folder here.
            ClickRow(MatchListView, 0);
            Key(MatchListView, Qt::Key_Menu);
        }),
        AnswerMenu({true, true, false, true}, 1),
        Do([] {
            EXPECT_EQ(Clipboard(), "K:\\Werk\\\tdeckel.dft\t78.848\t2016.03.03\t10:10\tJürgen");
            // Enter in the lower list changes nothing.
            Key(MatchListView, Qt::Key_Return);
            Key(MatchListView, Qt::Key_F, Qt::ControlModifier);
        }),
        Do([] {
            EXPECT_EQ(RowCount(MatchListView), 2);
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            EXPECT_TRUE(field->hasFocus());
            EXPECT_EQ(field->selectedText(), QStringLiteral("?"));
        }),
        Do(Close),
    });
    EXPECT_EQ(code, 0);
    fs::remove_all(dir);
}

// Open folder with no file manager to be had says so; a folder named like an
// option (relative, so never opened) leaves the item greyed out.
TEST(RowActions, OpenFolderWithoutFileManagerSaysSo) {
    const fs::path dir = fs::temp_directory_path() / ("quellkamp-open-" + std::to_string(getpid()));
    fs::create_directories(dir / "-rf");
    const std::string folder = dir.string() + "/";
    const std::string log = (dir / "dubletten.txt").string();
    std::ofstream(log, std::ios::binary) << folder << "teil.par 1 16.09.2018 07:36 cad01\r\n"
                                         << "-rf/teil.par 2 16.09.2018 07:36 cad01\r\n";
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    const std::string cwd = fs::current_path().string();
    fs::current_path(dir); // where "-rf/" would be found if it were looked up
    setenv("PATH", "/nonexistent", 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qk-bus", 1);
    std::string message;
    const int code = RunWithScript({
        AnswerFileDialog(log),
        WhenMainWindowShown([] { ClickRow(RecordListView, 1); }),
        Do([] { Key(RecordListView, Qt::Key_Menu); }),
        AnswerMenu({true, true, false, true}, 1),
        Do([] {
            ClickRow(RecordListView, 0);
            Key(RecordListView, Qt::Key_Menu);
        }),
        AnswerMenu({true, true, true, true}, 2),
        [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return false;
            message = box->windowTitle().toStdString() + ": " + box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
            return true;
        },
        Do(Close),
    });
    setenv("PATH", path.c_str(), 1);
    fs::current_path(cwd);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(message, "Information: Konnte Ordner nicht öffnen: " + folder +
                           "\nKein Dateimanager hat ihn geöffnet.");
    fs::remove_all(dir);
}

} // namespace
} // namespace qk
