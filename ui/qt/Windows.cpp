// Windows and controls addressed by number, on Qt widgets.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace qk {

namespace ui {

namespace {

// Numbers above this one are refused, so that a stray number cannot make
// the tables huge.
constexpr std::int64_t kMaxNumber = 1 << 20;

// The top-level window: turns the window system's notifications into
// window events.
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
        RemoveSizeEvents(number_);
        PostEvent(SizeEvent, 0, number_, 0);
    }
    void changeEvent(QEvent* event) override {
        QWidget::changeEvent(event);
        if (event->type() != QEvent::WindowStateChange || !Created()) return;
        const Qt::WindowStates old = static_cast<QWindowStateChangeEvent*>(event)->oldState();
        if (windowState() & Qt::WindowMinimized) {
            PostEvent(MinimizeEvent, 0, number_, 0);
        } else if (windowState() & Qt::WindowMaximized) {
            PostEvent(MaximizeEvent, 0, number_, 0);
            PostEvent(SizeEvent, 0, number_, 0);
        } else if (old & (Qt::WindowMinimized | Qt::WindowMaximized)) {
            PostEvent(RestoreEvent, 0, number_, 0);
            RemoveSizeEvents(number_);
            PostEvent(SizeEvent, 0, number_, 0);
        }
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) PostEvent(LeftClickEvent, 0, number_, 0);
        if (event->button() == Qt::RightButton) PostEvent(RightClickEvent, 0, number_, 0);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) PostEvent(LeftDoubleClickEvent, 0, number_, 0);
    }

  private:
    bool Created() const {
        const WindowRecord* record = FindWindow(number_);
        return record && record->created;
    }
    std::int64_t number_;
};

// The one-line text field: focus changes and the user's edits are events.
class FieldEdit final : public QLineEdit {
  public:
    FieldEdit(std::int64_t control, std::int64_t window, QWidget* parent)
        : QLineEdit(parent), control_(control), window_(window) {
        connect(this, &QLineEdit::textEdited, this, [this] {
            Post(kTextUpdating);
            Post(kSelectionOrTextChanged);
        });
    }
    ~FieldEdit() override { control_ = -1; }

  protected:
    void focusInEvent(QFocusEvent* event) override {
        if (event->reason() != Qt::PopupFocusReason) {
            Post(kFieldFocusGained);
            Post(kFocusGained);
        }
        QLineEdit::focusInEvent(event);
    }
    void focusOutEvent(QFocusEvent* event) override {
        if (event->reason() != Qt::PopupFocusReason) {
            Post(kFieldFocusLost);
            Post(kFocusLost);
        }
        QLineEdit::focusOutEvent(event);
    }

  private:
    void Post(std::int64_t type) {
        if (control_ >= 0) PostEvent(ControlEvent, control_, window_, type);
    }
    std::int64_t control_;
    std::int64_t window_;
};

// Marks the controls that Tab stops at. Qt's own focus policy cannot tell:
// it takes the tab focus from the unchosen buttons of an option group.
constexpr const char* kTabStop = "quellkampTabStop";

// Tab and Shift+Tab move the focus through the tab stops of the window.
class KeyboardFilter final : public QObject {
  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

struct Tables {
    std::vector<WindowRecord> windows;
    std::vector<ControlRecord> controls; // the ControlRegistry
    std::int64_t currentWindow = -1;
    QPointer<KeyboardFilter> keyboard; // goes with the application
};

Tables allTables;

Tables& T() {
    return allTables;
}

template <typename Record> Record& Slot(std::vector<Record>& table, std::int64_t number) {
    if (std::size_t(number) >= table.size()) table.resize(std::size_t(number) + 1);
    return table[std::size_t(number)];
}

QFont DefaultGuiFont() {
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont);
}

void MoveFocus(QWidget* window, bool forward) {
    std::vector<QWidget*> stops;
    for (QObject* child : window->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget && !widget->isWindow() && widget->isEnabled() && widget->isVisible() &&
            widget->property(kTabStop).toBool())
            stops.push_back(widget);
    }
    if (stops.empty()) return;
    QWidget* focus = QApplication::focusWidget();
    while (focus && focus->parentWidget() != window)
        focus = focus->parentWidget();
    const auto at = std::find(stops.begin(), stops.end(), focus);
    QWidget* next = nullptr;
    if (at == stops.end())
        next = forward ? stops.front() : stops.back();
    else if (forward)
        next = at + 1 == stops.end() ? stops.front() : *(at + 1);
    else
        next = at == stops.begin() ? stops.back() : *(at - 1);
    next->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

