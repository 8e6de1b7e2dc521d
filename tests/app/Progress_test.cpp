// The progress window of long loads: shown only once loading has taken a
// while, named after the log, and its Cancel ends the program as a
// cancelled open-file dialog does.
#include "tests/app/ViewerScript.h"

#include "app/LoadProgress.h"
#include "app/ViewCommands.h"
#include "core/RecordTable.h"

#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <unistd.h>

namespace qk {
namespace {

namespace fs = std::filesystem;

// Counts the progress windows that appear.
class ProgressWatcher : public QObject {
  public:
    ProgressWatcher() { qApp->installEventFilter(this); }
    ~ProgressWatcher() override { qApp->removeEventFilter(this); }
    std::set<QObject*> shown;

  protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Show && qobject_cast<QProgressDialog*>(object))
            shown.insert(object);
        return false;
    }
};

// A log of a million lines, long enough to be cancelled while it loads.
void WriteLongLog(const fs::path& log) {
    std::ofstream out(log, std::ios::binary);
    const std::string line = "D:\\Werk\\teil.par 12KB 01.02.2017 13:05 cad01\r\n";
    for (int i = 0; i < 1'000'000; ++i)
        out << line;
}

// Presses Cancel in the progress window once it is there.
Step CancelProgressWindow(std::function<void(QProgressDialog&)> check = nullptr) {
    return [check] {
        auto* window = static_cast<QProgressDialog*>(Modal("QProgressDialog"));
        if (!window) {
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->isVisible() && qobject_cast<QProgressDialog*>(top))
                    window = static_cast<QProgressDialog*>(top);
        }
        if (!window) return false;
        if (check) check(*window);
        auto* cancel = window->findChild<QPushButton*>();
        EXPECT_NE(cancel, nullptr);
        if (cancel) QTest::mouseClick(cancel, Qt::LeftButton);
        return true;
    };
}

TEST(Progress, ShownForLongLoadsOnlyAndCancelEndsTheProgram) {
    const fs::path log = fs::temp_directory_path() / ("gross-" + std::to_string(getpid()) + ".txt");
    WriteLongLog(log);
    const struct {
        std::chrono::milliseconds delay;
        bool cancel;
        int windows;
    } cases[] = {
        {std::chrono::milliseconds(0), true, 1},
        {std::chrono::hours(1), false, 0}, // a load shorter than the delay
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cancel);
        progressWindowDelay = c.delay;
        ProgressWatcher watcher;
        bool sawMainWindow = false;
        std::vector<Step> steps{AnswerFileDialog(log.string())};
        if (c.cancel) {
            steps.push_back(CancelProgressWindow([&](QProgressDialog& window) {
                EXPECT_EQ(window.windowTitle().toStdString(), log.filename().string());
                EXPECT_EQ(window.labelText().toStdString(), log.string());
                sawMainWindow = ui::FindWindow(MainWindow) != nullptr;
            }));
        } else {
            steps.push_back(
                WhenMainWindowShown([] { EXPECT_EQ(ControlText(CountLabel), "1000000/1000000"); }));
            steps.push_back(Do(Close));
        }
        EXPECT_EQ(RunWithScript(steps), 0);
        EXPECT_EQ(static_cast<int>(watcher.shown.size()), c.windows);
        EXPECT_FALSE(sawMainWindow);
    }
    progressWindowDelay = std::chrono::milliseconds(500);
    fs::remove(log);
}

