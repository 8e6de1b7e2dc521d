// Context menus, the clipboard, the file manager, keyboard shortcuts and
// focus on Qt; and the keys a list reports beyond the mouse: Ctrl+C, Enter
// and the menu key.
#include "ui/Desktop.h"
#include "text/FileLayer.h"
#include "ui/Events.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QShortcut>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qk {
namespace ui {
namespace {

// The list a widget belongs to: the list itself or its viewport.
ListView* ListOfWidget(QObject* object) {
    if (auto* view = dynamic_cast<ListView*>(object)) return view;
    auto* widget = qobject_cast<QWidget*>(object);
    return widget ? dynamic_cast<ListView*>(widget->parentWidget()) : nullptr;
}

class ListKeys final : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::KeyPress: {
            auto* view = dynamic_cast<ListView*>(watched);
            if (!view) return false;
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Copy)) {
                view->PostNotification(kCopyRequested);
                return true;
            }
            if (key->key() == Qt::Key_Menu && key->modifiers() == Qt::NoModifier) {
                view->PostNotification(kContextMenuRequested);
                return true;
            }
            if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                view->PostNotification(kRowActivated);
                return true;
            }
            return false;
        }
        case QEvent::ContextMenu: {
            // The keyboard's request where the system makes one of its own;
            // the mouse's follows the right click.
            auto* view = dynamic_cast<ListView*>(watched);
            if (!view ||
                static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard)
                return false;
            view->PostNotification(kContextMenuRequested);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            if (static_cast<QMouseEvent*>(event)->button() != Qt::RightButton) return false;
            ListView* view = ListOfWidget(watched);
            if (!view || watched != view->viewport()) return false;
            // After the list has posted the click itself.
            QPointer<ListView> later(view);
            QMetaObject::invokeMethod(
                view,
                [later] {
                    if (later) later->PostNotification(kContextMenuRequested);
                },
                Qt::QueuedConnection);
            return false;
        }
        default:
            return false;
        }
    }
};

} // namespace

void InstallListKeys() {
    static ListKeys* keys = nullptr;
    if (keys) return;
    keys = new ListKeys;
    keys->setParent(qApp);
    qApp->installEventFilter(keys);
}

} // namespace ui

std::int64_t ShowPopupMenu(std::int64_t control, const std::vector<MenuItem>& items) {
    ui::ControlRecord* record = ui::FindControl(control);
    if (!record || !record->widget) return -1;
    QWidget* owner = record->widget;
    QMenu menu(owner);
    std::vector<QAction*> actions;
    for (const MenuItem& item : items) {
        QAction* action = menu.addAction(ui::ToQString(item.text));
        action->setEnabled(item.enabled);
        actions.push_back(action);
    }
    QPoint at = QCursor::pos();
    if (ui::ListView* view = record->list) {
        const QRect area = view->viewport()->rect();
        if (!area.contains(view->viewport()->mapFromGlobal(at))) {
            const QRect row =
                view->visualRect(view->model()->index(static_cast<int>(view->SelectedRow()), 0));
            at = view->viewport()->mapToGlobal(row.isValid() ? row.bottomLeft() : area.topLeft());
        }
    }
    QAction* chosen = menu.exec(at);
    for (std::size_t i = 0; i < actions.size(); ++i)
        if (actions[i] == chosen) return static_cast<std::int64_t>(i);
    return -1;
}

bool CopyToClipboard(const Text& text) {
    QClipboard* clipboard = qApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard) return false;
    clipboard->setText(ui::ToQString(text));
    return true;
}

namespace {

// A file URI of a local path's bytes: everything but letters, digits, "/"
// and "-._~" percent-encoded, so that any name comes through.
QString FileUri(const std::string& bytes) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
            (byte >= '0' && byte <= '9') || std::strchr("/-._~", byte) != nullptr) {
            uri.push_back(c);
        } else {
            uri.push_back('%');
            uri.push_back(kHex[byte >> 4]);
            uri.push_back(kHex[byte & 15]);
        }
    }
    return QString::fromLatin1(uri.data(), qsizetype(uri.size()));
}

