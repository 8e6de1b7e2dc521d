#include "tests/ui/UiTestSupport.h"
#include "ui/Dialogs.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

namespace qk::test {
namespace {

// Runs `answer` on the modal dialog as soon as it is up.
void WhenModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog || !dialog->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        answer(dialog);
    });
    timer->start();
}

QLineEdit* NameField(QWidget* dialog) {
    return dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
}

// Types a path into the dialog's name field and presses Enter.
void TypeAndEnter(QWidget* dialog, const QString& path) {
    QLineEdit* field = NameField(dialog);
    ASSERT_NE(field, nullptr);
    field->setText(path);
    QTest::keyClick(field, Qt::Key_Return);
}

Text FromQ(const QString& s) {
    return ui::FromQString(s);
}

// What the dialog shows: its title, name field, folder and file types.
struct Seen {
    QString title, name, directory, type;
    QStringList types;
};

Seen Look(QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    if (!dialog) return {};
    auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
    if (!types) return {};
    QStringList shown;
    for (int i = 0; i < types->count(); ++i)
        shown << types->itemText(i);
    return {dialog->windowTitle(), NameField(dialog)->text(), dialog->directory().absolutePath(),
            types->currentText(), shown};
}

// The names the dialog lists in its folder, once it has read the folder.
QStringList Listed(QWidget* widget) {
    auto* dialog = qobject_cast<QFileDialog*>(widget);
    auto* files = dialog ? dialog->findChild<QFileSystemModel*>() : nullptr;
    if (!files) return {};
    const QModelIndex folder = files->index(dialog->directory().absolutePath());
    (void)QTest::qWaitFor(
        [&] { return !files->canFetchMore(folder) && files->rowCount(folder) > 0; }, 2000);
    QTest::qWait(50);
    QStringList names;
    for (int row = 0; row < files->rowCount(folder); ++row)
        names << files->index(row, 0, folder).data().toString();
    names.sort();
    return names;
}

class DialogsTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(folder_.isValid()); }
    QString MakeFile(const QString& relative) {
        const QString path = folder_.path() + QLatin1Char('/') + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return path;
    }
    QTemporaryDir folder_;
};

