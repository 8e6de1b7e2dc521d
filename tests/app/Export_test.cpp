// Export to...: the viewer writes the upper list as shown, answering its
// save dialog through the dialog's own widgets; the file must hold the same
// bytes quellkamp-list prints after the same actions (CSV: with
// --spreadsheet-csv), and a failed or cancelled export must leave the folder
// as it was.
#include "tests/app/ViewerScript.h"
#include "tests/tools/ListerProcess.h"

#include "app/ExportCommand.h"
#include "app/LoadProgress.h"
#include "core/ExportFormats.h"

#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace qk {
namespace {

namespace fs = std::filesystem;

constexpr char kLog[] = "Doppelte Dateien\r\n"
                        "D:\\A\\halter.par   1.234,5KB  16.09.2018 07:36 cad01\r\n"
                        "E:\\Werk, \"alt\"\\baugruppe.asm 12MB 01.02.2017 13:05 cad02\r\n"
                        "D:\\B\\halter.par 999 01.01.2019 08:00 cad03\r\n"
                        "D:\\C\\Halter.par 5 02.01.2019 09:00 Jürgen\r\n"
                        "D:\\D\\deckel.dft 77KB 03.03.2016 10:10 cad02\r\n";

class Export : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("quellkamp-export-" + std::to_string(getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        log_ = (dir_ / "dubletten.txt").string();
        std::ofstream(log_, std::ios::binary) << kLog;
    }
    void TearDown() override { fs::remove_all(dir_); }

    // The names in the folder besides the log.
    std::vector<std::string> OtherFiles() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir_))
            if (entry.path().filename() != "dubletten.txt")
                names.push_back(entry.path().filename().string());
        return names;
    }

    fs::path dir_;
    std::string log_;
};

// Answers the save dialog: checks what it proposes, picks the file type by
// `typeSteps` presses of the down key in its type box, replaces the proposed
// name by `name` unless that is empty, and confirms.
Step AnswerSaveDialog(const fs::path& dir, int typeSteps, const std::string& name) {
    return [=] {
        auto* dialog = static_cast<QFileDialog*>(Modal("QFileDialog"));
        if (!dialog) return false;
        EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Export to..."));
        EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), dir);
        auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        if (!field || !types) {
            ADD_FAILURE() << "the save dialog lacks its name field or type box";
            return false;
        }
        EXPECT_EQ(field->text(), QStringLiteral("dubletten.csv"));
        // The file types as the pattern's display texts give them.
        EXPECT_EQ(types->count(), 2);
        EXPECT_EQ(types->itemText(0), QStringLiteral("CSV (*.csv)"));
        EXPECT_EQ(types->itemText(1), QStringLiteral("JSON Lines (*.jsonl)"));
        for (int i = 0; i < typeSteps; ++i)
            QTest::keyClick(types, Qt::Key_Down);
        if (!name.empty()) field->setText(QString::fromStdString(name));
        // Confirmed from the event loop: the overwrite question it may raise
        // must not block the script's timer.
        QTimer::singleShot(0, field, [field] { QTest::keyClick(field, Qt::Key_Return); });
        return true;
    };
}

Step ClickExport() {
    return Do([] { QTest::mouseClick(ControlWidget(ExportButton), Qt::LeftButton); });
}

// Answers the message box `className` shows with `button`.
Step AnswerBox(QMessageBox::StandardButton button, std::string* text = nullptr) {
    return [=] {
        auto* box = static_cast<QMessageBox*>(Modal("QMessageBox"));
        if (!box) return false;
        if (text) *text = box->windowTitle().toStdString() + ": " + box->text().toStdString();
        box->button(button)->click();
        return true;
    };
}

struct ExportCase {
    const char* what;
    std::vector<std::string> listerActions; // --sort COLUMN / --find TEXT, in order
    int typeSteps;                          // 0: CSV, 1: JSON Lines
    std::string name;                       // typed over the proposal; empty keeps it
    std::string file;                       // what the export is written to
};

// The viewer's side of a lister action: clicks an option or types the text.
Step ViewerAction(const std::string& option, const std::string& value) {
    return Do([option, value] {
        if (option == "--find") {
            auto* field = static_cast<QLineEdit*>(ControlWidget(FindField));
            field->setFocus();
            field->selectAll();
            QTest::keyClicks(field, QString::fromStdString(value));
        } else {
            const std::vector<std::string> columns{"path", "name", "size", "date", "time", "user"};
            const auto at = std::find(columns.begin(), columns.end(), value) - columns.begin();
            QTest::mouseClick(ControlWidget(FirstSortOption + at), Qt::LeftButton);
        }
    });
}

