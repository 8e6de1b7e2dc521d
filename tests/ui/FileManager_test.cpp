// Open folder asks the desktop's file manager over the session bus to show
// the file: here a file manager of the test's own answers on a private bus.
#include "text/FileLayer.h"
#include "ui/Desktop.h"

#include <QDBusConnection>
#include <QMutex>
#include <QMutexLocker>
#include <QObject>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace qk {
namespace {

// The standard interface's two calls; they answer on a thread of their own
// while the caller waits for the reply.
class FakeFileManager : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.FileManager1")
  public:
    QStringList Calls() {
        QMutexLocker lock(&mutex_);
        return calls_;
    }
  public slots:
    void ShowItems(const QStringList& uris, const QString&) { Note("ShowItems", uris); }
    void ShowFolders(const QStringList& uris, const QString&) { Note("ShowFolders", uris); }

  private:
    void Note(const char* call, const QStringList& uris) {
        QMutexLocker lock(&mutex_);
        calls_ << QString::fromLatin1(call) + QLatin1Char(' ') + uris.join(QLatin1Char(','));
    }
    QMutex mutex_;
    QStringList calls_;
};

TEST(FileManager, ShowsTheFileOverTheSessionBus) {
    FILE* daemon = popen("dbus-daemon --session --fork --print-address=1 --print-pid=1", "r");
    ASSERT_NE(daemon, nullptr);
    char address[512] = {}, pid[32] = {};
    const bool started =
        std::fgets(address, sizeof address, daemon) && std::fgets(pid, sizeof pid, daemon);
    pclose(daemon);
    if (!started) GTEST_SKIP() << "no dbus-daemon";
    std::string bus(address);
    bus.erase(bus.find_last_not_of('\n') + 1);
    setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);
    ASSERT_TRUE(QDBusConnection::sessionBus().isConnected()) << "the bus came up after first use";

    QThread thread;
    FakeFileManager fake;
    fake.moveToThread(&thread);
    thread.start();
    QDBusConnection server = QDBusConnection::connectToBus(QString::fromStdString(bus), "fake");
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.FileManager1")));
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/FileManager1"), &fake,
                                      QDBusConnection::ExportAllSlots));

    // The folders' own bytes, percent-encoded: UTF-8 or not.
    const std::string root = "/tmp/qk-file-manager-" + std::to_string(getpid());
    const std::string werk = root + "/Werk/", latin = root + "/latin\xE4/";
    ASSERT_EQ(std::system(("mkdir -p '" + werk + "' '" + latin + "' && touch '" + werk +
                           "teil 1\xC3\xBC.par'")
                              .c_str()),
              0);
    EXPECT_TRUE(ShowInFileManager(PathFromSystem(werk), u"teil 1ü.par"));
    EXPECT_TRUE(ShowInFileManager(PathFromSystem(werk), u""));
    EXPECT_TRUE(ShowInFileManager(PathFromSystem(latin), u"fehlt.par"));
    EXPECT_FALSE(ShowInFileManager(u"file:///etc/", u""));
    const std::string uri = "file://" + root;
    EXPECT_EQ(fake.Calls().join(QLatin1Char('|')).toStdString(),
              "ShowItems " + uri + "/Werk/teil%201%C3%BC.par|ShowFolders " + uri +
                  "/Werk/|ShowFolders " + uri + "/latin%E4/");
    std::system(("rm -rf '" + root + "'").c_str());

    server.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    thread.quit();
    thread.wait();
    kill(static_cast<pid_t>(std::atol(pid)), SIGTERM);
}

// Without a file manager on the bus the folder goes to xdg-open, here a
// stand-in that notes its arguments: only an absolute local folder that
// exists, as its own bytes.
TEST(FileManager, XdgOpenGetsOnlyAnAbsoluteFolder) {
    setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/qk-bus", 1);
    const std::string root = "/tmp/qk-xdg-open-" + std::to_string(getpid());
    const std::string bin = root + "/bin", log = root + "/called", latin = root + "/latin\xE4/";
    ASSERT_EQ(std::system(("mkdir -p '" + bin + "' '" + latin + "' && printf '%s\\n' '#!/bin/sh' " +
                           "'printf \"%s|\" \"$@\" >>\"$QK_CALLED\"' 'exit \"$QK_STATUS\"' >'" +
                           bin + "/xdg-open' && chmod +x '" + bin + "/xdg-open'")
                              .c_str()),
              0);
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("QK_CALLED", log.c_str(), 1);
    const struct {
        Text folder;
        const char* status;
        bool onPath;
        bool shown;
        std::string called;
    } cases[] = {
        {PathFromSystem(latin), "0", true, true, latin + "|"},
        {PathFromSystem(root + "/latin\xE4"), "0", true, true, latin + "|"},
        {u"-rf/", "0", true, false, ""},
        {u"--help/", "0", true, false, ""},
        {u"~/", "0", true, false, ""},
        {u"Werk/", "0", true, false, ""},
        {u"http://127.0.0.1:8765/", "0", true, false, ""},
        {u"file:///etc/", "0", true, false, ""},
        {PathFromSystem(root + "/fehlt/"), "0", true, false, ""},
        {PathFromSystem(latin), "3", true, false, latin + "|"}, // no file manager found
        {PathFromSystem(latin), "0", false, false, ""},         // no xdg-open at all
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder.ToUtf8() + " status " + c.status);
        std::remove(log.c_str());
        setenv("QK_STATUS", c.status, 1);
        setenv("PATH", c.onPath ? (bin + ":" + path).c_str() : "/nonexistent", 1);
        EXPECT_EQ(ShowInFileManager(c.folder, u"a.par"), c.shown);
        std::string called;
        if (FILE* in = std::fopen(log.c_str(), "rb")) {
            char buffer[4096];
            called.assign(buffer, std::fread(buffer, 1, sizeof buffer, in));
            std::fclose(in);
        }
        EXPECT_EQ(called, c.called);
    }
    setenv("PATH", path.c_str(), 1);
    std::system(("rm -rf '" + root + "'").c_str());
}

} // namespace
} // namespace qk

#include "FileManager_test.moc"
