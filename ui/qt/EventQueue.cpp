// The event queue and the event loop on top of Qt's.
#include "ui/Events.h"
#include "ui/qt/UiInternal.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWheelEvent>

#include <algorithm>
#include <deque>
#include <memory>

namespace qk {

namespace ui {

namespace {

// The window system's input reaches the windows one message per
// WaitForEvent, so that the events of one user action are all handled before
// the next action is: a click that follows two keystrokes lands on the list
// the keystrokes produced. Input that arrives while one message has already
// gone through waits here, in order, and is handed on by the next calls.
class InputGate final : public QObject {
  public:
    // Lets the next input message through; the ones after it wait.
    void Open() { open_ = true; }
    bool Waiting() const { return !held_.empty(); }
    // Hands the oldest waiting message to its window.
    void Release() {
        Held next = std::move(held_.front());
        held_.pop_front();
        if (!next.window) return;
        const std::unique_ptr<QEvent> event = next.Make();
        releasing_ = true;
        QCoreApplication::sendEvent(next.window, event.get());
        releasing_ = false;
    }
    void Drop() { held_.clear(); }
    // Outside WaitForEvent (dialogs, tests driving the widgets) input goes
    // straight through.
    bool gating = false;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!gating || releasing_ || !watched->isWindowType() || !IsInput(event->type()))
            return false;
        if (open_ && held_.empty()) {
            open_ = false;
            return false;
        }
        held_.push_back(Held::Of(watched, event));
        return true;
    }

  private:
    // What a held message says, by value: a copied Qt input event would
    // still share its point with the ones the window system makes later.
    struct Held {
        QPointer<QObject> window;
        QEvent::Type type;
        QPointF position, scenePosition, globalPosition;
        QPoint pixelDelta, angleDelta;
        Qt::MouseButton button = Qt::NoButton;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
        Qt::ScrollPhase phase = Qt::NoScrollPhase;
        bool inverted = false;
        int key = 0;
        quint32 scanCode = 0, virtualKey = 0, nativeModifiers = 0;
        QString text;
        bool autoRepeat = false;
        quint16 count = 1;
        quint64 timestamp = 0;

        static Held Of(QObject* window, QEvent* event) {
            Held held;
            held.window = window;
            held.type = event->type();
            const auto* input = static_cast<QInputEvent*>(event);
            held.modifiers = input->modifiers();
            held.timestamp = input->timestamp();
            if (held.type == QEvent::KeyPress || held.type == QEvent::KeyRelease) {
                const auto* key = static_cast<QKeyEvent*>(event);
                held.key = key->key();
                held.scanCode = key->nativeScanCode();
                held.virtualKey = key->nativeVirtualKey();
                held.nativeModifiers = key->nativeModifiers();
                held.text = key->text();
                held.autoRepeat = key->isAutoRepeat();
                held.count = quint16(key->count());
                return held;
            }
            const auto* pointer = static_cast<QSinglePointEvent*>(event);
            held.position = pointer->position();
            held.scenePosition = pointer->scenePosition();
            held.globalPosition = pointer->globalPosition();
            held.button = pointer->button();
            held.buttons = pointer->buttons();
            if (held.type == QEvent::Wheel) {
                const auto* wheel = static_cast<QWheelEvent*>(event);
                held.pixelDelta = wheel->pixelDelta();
                held.angleDelta = wheel->angleDelta();
                held.phase = wheel->phase();
                held.inverted = wheel->inverted();
            }
            return held;
        }
        std::unique_ptr<QEvent> Make() const {
            std::unique_ptr<QInputEvent> event;
            if (type == QEvent::KeyPress || type == QEvent::KeyRelease)
                event = std::make_unique<QKeyEvent>(type, key, modifiers, scanCode, virtualKey,
                                                    nativeModifiers, text, autoRepeat, count);
            else if (type == QEvent::Wheel)
                event =
                    std::make_unique<QWheelEvent>(position, globalPosition, pixelDelta, angleDelta,
                                                  buttons, modifiers, phase, inverted);
            else
                event = std::make_unique<QMouseEvent>(type, position, scenePosition, globalPosition,
                                                      button, buttons, modifiers);
            event->setTimestamp(timestamp);
            return event;
        }
    };
    static bool IsInput(QEvent::Type type) {
        switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
            return true;
        default:
            return false;
        }
    }
    std::deque<Held> held_;
    bool open_ = true;
    bool releasing_ = false;
};

QPointer<InputGate> gate; // a child of the application

} // namespace

void InstallEventSupport() {
    if (!gate) {
        gate = new InputGate;
        gate->setParent(qApp);
        qApp->installEventFilter(gate);
    }
    InstallKeyboardFilter();
}

void EndEventSupport() {
    if (gate) {
        qApp->removeEventFilter(gate);
        delete gate;
    }
    RemoveKeyboardFilter();
    ClearEvents();
}

bool HeldInputWaiting() {
    return gate && gate->Waiting();
}

} // namespace ui

std::int64_t WaitForEvent() {
    ui::MarkCurrentEmpty();
    std::int64_t number = 0;
    if (ui::TakeHead(number)) return number;
    // The views learn of the rows added since the last call before the
    // user's next message reaches them.
    ui::FlushLists();
    // One message of the window system at a time until one made an event;
    // window-system activity that made none just waits on.
    while (!ui::TakeHead(number)) {
        if (!QCoreApplication::instance() || !ui::gate) return 0;
        ui::gate->Open();
        ui::gate->gating = true;
        if (ui::gate->Waiting()) {
            // Held input goes first; what the window system sent meanwhile
            // (paints, the window manager's pings) is answered before it,
            // so that the window never looks frozen while input piles up.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::X11ExcludeTimers);
            if (ui::gate && ui::gate->Waiting()) ui::gate->Release();
        } else
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        if (ui::gate) ui::gate->gating = false;
        ui::FlushLists();
    }
    return number;
}

} // namespace qk
