// Files dropped on a window from the file manager.
#include "ui/Desktop.h"
#include "ui/Events.h"
#include "ui/qt/UiInternal.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QObject>
#include <QUrl>
#include <QWidget>

namespace qk {
namespace {

Text gDroppedFile;

// The first local file among the dropped ones; empty when there is none.
QString FirstLocalFile(const QMimeData* data) {
    if (!data || !data->hasUrls()) return {};
    for (const QUrl& url : data->urls())
        if (url.isLocalFile()) return url.toLocalFile();
    return {};
}

class DropFilter final : public QObject {
  public:
    DropFilter(QObject* parent, std::int64_t window) : QObject(parent), window_(window) {}

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (FirstLocalFile(drag->mimeData()).isEmpty()) return false;
            drag->acceptProposedAction();
            return true;
        }
        if (event->type() != QEvent::Drop) return false;
        auto* drop = static_cast<QDropEvent*>(event);
        const QString file = FirstLocalFile(drop->mimeData());
        if (file.isEmpty()) return false;
        drop->acceptProposedAction();
        gDroppedFile = ui::FromQString(file);
        ui::PostEvent(DropEvent, 0, window_, 0);
        return true;
    }

  private:
    std::int64_t window_;
};

} // namespace

namespace ui {

void AcceptFileDrops(QWidget* widget, std::int64_t window) {
    widget->setAcceptDrops(true);
    widget->installEventFilter(new DropFilter(widget, window));
}

} // namespace ui

Text DroppedFile() {
    return gDroppedFile;
}

} // namespace qk
