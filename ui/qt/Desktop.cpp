// Context menus, the clipboard, the file manager, keyboard shortcuts and
// focus on Qt; and the keys a list reports beyond the mouse: Ctrl+C, Enter
// and the menu key.
#include "ui/Desktop.h"
#include "ui/Events.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QProcess>
#include <QShortcut>
#include <QUrl>

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

bool ShowInFileManager(const Text& folder, const Text& file) {
    const QString folderPath = QDir::fromNativeSeparators(ui::ToQString(folder));
    // The desktop's file manager through its standard interface: it opens
    // the folder with the file selected.
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        const bool oneFile = !file.empty();
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.FileManager1"),
            QStringLiteral("/org/freedesktop/FileManager1"),
            QStringLiteral("org.freedesktop.FileManager1"),
            oneFile ? QStringLiteral("ShowItems") : QStringLiteral("ShowFolders"));
        const QString shown = oneFile ? QDir(folderPath).filePath(ui::ToQString(file)) : folderPath;
        call << QStringList{QUrl::fromLocalFile(shown).toString(QUrl::FullyEncoded)} << QString();
        constexpr int kReplyMilliseconds = 3000;
        const QDBusMessage reply = bus.call(call, QDBus::Block, kReplyMilliseconds);
        if (reply.type() == QDBusMessage::ReplyMessage) return true;
    }
    // Otherwise whatever opens folders on this desktop.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {folderPath});
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