TEST_F(Export, WritesTheUpperListAsTheListerPrintsIt) {
    const std::vector<ExportCase> cases = {
        {"everything, as loaded", {}, 0, "", "dubletten.csv"},
        {"hidden rows left out", {"--find", "halter"}, 1, "", "dubletten.jsonl"},
        {"sorted, then found", {"--sort", "size", "--find", "cad0"}, 0, "auswahl", "auswahl.csv"},
        {"found, then sorted", {"--find", ".par", "--sort", "user"}, 1, "x.jsonl", "x.jsonl"},
        {"type by extension", {"--sort", "name"}, 0, "liste.JSONL", "liste.JSONL"},
        {"nothing found", {"--find", "zzz"}, 0, "", "dubletten.csv"},
    };
    for (const ExportCase& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<Step> steps{AnswerFileDialog(log_), WhenMainWindowShown([] {})};
        for (std::size_t i = 0; i + 1 < c.listerActions.size(); i += 2)
            steps.push_back(ViewerAction(c.listerActions[i], c.listerActions[i + 1]));
        steps.push_back(ClickExport());
        steps.push_back(AnswerSaveDialog(dir_, c.typeSteps, c.name));
        steps.push_back(Do(Close));
        EXPECT_EQ(RunWithScript(steps), 0);

        const bool json = c.file.ends_with("jsonl") || c.file.ends_with("JSONL");
        std::vector<std::string> args = c.listerActions;
        if (!json) args.insert(args.begin(), "--spreadsheet-csv");
        args.push_back(log_);
        const lister::Result printed = lister::RunLister(dir_ / "..", args);
        ASSERT_EQ(printed.status, 0) << printed.err;
        EXPECT_EQ(lister::ReadWhole(dir_ / c.file), printed.out);
        EXPECT_EQ(OtherFiles(), std::vector<std::string>{c.file}); // no temporary left
        fs::remove(dir_ / c.file);
    }
}

TEST_F(Export, AsksBeforeOverwritingAndCancelWritesNothing) {
    std::ofstream(dir_ / "dubletten.csv", std::ios::binary) << "alt";
    std::string question;
    EXPECT_EQ(RunWithScript({
                  AnswerFileDialog(log_),
                  WhenMainWindowShown([] {}),
                  // Declining the overwrite leaves the dialog up; cancelling it
                  // writes nothing.
                  ClickExport(),
                  AnswerSaveDialog(dir_, 0, ""),
                  AnswerBox(QMessageBox::No, &question),
                  [] {
                      QWidget* dialog = Modal("QFileDialog");
                      if (dialog) QTest::keyClick(dialog, Qt::Key_Escape);
                      return dialog != nullptr;
                  },
                  Do([&] {
                      EXPECT_EQ(lister::ReadWhole(dir_ / "dubletten.csv"), "alt");
                      EXPECT_EQ(OtherFiles(), std::vector<std::string>{"dubletten.csv"});
                  }),
                  // Agreeing replaces the file.
                  ClickExport(),
                  AnswerSaveDialog(dir_, 0, ""),
                  AnswerBox(QMessageBox::Yes),
                  Do(Close),
              }),
              0);
    EXPECT_NE(question.find("dubletten.csv"), std::string::npos) << question;
    EXPECT_TRUE(lister::ReadWhole(dir_ / "dubletten.csv")
                    .starts_with("\xEF\xBB\xBF"
                                 "Pfad,"));
}

// A write that fails half-way (the file size limit stands in for a full
// disk) is reported in one line and leaves the earlier file as it was.
TEST_F(Export, FailedWriteKeepsTheEarlierFile) {
    std::ofstream(dir_ / "dubletten.csv", std::ios::binary) << "alt";
    std::string message;
    rlimit before{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    EXPECT_EQ(RunWithScript({
                  AnswerFileDialog(log_),
                  WhenMainWindowShown([] {}),
                  Do([&] {
                      rlimit small = before;
                      small.rlim_cur = 100; // smaller than the export
                      ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
                  }),
                  ClickExport(),
                  AnswerSaveDialog(dir_, 0, ""),
                  AnswerBox(QMessageBox::Yes),
                  AnswerBox(QMessageBox::Ok, &message),
                  Do([&] { setrlimit(RLIMIT_FSIZE, &before); }),
                  WhenMainWindowShown([] { EXPECT_EQ(ControlText(CountLabel), "5/5"); }),
                  Do(Close),
              }),
              0);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, previous);
    EXPECT_TRUE(message.starts_with(
        "Information: Konnte Datei nicht schreiben: " + (dir_ / "dubletten.csv").string() + " ("))
        << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
    EXPECT_EQ(lister::ReadWhole(dir_ / "dubletten.csv"), "alt");
    EXPECT_EQ(OtherFiles(), std::vector<std::string>{"dubletten.csv"});
}

