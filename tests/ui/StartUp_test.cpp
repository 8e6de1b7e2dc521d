#include "app/StartUp.h"
#include "tests/ui/UiTestSupport.h"
#include "text/TextFileReader.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace qk::test {
namespace {

TEST(StartUpTest, ShutDownClosesEveryWindowAndFileAndGivesExitCodeZero) {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    ASSERT_TRUE(StartUp(argc, argv));
    QTemporaryDir folder;
    const QString path = folder.path() + QStringLiteral("/log.txt");
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("first\nsecond\n");
    }
    ASSERT_NE(OpenTextFile(0, ui::FromQString(path)), 0);
    ASSERT_NE(BuildMainWindow(), 0);
    OpenWindow(2, 0, 0, 100, 100, T(u"second"), 0x00C80001);
    QPointer<QWidget> main = ui::FindWindow(MainWindow)->widget;
    QPointer<QWidget> list = ControlWidget(RecordListView);
    main->close(); // a close request alone leaves the window
    EXPECT_FALSE(main.isNull());

    EXPECT_EQ(ShutDown(), 0);
    EXPECT_TRUE(main.isNull());
    EXPECT_TRUE(list.isNull());
    EXPECT_EQ(ui::FindWindow(2), nullptr);
    EXPECT_EQ(ui::FindControl(RecordListView), nullptr);
    EXPECT_FALSE(ui::HasWaitingEvent());
    EXPECT_EQ(ReadTextLine(0), Text()); // the file is closed

    // The other tests go on with a window layer started anew.
    ASSERT_TRUE(StartUp(argc, argv));
    ASSERT_NE(BuildMainWindow(), 0);
    AddRow(RecordListView, -1, T(u"again"));
    EXPECT_EQ(GetCellText(RecordListView, 0, 0), T(u"again"));
}

} // namespace
} // namespace qk::test