bool AskFileManagerOverBus(const QString& call, const QString& uri) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    QDBusMessage message =
        QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
                                       QStringLiteral("/org/freedesktop/FileManager1"),
                                       QStringLiteral("org.freedesktop.FileManager1"), call);
    message << QStringList{uri} << QString();
    constexpr int kReplyMilliseconds = 3000;
    return bus.call(message, QDBus::Block, kReplyMilliseconds).type() == QDBusMessage::ReplyMessage;
}

// Runs xdg-open on the folder's own bytes (a QProcess would pass them
// through QString). It counts as started unless it cannot be run or ends
// with a failure within a moment; a file manager it keeps in its
// foreground is waited for by a thread of its own.
bool RunXdgOpen(const std::string& folder) {
    std::string program = "xdg-open";
    std::string argument = folder;
    char* argv[] = {program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv, environ) != 0) return false;
    struct Outcome {
        std::mutex mutex;
        std::condition_variable ended;
        bool done = false;
        int status = 0;
    };
    auto outcome = std::make_shared<Outcome>();
    try {
        std::thread([pid, outcome] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            const std::lock_guard<std::mutex> lock(outcome->mutex);
            outcome->done = true;
            outcome->status = status;
            outcome->ended.notify_all();
        }).detach();
    } catch (...) {
        return true; // it runs; nobody waits for it
    }
    constexpr auto kMoment = std::chrono::milliseconds(2000);
    std::unique_lock<std::mutex> lock(outcome->mutex);
    outcome->ended.wait_for(lock, kMoment, [&] { return outcome->done; });
    return !outcome->done || (WIFEXITED(outcome->status) && WEXITSTATUS(outcome->status) == 0);
}

} // namespace

bool ShowInFileManager(const Text& folder, const Text& file) {
    // Only an absolute local folder that exists, whatever the caller checked.
    std::string folderBytes, fileBytes;
    const Text target = FolderToOpen(folder);
    if (target.empty() || !PathBytes(target, folderBytes)) return false;
    if (folderBytes.back() != '/') folderBytes.push_back('/');
    // The file is selected when it is a plain name of a file there.
    struct stat status;
    const bool oneFile = !file.empty() && PathBytes(file, fileBytes) &&
                         fileBytes.find('/') == std::string::npos && fileBytes != "." &&
                         fileBytes != ".." &&
                         ::stat((folderBytes + fileBytes).c_str(), &status) == 0;
    // The desktop's file manager through its standard interface, else
    // whatever opens folders on this desktop.
    if (oneFile &&
        AskFileManagerOverBus(QStringLiteral("ShowItems"), FileUri(folderBytes + fileBytes)))
        return true;
    if (!oneFile && AskFileManagerOverBus(QStringLiteral("ShowFolders"), FileUri(folderBytes)))
        return true;
    return RunXdgOpen(folderBytes);
}

void AddKeyShortcut(std::int64_t window, std::int64_t item, const Text& keys) {
    ui::WindowRecord* record = ui::FindWindow(window);
    if (!record || !record->widget) return;
    auto* shortcut = new QShortcut(QKeySequence(ui::ToQString(keys)), record->widget);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, shortcut,
                     [window, item] { ui::PostEvent(MenuEvent, item, window, 0); });
}

void FocusControl(std::int64_t control) {
    ui::ControlRecord* record = ui::FindControl(control);
    if (!record || !record->widget) return;
    record->widget->setFocus(Qt::ShortcutFocusReason);
    if (auto* field = qobject_cast<QLineEdit*>(record->widget)) field->selectAll();
}

void SetAccessibleName(std::int64_t control, const Text& name) {
    ui::ControlRecord* record = ui::FindControl(control);
    if (record && record->widget) record->widget->setAccessibleName(ui::ToQString(name));
}

} // namespace qk
