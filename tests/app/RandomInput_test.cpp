// The viewer under random user input: from a fixed seed, thousands of clicks
// and keystrokes reach the main window as the window system's own input
// events, some while the action before is still waiting to be handled. After
// each action the upper list, the lower list and the count label must be
// what the record-level commands give for the same commands, worked out here
// on a copy of the loaded records.
#include "tests/app/ViewerScript.h"

#include "bench/LogGenerator.h"
#include "core/DuplicateRecord.h"
#include "core/RecordCommands.h"
#include "core/RecordTable.h"
#include "ui/Events.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace qk {
namespace {

namespace fs = std::filesystem;

using Fields = std::array<std::u16string, 6>; // path, name, size, date, time, user

// ---------------------------------------------------------------- actions

enum class Kind { ClickUpper, ClickLower, ClickOption, ClickExport, ClickField, Key };

struct Action {
    Kind kind;
    int value = 0;          // the row on screen, the option, or the key
    char16_t character = 0; // the text of a key, 0 for none
    bool shift = false;
};

Action Click(Kind kind, int value = 0) {
    return {kind, value};
}
Action Press(int key, char16_t character = 0, bool shift = false) {
    return {Kind::Key, key, character, shift};
}
Action Type(char16_t c) {
    int key = 0;
    if (c >= u'a' && c <= u'z') key = Qt::Key_A + (c - u'a');
    if (c >= u'A' && c <= u'Z') key = Qt::Key_A + (c - u'A');
    if (c >= u'0' && c <= u'9') key = Qt::Key_0 + (c - u'0');
    if (c == u'.') key = Qt::Key_Period;
    if (c == u'_') key = Qt::Key_Underscore;
    if (c == u'-') key = Qt::Key_Minus;
    if (c == u'\\') key = Qt::Key_Backslash;
    if (c == u' ') key = Qt::Key_Space;
    return Press(key, c, c >= u'A' && c <= u'Z');
}

// ---------------------------------------------------------------- model

// The tab stops in order: the upper list, the six options, the export
// button, the lower list and the find field.
constexpr std::array<int, 10> kStops = {0, 1, 2, 3, 4, 5, 6, 8, 9, 11};

// What the window must show, from the record-level commands.
struct Model {
    std::vector<Fields> records; // AllRecords in its current order
    std::u16string find = u"?";
    int caret = 0;
    bool filtered = false; // the find filter has run
    std::vector<Fields> lower;
    int focus = -1;