bool KeyboardFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers held =
        key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (held) return false;
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

void Centre(QWidget* widget, std::uint32_t flags, QWidget* active) {
    const QMargins frame =
        widget->windowHandle() ? widget->windowHandle()->frameMargins() : QMargins();
    const int outerWidth = widget->width() + frame.left() + frame.right();
    const int outerHeight = widget->height() + frame.top() + frame.bottom();
    if (flags & kWindowCentreOnScreen) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        if (!screen) return;
        const QRect whole = screen->geometry(); // the whole screen, not the work area
        const int usedWidth = std::min(outerWidth, whole.width());
        const int usedHeight = std::min(outerHeight, whole.height());
        widget->move(whole.x() + (whole.width() - usedWidth) / 2,
                     whole.y() + (whole.height() - usedHeight) / 2);
    } else if (active) {
        const QRect reference = active->frameGeometry();
        widget->move(std::max(0, reference.x() + (reference.width() - outerWidth) / 2),
                     std::max(0, reference.y() + (reference.height() - outerHeight) / 2));
    }
}

void DestroyWindow(std::int64_t number) {
    WindowRecord* record = FindWindow(number);
    if (!record || !record->widget) return;
    record->closing = true;
    QWidget* widget = record->widget;
    delete widget; // the destroyed handlers forget the window and its controls
    if (T().currentWindow == number) T().currentWindow = -1;
}

void DestroyControl(std::int64_t number) {
    ControlRecord* record = FindControl(number);
    if (!record || !record->widget) return;
    if (record->list) record->list->Detach();
    delete record->widget;
}

// The common tail of every control creation: place the control, give it the
// default GUI font and take the number (replacing the control that had it).
Handle Register(std::int64_t number, ControlKind kind, QWidget* widget, int x, int y, int width,
                int height) {
    WindowRecord& window = T().windows[std::size_t(T().currentWindow)];
    widget->setGeometry(x, y, width, height);
    widget->setFont(DefaultGuiFont());
    DestroyControl(number);
    ControlRecord& record = Slot(T().controls, number);
    record.widget = widget;
    record.kind = kind;
    record.window = T().currentWindow;
    record.list = kind == ControlKind::List ? static_cast<ListView*>(widget) : nullptr;
    const std::int64_t windowNumber = T().currentWindow;
    QObject::connect(widget, &QObject::destroyed, [number, widget, windowNumber](QObject*) {
        ControlRecord* gone = FindControl(number);
        if (gone && gone->widget == widget) *gone = ControlRecord();
        RemoveControlEvents(number, windowNumber);
    });
    window.optionRun = false;
    widget->setProperty(kTabStop, kind != ControlKind::TextLabel);
    widget->show();
    return reinterpret_cast<Handle>(widget);
}

// The window new controls go into, null when there is none or the number
// cannot be used.
QWidget* ControlParent(std::int64_t number) {
    if (number < 0 || number > kMaxNumber) return nullptr;
    WindowRecord* window = FindWindow(T().currentWindow);
    return window ? window->widget : nullptr;
}

ListModel* ModelOf(std::int64_t control) {
    ListView* list = ListOf(control);
    return list ? list->Model() : nullptr;
}

} // namespace

ControlRecord* FindControl(std::int64_t control) {
    auto& table = T().controls;
    if (control < 0 || std::size_t(control) >= table.size() || !table[std::size_t(control)].widget)
        return nullptr;
    return &table[std::size_t(control)];
}

WindowRecord* FindWindow(std::int64_t window) {
    auto& table = T().windows;
    if (window < 0 || std::size_t(window) >= table.size() || !table[std::size_t(window)].widget)
        return nullptr;
    return &table[std::size_t(window)];
}

std::int64_t WindowNumberOf(const QWidget* widget) {
    const auto* window = dynamic_cast<const WindowWidget*>(widget);
    return window && FindWindow(window->Number()) ? window->Number() : -1;
}

ListView* ListOf(std::int64_t control) {
    ControlRecord* record = FindControl(control);
    return record ? record->list : nullptr;
}

std::size_t ListStorageBytes(std::int64_t control) {
    ListModel* model = ModelOf(control);
    return model ? model->StorageBytes() : 0;
}

void FlushLists() {
    for (ControlRecord& record : T().controls)
        if (record.list) record.list->Model()->Flush();
}

void InstallEventSupport() {
    Tables& tables = T();
    if (!tables.keyboard) {
        tables.keyboard = new KeyboardFilter;
        tables.keyboard->setParent(qApp);
        qApp->installEventFilter(tables.keyboard);
    }
}