// The progress window that is up, if any.
QProgressDialog* ShownProgressWindow() {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (top->isVisible() && qobject_cast<QProgressDialog*>(top))
            return static_cast<QProgressDialog*>(top);
    return nullptr;
}

// A long export shows the progress window; its Cancel keeps the earlier
// file and leaves no temporary one, and a finished export needs no word.
TEST_F(Export, LongExportShowsProgressAndCancelKeepsTheEarlierFile) {
    {
        std::ofstream out(log_, std::ios::binary);
        for (int i = 0; i < 300'000; ++i)
            out << "D:\\Werk\\teil" << i % 977 << ".par 12KB 01.02.2017 13:05 cad01\r\n";
    }
    const fs::path target = dir_ / "dubletten.csv";
    progressWindowDelay = std::chrono::milliseconds(0);
    for (const bool cancel : {true, false}) {
        SCOPED_TRACE(cancel);
        std::ofstream(target, std::ios::binary) << "alt";
        bool sawProgress = false;
        EXPECT_EQ(RunWithScript({
                      AnswerFileDialog(log_),
                      WhenMainWindowShown([] {}),
                      ClickExport(),
                      AnswerSaveDialog(dir_, 0, ""),
                      AnswerBox(QMessageBox::Yes),
                      [&] {
                          QProgressDialog* window = ShownProgressWindow();
                          if (!window) return false;
                          sawProgress = true;
                          EXPECT_EQ(window->windowTitle(), QStringLiteral("dubletten.csv"));
                          EXPECT_EQ(window->labelText().toStdString(), target.string());
                          if (cancel) window->findChild<QPushButton*>()->click();
                          return true;
                      },
                      [] { return !ShownProgressWindow(); },
                      WhenMainWindowShown([] { EXPECT_EQ(Modal("QMessageBox"), nullptr); }),
                      Do(Close),
                  }),
                  0);
        EXPECT_TRUE(sawProgress);
        const std::string written = lister::ReadWhole(target);
        if (cancel) {
            EXPECT_EQ(written, "alt");
        } else {
            EXPECT_TRUE(written.starts_with("\xEF\xBB\xBFPfad,")) << written.substr(0, 20);
            EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 300'001);
        }
        EXPECT_EQ(OtherFiles(), std::vector<std::string>{"dubletten.csv"});
    }
    progressWindowDelay = std::chrono::milliseconds(500);
}

// Exporting to a link writes the file it points at; the file written over
// keeps its permissions.
TEST_F(Export, WritesThroughLinksAndKeepsPermissions) {
    const fs::path target = dir_ / "ziel.csv", link = dir_ / "link.csv";
    const struct {
        fs::path chosen;
        fs::perms mode;
    } cases[] = {
        {link, fs::perms::owner_read | fs::perms::owner_write},
        {target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read},
    };
    fs::create_symlink("ziel.csv", link);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.chosen.string());
        std::ofstream(target, std::ios::binary | std::ios::trunc) << "alt";
        fs::permissions(target, c.mode);
        EXPECT_FALSE(
            ExportShownRecords(Text(c.chosen.u16string()), ExportFormat::Csv, nullptr).failed);
        EXPECT_TRUE(fs::is_symlink(link));
        EXPECT_NE(lister::ReadWhole(target), "alt"); // written through the link
        EXPECT_EQ(fs::status(target).permissions() & fs::perms::all, c.mode);
        std::vector<std::string> names = OtherFiles();
        std::sort(names.begin(), names.end());
        EXPECT_EQ(names, (std::vector<std::string>{"link.csv", "ziel.csv"}));
    }
}

TEST(ExportNames, ProposedFileAndFormat) {
    const struct {
        std::u16string log, proposed;
    } proposals[] = {
        {u"/home/a/dubletten.txt", u"/home/a/dubletten.csv"},
        {u"K:\\Logs\\dubl.2024.txt", u"K:\\Logs\\dubl.2024.csv"},
        {u"/home/a.b/log", u"/home/a.b/log.csv"},
        {u"/home/a/.log", u"/home/a/.log.csv"},
        {u"", u""},
    };
    for (const auto& p : proposals)
        EXPECT_EQ(ProposedExportFile(Text(p.log), u".csv").view(), p.proposed);

    const struct {
        std::u16string file;
        std::int32_t pattern;
        ExportFormat format;
    } formats[] = {
        {u"a.csv", 2, ExportFormat::SpreadsheetCsv},
        {u"a.JsonL", 1, ExportFormat::JsonLines},
        {u"a", 2, ExportFormat::JsonLines},
        {u"a", 1, ExportFormat::SpreadsheetCsv},
        {u"a.jsonl.txt", 0, ExportFormat::SpreadsheetCsv},
    };
    for (const auto& f : formats)
        EXPECT_EQ(ExportFormatFor(Text(f.file), f.pattern), f.format);
}

} // namespace
} // namespace qk