    bool Listed(const Fields& record) const {
        if (!filtered || find.empty()) return true;
        return std::any_of(record.begin(), record.end(), [&](const std::u16string& field) {
            return field.find(find) != std::u16string::npos;
        });
    }
    std::vector<Fields> Upper() const {
        std::vector<Fields> upper;
        for (const Fields& record : records)
            if (Listed(record)) upper.push_back(record);
        return upper;
    }
    void Sort(int option) {
        std::stable_sort(
            records.begin(), records.end(),
            [option](const Fields& a, const Fields& b) { return a[option - 1] < b[option - 1]; });
    }
    void Filter() {
        filtered = true;
        lower.clear();
    }
    // `row` is the row of the upper list under the click when it is handled.
    void Match(int row) {
        const std::vector<Fields> upper = Upper();
        if (row < 0 || row >= int(upper.size())) return; // the click found no row
        lower.clear();
        for (const Fields& record : records)
            if (record[1] == upper[row][1]) lower.push_back(record);
    }
    void MoveFocus(bool forward) {
        const auto at = std::find(kStops.begin(), kStops.end(), focus);
        if (at == kStops.end())
            focus = forward ? kStops.front() : kStops.back();
        else if (forward)
            focus = at + 1 == kStops.end() ? kStops.front() : *(at + 1);
        else
            focus = at == kStops.begin() ? kStops.back() : *(at - 1);
    }
    // Whether the action refills the upper list from its top.
    bool Refills(const Action& action) const {
        if (action.kind == Kind::ClickOption) return true;
        if (action.kind != Kind::Key) return false;
        if (focus >= 1 && focus <= 6 && action.value == Qt::Key_Space) return true;
        return focus == 11 && Edits(action);
    }
    bool Edits(const Action& action) const {
        if (action.character) return true;
        if (action.value == Qt::Key_Backspace) return caret > 0;
        if (action.value == Qt::Key_Delete) return caret < int(find.size());
        return false;
    }
    // `row` is the upper list's row under the click when it is handled.
    void Apply(const Action& action, int row) {
        switch (action.kind) {
        case Kind::ClickUpper:
            focus = 0;
            Match(row);
            return;
        case Kind::ClickLower:
            focus = 9;
            return;
        case Kind::ClickOption:
            focus = action.value;
            Sort(action.value);
            return;
        case Kind::ClickExport:
            focus = 8;
            return;
        case Kind::ClickField:
            focus = 11;
            caret = int(find.size());
            return;
        case Kind::Key:
            ApplyKey(action);
            return;
        }
    }
    void ApplyKey(const Action& action) {
        const int key = action.value;
        if (key == Qt::Key_Tab || key == Qt::Key_Backtab) {
            MoveFocus(key == Qt::Key_Tab);
            return;
        }
        if (focus >= 1 && focus <= 6 && key == Qt::Key_Space) Sort(focus);
        if (focus != 11) return; // lists move their selection only; buttons ignore keys
        const int size = int(find.size());
        if (Edits(action)) {
            if (action.character)
                find.insert(std::size_t(caret++), 1, action.character);
            else if (key == Qt::Key_Backspace)
                find.erase(std::size_t(--caret), 1);
            else
                find.erase(std::size_t(caret), 1);
            Filter();
        } else if (key == Qt::Key_Left || key == Qt::Key_Up) {
            caret = std::max(0, caret - 1);
        } else if (key == Qt::Key_Right || key == Qt::Key_Down) {
            caret = std::min(size, caret + 1);
        } else if (key == Qt::Key_Home) {
            caret = 0;
        } else if (key == Qt::Key_End) {
            caret = size;
        }
    }
};

// ---------------------------------------------------------------- input

QWidget* MainWidget() {
    return ui::FindWindow(MainWindow)->widget;
}

// The point in the main window of the `onScreen`-th row shown in a list.
QPoint RowPoint(std::int64_t list, int onScreen) {
    ui::ListView* view = ui::ListOf(list);
    const QPoint inView(300, onScreen * view->RowHeight() + view->RowHeight() / 2);
    return view->viewport()->mapTo(MainWidget(), inView);
}

// One input event on its way to the main window. Qt's pointer events share
// their point with the ones made after them, so each is made only when it is
// handed over, as the window system's are.
class InputMessage final : public QEvent {
  public:
    static QEvent::Type Kind() {
        static const auto kind = QEvent::Type(QEvent::registerEventType());
        return kind;
    }
    InputMessage(QEvent::Type type, int key, Qt::KeyboardModifiers modifiers, QString text)
        : QEvent(Kind()), type_(type), key_(key), modifiers_(modifiers), text_(std::move(text)) {}
    InputMessage(QEvent::Type type, QPoint at)
        : QEvent(Kind()), type_(type), at_(at), modifiers_(Qt::NoModifier) {}
    void Deliver() const {
        QWindow* window = MainWidget()->windowHandle();
        if (type_ == QEvent::KeyPress || type_ == QEvent::KeyRelease) {
            QKeyEvent key(type_, key_, modifiers_, text_);
            QCoreApplication::sendEvent(window, &key);
            return;
        }
        const bool press = type_ == QEvent::MouseButtonPress;
        QMouseEvent mouse(type_, QPointF(at_), MainWidget()->mapToGlobal(QPointF(at_)),
                          Qt::LeftButton, press ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(window, &mouse);
    }

  private:
    QEvent::Type type_;
    int key_ = 0;
    QPoint at_;
    Qt::KeyboardModifiers modifiers_;
    QString text_;
};

// The window system's side: hands the messages over in the order posted.
class InputSource final : public QObject {
  public:
    bool event(QEvent* event) override {
        if (event->type() != InputMessage::Kind()) return QObject::event(event);
        static_cast<InputMessage*>(event)->Deliver();
        return true;
    }
};

constexpr int kObserved = -2;

// Notes the row of the upper list under each mouse press as the list gets it.
class PressWatch final : public QObject {
  public:
    std::vector<int> rows;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress)
            rows.push_back(ui::ListOf(RecordListView)
                               ->rowAt(static_cast<QMouseEvent*>(event)->position().toPoint().y()));
        return false;
    }
};

// Posts the input events of an action to the main window, as the window
// system hands them over: handled later, in order.
void Post(InputSource& source, const Action& action) {
    if (action.kind == Kind::Key) {
        const Qt::KeyboardModifiers modifiers = action.shift ? Qt::ShiftModifier : Qt::NoModifier;
        const QString text = action.character ? QString(QChar(action.character)) : QString();
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
            QCoreApplication::postEvent(&source,
                                        new InputMessage(type, action.value, modifiers, text));
        return;
    }
    QPoint at;
    switch (action.kind) {
    case Kind::ClickUpper:
        at = RowPoint(RecordListView, action.value);
        break;
    case Kind::ClickLower:
        at = RowPoint(MatchListView, action.value);
        break;
    case Kind::ClickOption:
        at = ControlWidget(action.value)->geometry().center();
        break;
    case Kind::ClickExport:
        at = ControlWidget(ExportButton)->geometry().center();
        break;
    default: // the field, right of its text: the caret goes to the end
        at = ControlWidget(FindField)->geometry().topRight() + QPoint(-3, 10);
        break;
    }
    for (const QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease})
        QCoreApplication::postEvent(&source, new InputMessage(type, at));
}

