// The viewer on hostile logs, chosen in its own dialog under the offscreen
// platform: the small hostile logs (empty, header only, a million blanks, NUL
// bytes, the Windows ANSI code page, ...) and paths that cannot be opened (a
// directory, a FIFO, a file gone or unreadable by the time it is opened).
// The viewer must list every record of what it could read, and must say
// "Konnte Datei nicht öffnen!" for what it cannot open, then show empty
// lists. The big logs (random bytes, a 100 MB line, ten million lines, a log
// changing while read) load through the same code in quellkamp-list's tests
// (tests/tools/HostileLogs_test.cpp).
#include "tests/app/ViewerScript.h"
#include "tests/tools/HostileLogs.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace qk {
namespace {

using namespace hostile;

// Only a hang runs into this.
constexpr std::chrono::seconds kHangLimit{600};

std::vector<std::string> RowOf(std::int64_t list, std::int64_t row) {
    std::vector<std::string> cells;
    for (int column = 0; column < 6; ++column)
        cells.push_back(GetCellText(list, row, column).ToUtf8());
    return cells;
}

// The window shows what loading the log must give: the count label, the
// rows, and the sample records in their rows.
void ExpectShown(const Expected& expected) {
    const std::string total = std::to_string(expected.total);
    EXPECT_EQ(ControlText(CountLabel), total + "/" + total);
    EXPECT_EQ(RowCount(RecordListView), static_cast<std::int64_t>(expected.total));
    EXPECT_EQ(RowCount(MatchListView), 0);
    for (const auto& [place, r] : expected.samples) {
        EXPECT_EQ(RowOf(RecordListView, static_cast<std::int64_t>(place)),
                  (std::vector<std::string>{r.path, r.name, r.size, r.date, r.time, r.user}))
            << "row " << place;
    }
}

// Opens `log` in the viewer and checks what it lists.
void ExpectViewerLoads(const fs::path& log, const Expected& expected) {
    const int code = RunWithScript({AnswerFileDialog(log.string()),
                                    WhenMainWindowShown([&] { ExpectShown(expected); }), Do(Close)},
                                   kHangLimit);
    EXPECT_EQ(code, 0);
}

// Answers the dialog with `log`, runs `onSelected` once the dialog has handed
// out the path, and expects the message and then empty lists.
void ExpectCannotOpen(const fs::path& log, std::function<void()> onSelected = nullptr) {
    const int code = RunWithScript({AnswerFileDialog(log.string(), onSelected),
                                    AnswerCannotOpenMessage(), WhenMainWindowShown([] {
                                        EXPECT_EQ(ControlText(CountLabel), "0/0");
                                        EXPECT_EQ(RowCount(RecordListView), 0);
                                    }),
                                    Do(Close)},
                                   kHangLimit);
    EXPECT_EQ(code, 0);
}

class ViewerHostileLogs : public testing::Test {
  protected:
    ViewerHostileLogs()
        : scratch_(std::string("viewer-") +
                   testing::UnitTest::GetInstance()->current_test_info()->name()) {}
    fs::path Log() const { return scratch_.path / "dubletten.txt"; }

  private:
    ScratchFolder scratch_;
};

TEST_F(ViewerHostileLogs, SmallLogsListEveryRecord) {
    for (const SmallLog& log : kSmallLogs) {
        SCOPED_TRACE(log.label);
        ExpectViewerLoads(Log(), log.make(Log()));
    }
}

// The dialog does not hand out a directory: confirming one opens it in the
// dialog. A path that has become a directory by the time the viewer opens it
// gives the message.
TEST_F(ViewerHostileLogs, Directory) {
    const fs::path folder = Log().parent_path() / "ordner";
    fs::create_directory(folder);
    WriteBytes(Log(), "D:\\A\\halter.par 1 01.01.2001 01:01 cad01\n");
    const int code = RunWithScript(
        {[&] {
             auto* dialog = static_cast<QFileDialog*>(Modal("QFileDialog"));
             if (!dialog) return false;
             auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
             field->setText(QString::fromStdString(folder.string()));
             QTest::keyClick(field, Qt::Key_Return);
             return true;
         },
         [&] {
             auto* dialog = static_cast<QFileDialog*>(Modal("QFileDialog"));
             EXPECT_NE(dialog, nullptr) << "the dialog accepted a directory";
             if (!dialog) return true;
             EXPECT_EQ(fs::path(dialog->directory().absolutePath().toStdString()), folder);
             dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
             return true;
         },
         AnswerFileDialog(Log().string(),
                          [&] {
                              fs::remove(Log());
                              fs::create_directory(Log());
                          }),
         AnswerCannotOpenMessage(), WhenMainWindowShown([] {
             EXPECT_EQ(ControlText(CountLabel), "0/0");
             EXPECT_EQ(RowCount(RecordListView), 0);
         }),
         Do(Close)},
        kHangLimit);
    EXPECT_EQ(code, 0);
}

TEST_F(ViewerHostileLogs, Fifo) {
    ASSERT_EQ(mkfifo(Log().c_str(), 0600), 0);
    ExpectCannotOpen(Log());
}

TEST_F(ViewerHostileLogs, FileGoneBetweenTheDialogAndTheOpen) {
    WriteBytes(Log(), "D:\\A\\halter.par 1 01.01.2001 01:01 cad01\n");
    ExpectCannotOpen(Log(), [this] { EXPECT_TRUE(fs::remove(Log())); });
}

TEST_F(ViewerHostileLogs, FileWithoutReadPermission) {
    if (geteuid() == 0) GTEST_SKIP() << "the tests run as root, who may read any file";
    WriteBytes(Log(), "D:\\A\\halter.par 1 01.01.2001 01:01 cad01\n");
    fs::permissions(Log(), fs::perms::none);
    ExpectCannotOpen(Log());
}

} // namespace
} // namespace qk
