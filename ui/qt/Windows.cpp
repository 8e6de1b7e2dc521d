// Windows addressed by number, on Qt widgets: the window table, the
// top-level window and its keyboard focus handling.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/WindowRules.h"
#include "ui/qt/UiInternal.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace qk {

namespace ui {

namespace {

class WindowWidget final : public QWidget {
  public:
    explicit WindowWidget(std::int64_t number) : number_(number) {}
    std::int64_t Number() const { return number_; }

  protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::WindowActivate) PostEvent(ActivateEvent, 0, number_, 0);
        if (event->type() == QEvent::WindowDeactivate) PostEvent(DeactivateEvent, 0, number_, 0);
        return QWidget::event(event);
    }
    void closeEvent(QCloseEvent* event) override {
        const WindowRecord* record = FindWindow(number_);
        if (record && record->closing) {
            event->accept();
            return;
        }
        // Only a request: the window stays until the program removes it.
        PostEvent(CloseWindowEvent, number_, number_, 0);
        event->ignore();
    }
    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        if (Created()) PostEvent(MoveEvent, number_, number_, 0);
    }
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        if (!Created() || (windowState() & (Qt::WindowMinimized | Qt::WindowMaximized))) return;
        Post(SizeEventsOf(SizeState::Normal, SizeState::Normal));
    }
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() != QEvent::WindowStateChange || !Created()) return;
        const SizeState before = StateOf(static_cast<QWindowStateChangeEvent*>(event)->oldState());
        const SizeState now = StateOf(windowState());
        // A plain resize is told by resizeEvent.
        if (now != SizeState::Normal || before != SizeState::Normal)
            Post(SizeEventsOf(before, now));
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) PostEvent(LeftClickEvent, 0, number_, 0);
        if (event->button() == Qt::RightButton) PostEvent(RightClickEvent, 0, number_, 0);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) PostEvent(LeftDoubleClickEvent, 0, number_, 0);
    }

  private:
    static SizeState StateOf(Qt::WindowStates states) {
        if (states & Qt::WindowMinimized) return SizeState::Minimized;
        if (states & Qt::WindowMaximized) return SizeState::Maximized;
        return SizeState::Normal;
    }
    void Post(const SizeChange& change) {
        if (change.removeWaitingSizes) RemoveSizeEvents(number_);
        for (const std::int64_t event : change.events)
            PostEvent(event, 0, number_, 0);
    }
    bool Created() const {
        const WindowRecord* record = FindWindow(number_);
        return record && record->created;
    }
    std::int64_t number_;
};

// Tab and Shift+Tab move the focus through the tab stops of the window.
class KeyboardFilter final : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

struct WindowTable {
    std::vector<WindowRecord> windows;
    std::int64_t currentWindow = -1;
    QPointer<KeyboardFilter> keyboard; // goes with the application
};

WindowTable table;

void MoveFocus(QWidget* window, bool forward) {
    std::vector<QWidget*> stops;
    for (QObject* child : window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->isEnabled() && widget->isVisible() &&
            widget->property(kTabStop).toBool())
            stops.push_back(widget);
    }
    QWidget* focus = QApplication::focusWidget();
    while (focus && focus->parentWidget() != window)
        focus = focus->parentWidget();
    const auto at = std::find(stops.begin(), stops.end(), focus);
    const int next =
        NextTabStop(int(stops.size()), at == stops.end() ? -1 : int(at - stops.begin()), forward);
    if (next >= 0)
        stops[std::size_t(next)]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

bool IsArrow(int key) {
    return key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
}

// Escape in a window opened with kWindowEscapeCloses asks to close it.
bool EscapeCloses(QWidget* window) {
    const std::int64_t number = WindowNumberOf(window);
    const WindowRecord* record = FindWindow(number);
    if (!record || !record->escapeCloses) return false;
    PostEvent(CloseWindowEvent, number, number, 0);
    return true;
}