// ---------------------------------------------------------------- checks

// The control with the keyboard focus, -1 for none.
int FocusedControl() {
    for (int control = 0; control <= CountLabel; ++control)
        if (ControlWidget(control)->hasFocus()) return control;
    return -1;
}

std::vector<Fields> Shown(std::int64_t list) {
    std::vector<Fields> rows(std::size_t(RowCount(list)));
    for (std::size_t row = 0; row < rows.size(); ++row)
        for (int column = 0; column < 6; ++column)
            rows[row][std::size_t(column)] =
                std::u16string(GetCellText(list, std::int64_t(row), column).view());
    return rows;
}

std::string Describe(const std::vector<Action>& actions) {
    std::string text;
    for (const Action& a : actions)
        text += std::to_string(int(a.kind)) + ":" + std::to_string(a.value) +
                (a.character ? std::string("'") + char(a.character) + "'" : std::string()) + " ";
    return text;
}

// Runs the viewer on `log` and plays the batches of actions; the actions of
// one batch are posted together, so each one after the first arrives while
// the one before waits to be handled. Returns the number of batches whose
// result differed from the model.
int Play(const std::string& log, const std::vector<std::vector<Action>>& batches) {
    Model model;
    std::size_t next = 0;
    bool posted = false;
    int failures = 0;
    std::vector<Action> played;
    InputSource source;
    PressWatch presses;
    std::vector<int> predicted;
    const auto ready = [] { return !ui::HeldInputWaiting() && ui::WaitingEventCount() == 0; };
    const auto check = [&] {
        // The rows the clicks of the batch hit, in order.
        EXPECT_EQ(presses.rows.size(), predicted.size()) << Describe(played);
        for (std::size_t i = 0; i < std::min(presses.rows.size(), predicted.size()); ++i) {
            if (predicted[i] != kObserved) {
                const int rows = int(model.Upper().size());
                EXPECT_EQ(presses.rows[i], predicted[i] < rows ? predicted[i] : -1)
                    << Describe(played);
            }
            model.Match(presses.rows[i]);
        }
        presses.rows.clear();
        predicted.clear();
        const std::vector<Fields> upper = model.Upper();
        const bool same =
            Shown(RecordListView) == upper && Shown(MatchListView) == model.lower &&
            GetControlText(CountLabel) ==
                CountLabelText(std::int64_t(upper.size()), std::int64_t(model.records.size())) &&
            GetControlText(FindField).view() == model.find && FocusedControl() == model.focus;
        if (!same && ++failures <= 3)
            ADD_FAILURE() << "after " << Describe(played) << "\nupper " << RowCount(RecordListView)
                          << " rows, expected " << upper.size() << "; lower "
                          << RowCount(MatchListView) << ", expected " << model.lower.size()
                          << "; focus " << FocusedControl() << ", expected " << model.focus;
    };
    const int code = RunWithScript(
        {AnswerFileDialog(log), WhenMainWindowShown([&] {
             for (const std::uint32_t index : AllRecords.order) {
                 const DuplicateRecord r = RecordAt(AllRecords, index);
                 model.records.push_back(
                     {std::u16string(r.path.view()), std::u16string(r.name.view()),
                      std::u16string(r.size.view()), std::u16string(r.date.view()),
                      std::u16string(r.time.view()), std::u16string(r.user.view())});
             }
             MainWidget()->activateWindow();
             ui::ListOf(RecordListView)->viewport()->installEventFilter(&presses);
         }),
         [] { return QApplication::activeWindow() == MainWidget(); },
         [&] {
             // Export to... opens its save dialog: cancelled, it changes nothing.
             // The offscreen platform has no window manager to give the
             // main window back its activation.
             if (auto* save = qobject_cast<QDialog*>(Modal("QFileDialog"))) {
                 save->reject();
                 return false;
             }
             if (QApplication::activeWindow() != MainWidget()) {
                 MainWidget()->activateWindow();
                 return false;
             }
             if (posted) {
                 if (!ready()) return false;
                 // Where a click puts the caret depends on the text's pixels.
                 if (std::any_of(batches[next - 1].begin(), batches[next - 1].end(),
                                 [](const Action& a) { return a.kind == Kind::ClickField; }))
                     model.caret =
                         static_cast<QLineEdit*>(ControlWidget(FindField))->cursorPosition();
                 check();
                 posted = false;
                 if (next == batches.size()) return true;
             }
             // A click after a refill in the same batch hits its row counted
             // from the top of the new list.
             bool refilled = false;
             for (const Action& action : batches[next]) {
                 const int row = action.value;
                 refilled = refilled || model.Refills(action);
                 if (action.kind == Kind::ClickUpper) {
                     // After a refill the row is known; otherwise the row
                     // under the press is read when the list gets it.
                     predicted.push_back(refilled ? row : kObserved);
                     model.focus = 0;
                 } else {
                     model.Apply(action, row);
                 }
                 Post(source, action);
                 played.push_back(action);
             }
             ++next;
             posted = true;
             return false;
         },
         Do([] { Close(); })},
        std::chrono::seconds(240), {}, std::chrono::milliseconds(0));
    EXPECT_EQ(code, 0);
    return failures;
}