void CloseAllWindows() {
    Tables& tables = T();
    for (std::size_t i = 0; i < tables.windows.size(); ++i)
        DestroyWindow(std::int64_t(i));
    tables.windows.clear();
    tables.controls.clear();
    tables.currentWindow = -1;
    ClearEvents();
}

} // namespace ui

using namespace ui;

Handle OpenWindow(std::int64_t window, int x, int y, int width, int height, const Text& title,
                  std::uint32_t flags) {
    if (window < 0 || window > kMaxNumber || !qApp || width < 0 || height < 0) return 0;
    DestroyWindow(window);

    std::uint32_t style = flags & ~kWindowNotCurrent;
    if ((style & ~(kWindowCentreOnScreen | kWindowCentreOnActive | kWindowInvisible)) == 0)
        style |= kWindowTitleBar;
    const bool invisible = style & kWindowInvisible;
    style &= ~kWindowInvisible;
    const bool tool = style & kWindowToolWindow;
    if (tool) {
        style &= ~(kWindowMinimizeBox | kWindowMaximizeBox | kWindowShowMaximized |
                   kWindowShowMinimized);
        style |= kWindowTitleBar;
    }

    Qt::WindowFlags windowFlags = (tool ? Qt::Tool : Qt::Window) | Qt::CustomizeWindowHint;
    if ((style & kWindowTitleBar) == kWindowTitleBar)
        windowFlags |= Qt::WindowTitleHint;
    else if ((style & kWindowTitleBar) == 0)
        windowFlags |= Qt::FramelessWindowHint;
    if (style & kWindowSystemMenu)
        windowFlags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (style & kWindowMinimizeBox) windowFlags |= Qt::WindowMinimizeButtonHint;
    if (style & kWindowMaximizeBox) windowFlags |= Qt::WindowMaximizeButtonHint;

    QWidget* active = QApplication::activeWindow();
    auto* widget = new WindowWidget(window);
    widget->setWindowFlags(windowFlags);
    widget->setWindowTitle(ToQString(title));
    widget->setFont(DefaultGuiFont());
    widget->setBackgroundRole(QPalette::Button);
    widget->setAutoFillBackground(true);
    if (style & kWindowSizingBorder)
        widget->resize(width, height);
    else
        widget->setFixedSize(width, height);
    widget->move(x, y);

    WindowRecord& record = Slot(T().windows, window);
    record = WindowRecord();
    record.widget = widget;
    QObject::connect(widget, &QObject::destroyed, [window, widget](QObject*) {
        WindowRecord* gone = FindWindow(window);
        if (gone && gone->widget == widget) *gone = WindowRecord();
        RemoveWindowEvents(window);
    });

    // After the first activation no control has the focus: the window keeps
    // it itself until the user moves it.
    widget->setFocus();
    if (style & kWindowShowNoActivate) widget->setAttribute(Qt::WA_ShowWithoutActivating);
    if (!invisible) {
        if (style & kWindowShowMaximized)
            widget->showMaximized();
        else if (style & kWindowShowMinimized)
            widget->showMinimized();
        else
            widget->show();
        WaitForFrame(widget);
    }
    if (style & (kWindowCentreOnScreen | kWindowCentreOnActive)) Centre(widget, style, active);

    if (!(flags & kWindowNotCurrent)) T().currentWindow = window;
    if (WindowRecord* made = FindWindow(window)) made->created = true;
    return reinterpret_cast<Handle>(widget);
}

Handle CreateListView(std::int64_t control, int x, int y, int width, int height,
                      const Text& firstHeading, int firstWidth, std::uint32_t flags) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    auto* list = new ListView(control, T().currentWindow, flags, parent);
    const Handle handle = Register(control, ControlKind::List, list, x, y, width, height);
    list->Model()->InsertColumn(0, firstHeading);
    list->horizontalHeader()->resizeSection(0, std::max(0, firstWidth));
    return handle;
}

void AddColumn(std::int64_t control, int index, const Text& heading, int width) {
    ListView* list = ListOf(control);
    if (!list) return;
    const int column = list->Model()->InsertColumn(index, heading);
    if (column >= 0) list->horizontalHeader()->resizeSection(column, std::max(0, width));
}

void AddRow(std::int64_t control, std::int64_t position, const Text& text) {
    ListModel* model = ModelOf(control);
    if (!model) return;
    SuppressEvents quiet;
    model->AddRow(position, text);
}

void SetCellText(std::int64_t control, std::int64_t row, const Text& text, int column) {
    ListModel* model = ModelOf(control);
    if (!model) return;
    SuppressEvents quiet;
    if (row == -1)
        model->SetHeading(column, text);
    else
        model->SetCells(row, column, text);
}

