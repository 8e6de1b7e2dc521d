// Open folder asks the desktop's file manager over the session bus to show
// the file: here a file manager of the test's own answers on a private bus.
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

    EXPECT_TRUE(ShowInFileManager(u"/srv/cad/Werk/", u"teil 1ü.par"));
    EXPECT_TRUE(ShowInFileManager(u"/srv/cad/Werk/", u""));
    EXPECT_EQ(
        fake.Calls().join(QLatin1Char('|')).toStdString(),
        "ShowItems file:///srv/cad/Werk/teil%201%C3%BC.par|ShowFolders file:///srv/cad/Werk/");

    server.unregisterObject(QStringLiteral("/org/freedesktop/FileManager1"));
    QDBusConnection::disconnectFromBus(QStringLiteral("fake"));
    thread.quit();
    thread.wait();
    kill(static_cast<pid_t>(std::atol(pid)), SIGTERM);
}

} // namespace
} // namespace qk

#include "FileManager_test.moc"
