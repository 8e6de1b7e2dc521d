// Scripts for the viewer's end-to-end tests: the real main routine runs
// while a timer inside its event loop takes the steps of a script one after
// the other, answering its dialogs and clicking and typing on its real
// widgets like a user.
#pragma once

#include "app/MainRoutine.h"
#include "app/MainWindow.h"
#include "ui/Controls.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace qk {

// A step of a script: returns true when it is done, false to be asked again.
using Step = std::function<bool()>;

// Runs the main routine while the steps run one after the other from a
// timer inside its event loop. Returns the main routine's exit code. A script
// still unfinished after `limit` has hung: it fails, and the open windows are
// closed so that the main routine ends. `args` are the program's arguments.
inline int RunWithScript(std::vector<Step> steps,
                         std::chrono::seconds limit = std::chrono::seconds(30),
                         std::vector<std::string> args = {},
                         std::chrono::milliseconds interval = std::chrono::milliseconds(10)) {
    std::size_t next = 0;
    const auto started = std::chrono::steady_clock::now();
    QTimer timer;
    timer.setInterval(interval);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (next < steps.size()) {
            if (steps[next]()) ++next;
        }
        if (std::chrono::steady_clock::now() - started > limit) {
            ADD_FAILURE() << "the script stopped at step " << next;
            next = steps.size();
            if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
            if (ui::WindowRecord* window = ui::FindWindow(MainWindow)) window->widget->close();
        }
    });
    timer.start();
    args.insert(args.begin(), "quellkamp");
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    const int code = RunMainRoutine(argc, argv.data());
    EXPECT_EQ(next, steps.size()) << "not every step ran";
    return code;
}

inline QWidget* Modal(const char* className) {
    QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->isVisible() && modal->inherits(className) ? modal : nullptr;
}

// Types `path` into the open-file dialog and confirms it. `onSelected`, when
// given, runs when the dialog hands out its choice, before the viewer opens
// the file.
inline Step AnswerFileDialog(const std::string& path, std::function<void()> onSelected = nullptr) {
    return [path, onSelected] {
        auto* dialog = static_cast<QFileDialog*>(Modal("QFileDialog"));
        if (!dialog) return false;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("LOG-Datei"));
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        EXPECT_NE(field, nullptr);
        if (!field) return false;
        EXPECT_EQ(field->text(), QString()); // "*.txt" is no valid name to preset
        if (onSelected) QObject::connect(dialog, &QFileDialog::fileSelected, onSelected);
        field->setText(QString::fromStdString(path));
        QTest::keyClick(field, Qt::Key_Return);
        return true;
    };
}

// Closes the message box that tells that the log cannot be opened; the main
// window does not exist yet.
inline Step AnswerCannotOpenMessage() {
    return [] {
        QWidget* box = Modal("QMessageBox");
        if (!box) return false;
        EXPECT_EQ(box->windowTitle(), QStringLiteral("Information"));
        // The given text, then the file and the reason on a second line.
        const QString text = static_cast<QMessageBox*>(box)->text();
        EXPECT_TRUE(text.startsWith(QStringLiteral("Konnte Datei nicht öffnen!\n")))
            << text.toStdString();
        EXPECT_EQ(ui::FindWindow(MainWindow), nullptr); // the window opens after the message
        static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        return true;
    };
}

inline Step WhenMainWindowShown(std::function<void()> check) {
    return [check] {
        ui::WindowRecord* window = ui::FindWindow(MainWindow);
        if (!window || !window->widget->isVisible() || Modal("QDialog")) return false;
        check();
        return true;
    };
}

// A step that runs `action` once.
inline Step Do(std::function<void()> action) {
    return [action] {
        action();
        return true;
    };
}

inline QWidget* ControlWidget(std::int64_t control) {
    return ui::FindControl(control)->widget;
}

inline std::string ControlText(std::int64_t control) {
    return GetControlText(control).ToUtf8();
}

inline std::vector<std::string> ColumnOf(std::int64_t list, int column) {
    std::vector<std::string> cells;
    for (std::int64_t row = 0; row < RowCount(list); ++row)
        cells.push_back(GetCellText(list, row, column).ToUtf8());
    return cells;
}

inline void ClickRow(std::int64_t list, int row) {
    QApplication::processEvents();
    ui::ListView* view = ui::ListOf(list);
    const QRect cell = view->visualRect(view->model()->index(row, 1));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
}

inline void Close() {
    ui::FindWindow(MainWindow)->widget->close();
}

using Strings = std::vector<std::string>;

} // namespace qk