// Counts the paints of a widget.
class PaintCounter : public QObject {
  public:
    explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
    int paints = 0;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

// Before its progress window opens, a task lets the windows repaint; timers
// wait for the event loop.
TEST(Progress, WindowsRepaintBeforeTheProgressWindowOpens) {
    QWidget window;
    window.resize(100, 100);
    window.show();
    QApplication::processEvents();
    PaintCounter counter(&window);
    bool timerRan = false;
    QTimer::singleShot(1, [&] { timerRan = true; });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    window.update();
    ProgressWatcher watcher;
    {
        DelayedProgressWindow progress(Text(u"/tmp/ausgabe.csv"));
        EXPECT_TRUE(progress(0, 10));
    }
    EXPECT_GT(counter.paints, 0);
    EXPECT_FALSE(timerRan);
    EXPECT_TRUE(watcher.shown.empty());
    QApplication::processEvents();
}

// A sort by name whose ranks are not ready lets the windows repaint while the
// names are ranked; timers wait, and the list comes sorted.
TEST(Progress, SortWaitingForRanksRepaints) {
    const fs::path log = fs::temp_directory_path() / ("namen-" + std::to_string(getpid()) + ".txt");
    std::ofstream(log, std::ios::binary) << "D:\\A\\zange.par 5 16.09.2018 07:36 cad03\r\n"
                                            "D:\\B\\bolzen.dft 7 01.01.2019 08:00 cad01\r\n";
    EXPECT_EQ(RunWithScript({AnswerFileDialog(log.string()), WhenMainWindowShown([] {
                                 CallOffRankWork(AllRecords); // no ranks yet
                                 QWidget* window = ui::FindWindow(MainWindow)->widget;
                                 PaintCounter counter(window);
                                 bool timerRan = false;
                                 QTimer::singleShot(1, [&] { timerRan = true; });
                                 std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                 window->update();
                                 SortByOption(FirstSortOption + 1); // Name
                                 EXPECT_GT(counter.paints, 0);
                                 EXPECT_FALSE(timerRan);
                                 EXPECT_EQ(ColumnOf(RecordListView, 1),
                                           (std::vector<std::string>{"bolzen.dft ", "zange.par "}));
                                 QApplication::processEvents();
                             }),
                             Do(Close)}),
              0);
    fs::remove(log);
}

// Ctrl+O and F5 cancelled in the progress window: the log before and its
// view stay, the program goes on.
TEST(Progress, CancelledReloadOrOpenKeepsTheLogAndItsView) {
    const fs::path dir =
        fs::temp_directory_path() / ("quellkamp-cancel-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path small = dir / "klein.txt", big = dir / "gross.txt";
    WriteLongLog(big);
    const std::string smallLog = "D:\\A\\halter.par 5 16.09.2018 07:36 cad03\r\n"
                                 "D:\\B\\deckel.dft 7 01.01.2019 08:00 cad01\r\n"
                                 "D:\\C\\halter.par 9 02.01.2019 09:00 cad02\r\n";
    const struct {
        const char* label;
        Qt::Key key;
        bool dialog; // Ctrl+O asks for the log first
    } cases[] = {{"Ctrl+O", Qt::Key_O, true}, {"F5", Qt::Key_F5, false}};
    for (const auto& c : cases) {
        std::ofstream(small, std::ios::binary | std::ios::trunc) << smallLog;
        std::vector<Step> steps = {
            AnswerFileDialog(small.string()),
            WhenMainWindowShown([] {
                QTest::mouseClick(ControlWidget(6), Qt::LeftButton); // User
            }),
            Do([] { ClickRow(RecordListView, 1); }),
            Do([&] {
                EXPECT_EQ(RowCount(MatchListView), 2) << c.label;
                progressWindowDelay = std::chrono::milliseconds(0);
                if (!c.dialog) fs::copy_file(big, small, fs::copy_options::overwrite_existing);
                QWidget* list = ui::ListOf(RecordListView);
                list->setFocus();
                QTest::keyClick(list, c.key, c.dialog ? Qt::ControlModifier : Qt::NoModifier);
            }),
        };
        if (c.dialog) steps.push_back(AnswerFileDialog(big.string()));
        steps.push_back(CancelProgressWindow());
        steps.push_back(WhenMainWindowShown([&] {
            progressWindowDelay = std::chrono::milliseconds(500);
            EXPECT_EQ(ControlText(CountLabel), "3/3") << c.label;
            EXPECT_EQ(ColumnOf(RecordListView, 5), (Strings{"cad01", "cad02", "cad03"})) << c.label;
            EXPECT_TRUE(static_cast<QAbstractButton*>(ControlWidget(6))->isChecked()) << c.label;
            EXPECT_EQ(SelectedRow(RecordListView), 1) << c.label;
            EXPECT_EQ(ColumnOf(MatchListView, 0), (Strings{"D:\\C\\", "D:\\A\\"})) << c.label;
            // The records kept still answer the commands.
            QTest::mouseClick(ControlWidget(4), Qt::LeftButton); // Datum
        }));
        steps.push_back(Do([&] {
            EXPECT_EQ(ColumnOf(RecordListView, 5), (Strings{"cad03", "cad01", "cad02"})) << c.label;
        }));
        steps.push_back(Do(Close));
        EXPECT_EQ(RunWithScript(steps), 0) << c.label;
    }
    progressWindowDelay = std::chrono::milliseconds(500);
    fs::remove_all(dir);
}

} // namespace
} // namespace qk