Text GetCellText(std::int64_t control, std::int64_t row, int column) {
    ListModel* model = ModelOf(control);
    if (!model) return {};
    return row == -1 ? model->Heading(column) : model->Cell(row, column);
}

std::int64_t SelectedRow(std::int64_t control) {
    ListView* list = ListOf(control);
    return list ? list->SelectedRow() : -1;
}

void ClearRows(std::int64_t control) {
    ListModel* model = ModelOf(control);
    if (model) model->Clear();
}

std::int64_t RowCount(std::int64_t control) {
    ListModel* model = ModelOf(control);
    return model ? model->Rows() : 0;
}

Handle CreateOptionButton(std::int64_t control, int x, int y, int width, int height,
                          const Text& text) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    WindowRecord& window = T().windows[std::size_t(T().currentWindow)];
    // The first option button after any other control starts a new group.
    const bool joins = window.optionRun && window.group;
    auto* button = new QRadioButton(ToQString(text), parent);
    button->setFocusPolicy(Qt::StrongFocus);
    const std::int64_t windowNumber = T().currentWindow;
    QObject::connect(button, &QAbstractButton::clicked, button, [control, windowNumber] {
        PostEvent(ControlEvent, control, windowNumber, kLeftClick);
    });
    const Handle handle = Register(control, ControlKind::OptionButton, button, x, y, width, height);
    if (!joins) {
        window.group = new QButtonGroup(parent);
        window.group->setExclusive(true);
    }
    window.group->addButton(button);
    window.optionRun = true;
    return handle;
}

Handle CreatePushButton(std::int64_t control, int x, int y, int width, int height, const Text& text,
                        std::uint32_t /*flags*/) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    auto* button = new QPushButton(ToQString(text), parent);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setFocusPolicy(Qt::StrongFocus);
    const std::int64_t windowNumber = T().currentWindow;
    QObject::connect(button, &QAbstractButton::clicked, button, [control, windowNumber] {
        PostEvent(ControlEvent, control, windowNumber, kLeftClick);
    });
    return Register(control, ControlKind::PushButton, button, x, y, width, height);
}

Handle CreateTextLabel(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText); // "&" is shown as it stands
    label->setText(ToQString(text));
    label->setWordWrap(true);
    label->setFocusPolicy(Qt::NoFocus);
    Qt::Alignment horizontal = Qt::AlignLeft;
    if ((flags & 3) == kLabelCentre) horizontal = Qt::AlignHCenter;
    if ((flags & 3) == kLabelRight) horizontal = Qt::AlignRight;
    label->setAlignment(horizontal | Qt::AlignTop);
    if (flags & kSunkenBorder) label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    return Register(control, ControlKind::TextLabel, label, x, y, width, height);
}

Handle CreateTextField(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    auto* field = new FieldEdit(control, T().currentWindow, parent);
    field->setText(ToQString(text));
    field->setCursorPosition(0);
    field->setFrame(!(flags & kSunkenBorder));
    field->setFocusPolicy(Qt::StrongFocus);
    return Register(control, ControlKind::TextField, field, x, y, width, height);
}

void SetControlText(std::int64_t control, const Text& text) {
    ControlRecord* record = FindControl(control);
    if (!record) return;
    SuppressEvents quiet;
    switch (record->kind) {
    case ControlKind::TextLabel:
        static_cast<QLabel*>(record->widget)->setText(ToQString(text));
        break;
    case ControlKind::OptionButton:
    case ControlKind::PushButton:
        static_cast<QAbstractButton*>(record->widget)->setText(ToQString(text));
        break;
    case ControlKind::TextField:
        static_cast<QLineEdit*>(record->widget)->setText(ToQString(text));
        break;
    case ControlKind::List:
    case ControlKind::None:
        break;
    }
}

Text GetControlText(std::int64_t control) {
    ControlRecord* record = FindControl(control);
    if (!record) return {};
    switch (record->kind) {
    case ControlKind::TextLabel:
        return FromQString(static_cast<QLabel*>(record->widget)->text());
    case ControlKind::OptionButton:
    case ControlKind::PushButton:
        return FromQString(static_cast<QAbstractButton*>(record->widget)->text());
    case ControlKind::TextField:
        return FromQString(static_cast<QLineEdit*>(record->widget)->text());
    case ControlKind::List: {
        const std::int64_t row = record->list->SelectedRow();
        return row < 0 ? Text() : record->list->Model()->Cell(row, 0);
    }
    case ControlKind::None:
        break;
    }
    return {};
}

} // namespace qk