class RandomInput : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quellkamp-random-" + std::to_string(getpid()));
        fs::create_directories(dir_);
        log_ = (dir_ / "dubletten.txt").string();
        ASSERT_TRUE(WriteLogFile(log_, 300, 7));
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
    std::string log_;
};

// Short sequences that once went wrong, and the edges of each action.
TEST_F(RandomInput, ShortSequences) {
    using A = std::vector<Action>;
    const std::vector<std::vector<Action>> batches = {
        // Two keystrokes and a click at once: the click lands on the list
        // the keystrokes produced.
        A{Click(Kind::ClickField), Press(Qt::Key_Home)},
        A{Press(Qt::Key_Delete), Type(u'F'), Type(u'l'), Click(Kind::ClickUpper, 1)},
        // An option chosen and a row clicked at once.
        A{Click(Kind::ClickOption, 3), Click(Kind::ClickUpper, 0)},
        // Arrows on an option neither choose nor move; Space chooses.
        A{Press(Qt::Key_Right), Press(Qt::Key_Down), Press(Qt::Key_Space)},
        // Tab into the field keeps the caret; Up and Down move it.
        A{Press(Qt::Key_Tab), Press(Qt::Key_Tab), Press(Qt::Key_Tab), Press(Qt::Key_Tab)},
        A{Press(Qt::Key_Up), Type(u'a'), Press(Qt::Key_Down), Press(Qt::Key_Backspace)},
        A{Press(Qt::Key_End), Press(Qt::Key_Backspace), Press(Qt::Key_Backspace),
          Press(Qt::Key_Backspace)},
        // Home and End in the list, then a click below the last row.
        A{Press(Qt::Key_Tab), Press(Qt::Key_End), Press(Qt::Key_Home), Click(Kind::ClickUpper, 20)},
    };
    EXPECT_EQ(Play(log_, batches), 0);
}

// A few thousand random actions from a fixed seed.
TEST_F(RandomInput, ThousandsOfActions) {
    std::mt19937 random(20261209);
    const auto pick = [&](int n) { return int(random() % unsigned(n)); };
    const std::u16string letters = u"aeinorstlFGKPST0123456789._-\\ ";
    const int keys[] = {Qt::Key_Tab,   Qt::Key_Backtab, Qt::Key_Left,     Qt::Key_Right,
                        Qt::Key_Up,    Qt::Key_Down,    Qt::Key_Home,     Qt::Key_End,
                        Qt::Key_Space, Qt::Key_Delete,  Qt::Key_Backspace};
    std::vector<std::vector<Action>> batches;
    for (int i = 0; i < 3000; ++i) {
        const int choice = pick(100);
        Action action;
        if (choice < 20)
            action = Click(Kind::ClickUpper, pick(22));
        else if (choice < 24)
            action = Click(Kind::ClickLower, pick(6));
        else if (choice < 30)
            action = Click(Kind::ClickOption, 1 + pick(6));
        else if (choice < 32)
            action = Click(Kind::ClickExport);
        else if (choice < 36)
            action = Click(Kind::ClickField);
        else if (choice < 56)
            action = Type(letters[std::size_t(pick(int(letters.size())))]);
        else if (choice < 68)
            action = Press(Qt::Key_Backspace);
        else
            action = Press(keys[pick(int(std::size(keys)))]);
        if (action.kind == Kind::Key && action.value == Qt::Key_Backtab) action.shift = true;
        if (action.kind == Kind::Key && action.value == Qt::Key_Space) action.character = u' ';
        // Now and then the next click comes while this action waits.
        if (!batches.empty() && pick(100) < 15 && action.kind == Kind::ClickUpper)
            batches.back().push_back(action);
        else
            batches.push_back({action});
    }
    EXPECT_EQ(Play(log_, batches), 0);
}

} // namespace
} // namespace qk