TEST_F(DialogsTest, TheProgramsCallShowsTitleAndFilterAndCancelGivesNothing) {
    Seen seen;
    WhenModal([&](QWidget* dialog) {
        seen = Look(dialog);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    const Text chosen = ChooseFileToOpen(T(u"LOG-Datei"), T(u"*.txt"), T(u"*.txt"), 0);
    EXPECT_EQ(chosen, Text());
    EXPECT_EQ(seen.title, QStringLiteral("LOG-Datei"));
    EXPECT_EQ(seen.name, QString());
    EXPECT_EQ(seen.types, QStringList{QStringLiteral("*.txt")});
}

TEST_F(DialogsTest, ATypedPathComesBackWhole) {
    const QString path = MakeFile(QStringLiteral("logs/dubletten.txt"));
    WhenModal([&](QWidget* dialog) { TypeAndEnter(dialog, path); });
    EXPECT_EQ(ChooseFileToOpen(T(u"LOG-Datei"), T(u"*.txt"), T(u"*.txt"), 0), FromQ(path));
}

TEST_F(DialogsTest, DeeplyNestedLogsOpenWithoutALengthLimit) {
    QString relative;
    for (int i = 0; i < 12; ++i)
        relative += QStringLiteral("ein_recht_langer_ordnername_%1/").arg(i);
    const QString path = MakeFile(relative + QStringLiteral("dubletten.txt"));
    ASSERT_GT(path.size(), 300);
    WhenModal([&](QWidget* dialog) { TypeAndEnter(dialog, path); });
    const Text chosen = ChooseFileToOpen(T(u"LOG-Datei"), T(u"*.txt"), T(u"*.txt"), 0);
    EXPECT_EQ(chosen, FromQ(path));
    EXPECT_GT(chosen.size(), 259u);
}

TEST_F(DialogsTest, TheFileNeedNotExistButItsFolderMust) {
    const QString missingFile = folder_.path() + QStringLiteral("/neu.txt");
    WhenModal([&](QWidget* dialog) { TypeAndEnter(dialog, missingFile); });
    EXPECT_EQ(ChooseFileToOpen(T(u"t"), Text(), Text(), 0), FromQ(missingFile));

    // A missing folder is said over the dialog, which stays open.
    bool stayedOpen = false;
    QString said;
    WhenModal([&](QWidget* dialog) {
        TypeAndEnter(dialog, folder_.path() + QStringLiteral("/fehlt/neu.txt"));
        stayedOpen = dialog->isVisible();
        if (auto* box = dialog->findChild<QMessageBox*>(); box && box->isVisible()) {
            said = box->text();
            box->close();
        }
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(ChooseFileToOpen(T(u"t"), Text(), Text(), 0), Text());
    EXPECT_TRUE(stayedOpen);
    EXPECT_TRUE(
        said.startsWith(QDir::toNativeSeparators(folder_.path() + QStringLiteral("/fehlt"))))
        << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("does not exist"))) << said.toStdString();
}

TEST_F(DialogsTest, DefaultFileGivesFolderAndName) {
    MakeFile(QStringLiteral("start/a.txt"));
    const QString start = QDir(folder_.path() + QStringLiteral("/start")).absolutePath();
    struct Case {
        QString defaultFile, name, directory; // directory empty: not checked
    };
    const Case cases[] = {
        {start + QStringLiteral("\\a.txt"), QStringLiteral("a.txt"), start},
        {start + QStringLiteral("/a.txt"), QStringLiteral("a.txt"), start},
        {start + QStringLiteral("\\*.txt"), QString(), start},
        {QStringLiteral("\\a.txt"), QString(), QString()},
        {QStringLiteral("a?.txt"), QString(), QString()},
        {QStringLiteral("a.txt"), QStringLiteral("a.txt"), QString()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.defaultFile.toStdString());
        Seen seen;
        WhenModal([&](QWidget* dialog) {
            seen = Look(dialog);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        ChooseFileToOpen(T(u"t"), FromQ(c.defaultFile), T(u"Texte|*.txt"), 0);
        EXPECT_EQ(seen.name, c.name);
        if (!c.directory.isEmpty()) {
            EXPECT_EQ(seen.directory, c.directory);
        }
    }
}

// The preselected pair is the one confirmed when the user keeps it.
TEST_F(DialogsTest, PatternPositionPreselectsItsPair) {
    const Text pattern = T(u"Texte|*.txt;*.log|Alle|*|C|*.c;*.h");
    const QString file = MakeFile(QStringLiteral("a.txt"));
    for (int position : {0, 1, 2}) {
        Seen seen;
        WhenModal([&](QWidget* dialog) {
            seen = Look(dialog);
            TypeAndEnter(dialog, file);
        });
        EXPECT_EQ(ChooseFileToOpen(T(u"t"), Text(), pattern, position), FromQ(file));
        EXPECT_EQ(ChosenPattern(), position + 1);
        // The display texts as given; the patterns are not shown.
        const QStringList expected = {QStringLiteral("Texte"), QStringLiteral("Alle"),
                                      QStringLiteral("C")};
        EXPECT_EQ(seen.types, expected);
        EXPECT_EQ(seen.type, expected[position]);
    }
}

// The program's pattern "*.txt" has no file pattern: the dialog shows it as
// the type and lists every file. A typed wildcard lists the matching files
// and the dialog stays open; a typed name chooses the file.
TEST_F(DialogsTest, EveryFileIsListedAndTypedWildcardsFilterTheList) {
    MakeFile(QStringLiteral("a.txt"));
    const QString log = MakeFile(QStringLiteral("scan.log"));
    MakeFile(QStringLiteral("sub/b.log"));
    const QString fresh = folder_.path() + QStringLiteral("/neu.log"); // saved without a question
    const QString all = QStringLiteral("a.txt scan.log sub");
    const struct {
        QString typed; // empty: just look
        QString listed;
        QString directory; // relative to the folder
    } steps[] = {
        {QString(), all, QString()},
        {QStringLiteral("*.log"), QStringLiteral("scan.log sub"), QString()},
        {QStringLiteral("*"), all, QString()},
        {QStringLiteral("*.txt;*.log"), all, QString()},
        {QStringLiteral("sub/*.log"), QStringLiteral("b.log"), QStringLiteral("sub")},
        {folder_.path() + QStringLiteral("/?.t*"), QStringLiteral("a.txt sub"), QString()},
    };
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "save" : "open");
        WhenModal([&](QWidget* dialog) {
            for (const auto& step : steps) {
                SCOPED_TRACE(step.typed.toStdString());
                if (!step.typed.isEmpty()) TypeAndEnter(dialog, step.typed);
                EXPECT_TRUE(dialog->isVisible());
                EXPECT_EQ(dialog->findChild<QMessageBox*>(), nullptr);
                EXPECT_EQ(Listed(dialog).join(QLatin1Char(' ')), step.listed);
                EXPECT_EQ(Look(dialog).directory,
                          QDir(folder_.path() + QLatin1Char('/') + step.directory).absolutePath());
                EXPECT_EQ(Look(dialog).type, QStringLiteral("*.txt"));
            }
            TypeAndEnter(dialog, save ? fresh : log);
        });
        const Text defaultFile = FromQ(folder_.path() + QStringLiteral("/*.txt"));
        const Text chosen = save ? ChooseFileToSave(T(u"t"), defaultFile, T(u"*.txt"), 0)
                                 : ChooseFileToOpen(T(u"t"), defaultFile, T(u"*.txt"), 0);
        EXPECT_EQ(chosen, FromQ(save ? fresh : log));
    }
}

TEST_F(DialogsTest, MessageBoxHasTitleTextOneButtonAndNoIcon) {
    ASSERT_NE(BuildMainWindow(), 0);
    QWidget* main = ui::FindWindow(MainWindow)->widget;
    const Handle disabled = OpenWindow(7, 0, 0, 50, 50, T(u"disabled"), 0x00C80001 | 0x8);
    Widget(disabled)->setEnabled(false);
    main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(main));
    const Handle other = OpenWindow(8, 0, 0, 50, 50, T(u"other"), 0x00C80001 | 0x8 | 0x02000000);
    struct {
        QString title, text;
        int buttons = 0;
        QMessageBox::Icon icon = QMessageBox::Warning;
        bool otherEnabled = true, disabledEnabled = true;
    } seen;
    WhenModal([&](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        ASSERT_NE(box, nullptr);
        seen.title = box->windowTitle();
        seen.text = box->text();
        seen.buttons = int(box->buttons().size());
        seen.icon = box->icon();
        seen.otherEnabled = Widget(other)->isEnabled();
        seen.disabledEnabled = Widget(disabled)->isEnabled();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ShowMessage(T(u"Information"), T(u"Konnte Datei nicht öffnen!")), 1);
    EXPECT_EQ(seen.title, QStringLiteral("Information"));
    EXPECT_EQ(seen.text, QStringLiteral("Konnte Datei nicht öffnen!"));
    EXPECT_EQ(seen.buttons, 1);
    EXPECT_EQ(seen.icon, QMessageBox::NoIcon);
    EXPECT_FALSE(seen.otherEnabled);
    EXPECT_FALSE(seen.disabledEnabled);
    // Afterwards the windows are as they were.
    EXPECT_TRUE(Widget(other)->isEnabled());
    EXPECT_FALSE(Widget(disabled)->isEnabled());
    EXPECT_TRUE(main->isEnabled());

    WhenModal([](QWidget* box) { QTest::keyClick(box, Qt::Key_Escape); });
    EXPECT_EQ(ShowMessage(T(u"Information"), T(u"Escape")), 1);
}

} // namespace
} // namespace qk::test