bool KeyboardFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // Arrow keys on a button do nothing: they neither choose an option nor
    // move the focus.
    if (IsArrow(key->key()) && qobject_cast<QAbstractButton*>(watched)) return true;
    const Qt::KeyboardModifiers held =
        key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held) return false;
    if (key->key() == Qt::Key_Escape && !(key->modifiers() & Qt::ShiftModifier))
        return EscapeCloses(static_cast<QWidget*>(watched)->window());
    const bool shift = key->modifiers() & Qt::ShiftModifier;
    bool forward;
    if (key->key() == Qt::Key_Tab && !shift)
        forward = true;
    else if (key->key() == Qt::Key_Backtab || (key->key() == Qt::Key_Tab && shift))
        forward = false;
    else
        return false;
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (WindowNumberOf(window) < 0) return false;
    MoveFocus(window, forward);
    return true;
}

// Waits briefly for the window manager to tell the frame around a newly
// shown window, so that centring can use the outer size.
void WaitForFrame(QWidget* widget) {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal")) return;
    QWindow* handle = widget->windowHandle();
    if (!handle) return;
    QElapsedTimer timer;
    timer.start();
    while (handle->frameMargins().isNull() && timer.elapsed() < 300)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void Centre(QWidget* widget, const WindowStyle& style, QWidget* active) {
    const QMargins frame =
        widget->windowHandle() ? widget->windowHandle()->frameMargins() : QMargins();
    const int outerWidth = widget->width() + frame.left() + frame.right();
    const int outerHeight = widget->height() + frame.top() + frame.bottom();
    Rect placed;
    if (style.centreOnScreen) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        const QRect whole = screen->geometry(); // the whole screen, not the work area
        placed = CentredOnScreen(outerWidth, outerHeight,
                                 {whole.x(), whole.y(), whole.width(), whole.height()});
    } else if (active) {
        const QRect reference = active->frameGeometry();
        placed = CentredOn(outerWidth, outerHeight,
                           {reference.x(), reference.y(), reference.width(), reference.height()});
    } else {
        return;
    }
    widget->move(placed.x, placed.y);
}

void DestroyWindow(std::int64_t number) {
    WindowRecord* record = FindWindow(number);
    if (!record || !record->widget) return;
    record->closing = true;
    QWidget* widget = record->widget;
    delete widget; // the destroyed handlers forget the window and its controls
    if (table.currentWindow == number) table.currentWindow = -1;
}

Qt::WindowFlags QtFlagsOf(const WindowStyle& style) {
    Qt::WindowFlags flags = (style.tool ? Qt::Tool : Qt::Window) | Qt::CustomizeWindowHint;
    if ((style.bits & kWindowTitleBar) == kWindowTitleBar)
        flags |= Qt::WindowTitleHint;
    else if ((style.bits & kWindowTitleBar) == 0)
        flags |= Qt::FramelessWindowHint;
    if (style.bits & kWindowSystemMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style.bits & kWindowMinimizeBox) flags |= Qt::WindowMinimizeButtonHint;
    if (style.bits & kWindowMaximizeBox) flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

QWidget* MakeWindowWidget(std::int64_t window, int width, int height, const Text& title,
                          const WindowStyle& style) {
    auto* widget = new WindowWidget(window);
    widget->setWindowFlags(QtFlagsOf(style));
    widget->setWindowTitle(ToQString(title));
    widget->setFont(DefaultGuiFont());
    widget->setBackgroundRole(QPalette::Button);
    widget->setAutoFillBackground(true);
    AcceptFileDrops(widget, window);
    if (style.bits & kWindowSizingBorder)
        widget->resize(width, height);
    else
        widget->setFixedSize(width, height);
    return widget;
}

// Enters the window into the table; it leaves it when it is destroyed.
void TakeWindowNumber(std::int64_t window, QWidget* widget) {
    if (std::size_t(window) >= table.windows.size()) table.windows.resize(std::size_t(window) + 1);
    WindowRecord& record = table.windows[std::size_t(window)];
    record = WindowRecord();
    record.widget = widget;
    QObject::connect(widget, &QObject::destroyed, [window, widget](QObject*) {
        WindowRecord* gone = FindWindow(window);
        if (gone && gone->widget == widget) *gone = WindowRecord();
        RemoveWindowEvents(window);
    });
}

void ShowWindow(QWidget* widget, const WindowStyle& style) {
    // After the first activation no control has the focus: the window keeps
    // it itself until the user moves it.
    widget->setFocus();
    if (style.showNoActivate) widget->setAttribute(Qt::WA_ShowWithoutActivating);
    if (style.invisible) return;
    if (style.showMaximized)
        widget->showMaximized();
    else if (style.showMinimized)
        widget->showMinimized();
    else
        widget->show();
    WaitForFrame(widget);
}

} // namespace

namespace {

// The controls' texts are laid out for the platform's 8-point dialog font:
// 11 pixels high at 96 dots per inch, a 13-character byte count in 66
// pixels. These free fonts have its metrics; the first one found is used.
constexpr const char* kGuiFontFiles[] = {
    "/usr/share/wine/fonts/ms_sans_serif.ttf",
    "/usr/share/wine/fonts/tahoma.ttf",
};
constexpr int kGuiFontPixels = 11;

// Only the family name is kept: a font object must not outlive the
// application.
QString guiFontFamily;

} // namespace

// On a display whose pixels are scaled (QT_SCALE_FACTOR, a high-resolution
// screen) the text must scale with the positions: a font with only bitmaps
// would keep its 11-pixel glyphs and spread them apart, so only a font with
// outlines is taken there.
bool DisplayScaled() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen && screen->devicePixelRatio() != 1.0;
}

void LoadDefaultGuiFont() {
    if (!guiFontFamily.isEmpty()) return;
    const bool scaled = DisplayScaled();
    for (const char* file : kGuiFontFiles) {
        const int id = QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        if (id < 0) continue;
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (families.isEmpty()) continue;
        if (scaled && !QFontDatabase::isSmoothlyScalable(families.first())) continue;
        guiFontFamily = families.first();
        return;
    }
}

QFont DefaultGuiFont() {
    QFont font = guiFontFamily.isEmpty() ? QFontDatabase::systemFont(QFontDatabase::GeneralFont)
                                         : QFont(guiFontFamily);
    font.setPixelSize(kGuiFontPixels);
    return font;
}

std::int64_t CurrentWindow() {
    return table.currentWindow;
}

WindowRecord* FindWindow(std::int64_t window) {
    auto& windows = table.windows;
    if (window < 0 || std::size_t(window) >= windows.size() || !windows[std::size_t(window)].widget)
        return nullptr;
    return &windows[std::size_t(window)];
}

std::int64_t WindowNumberOf(const QWidget* widget) {
    const auto* window = dynamic_cast<const WindowWidget*>(widget);
    return window && FindWindow(window->Number()) ? window->Number() : -1;
}

void InstallKeyboardFilter() {
    if (!table.keyboard) {
        table.keyboard = new KeyboardFilter;
        table.keyboard->setParent(qApp);
        qApp->installEventFilter(table.keyboard);
    }
}

void RemoveKeyboardFilter() {
    if (!table.keyboard) return;
    qApp->removeEventFilter(table.keyboard);
    delete table.keyboard;
}

void CloseAllWindows() {
    for (std::size_t i = 0; i < table.windows.size(); ++i)
        DestroyWindow(std::int64_t(i));
    table.windows.clear();
    ForgetAllControls();
    table.currentWindow = -1;
    ClearEvents();
}

} // namespace ui

using namespace ui;

Handle OpenWindow(std::int64_t window, int x, int y, int width, int height, const Text& title,
                  std::uint32_t flags) {
    if (window < 0 || window > kMaxNumber || !qApp || width < 0 || height < 0) return 0;
    DestroyWindow(window);
    const WindowStyle style = StyleOf(flags);
    QWidget* active = QApplication::activeWindow();
    QWidget* widget = MakeWindowWidget(window, width, height, title, style);
    widget->move(x, y);
    TakeWindowNumber(window, widget);
    ShowWindow(widget, style);
    if (style.centreOnScreen || style.centreOnActive) Centre(widget, style, active);
    if (!(flags & kWindowNotCurrent)) table.currentWindow = window;
    if (WindowRecord* made = FindWindow(window)) {
        made->created = true;
        made->escapeCloses = style.escapeCloses;
    }
    return reinterpret_cast<Handle>(widget);
}

void CloseWindow(std::int64_t window) {
    DestroyWindow(window);
}

void BringWindowToFront(std::int64_t window) {
    const WindowRecord* record = FindWindow(window);
    if (!record || !record->widget) return;
    QWidget* widget = record->widget;
    if (widget->isMinimized()) widget->showNormal();
    widget->show();
    widget->raise();
    widget->activateWindow();
}

bool WindowOpen(std::int64_t window) {
    return FindWindow(window) != nullptr;
}

} // namespace qk
