// Controls addressed by number, on Qt widgets: the ControlRegistry, the five
// kinds of control and the operations on them.
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/ListRules.h"
#include "ui/common/WindowRules.h"
#include "ui/qt/ListModel.h"
#include "ui/qt/UiInternal.h"

#include <QButtonGroup>
#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <algorithm>
#include <vector>

namespace qk {

namespace ui {

namespace {

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
        // The field keeps its caret and selection when Tab brings the focus:
        // typing after Tab inserts rather than replaces.
        const Qt::FocusReason reason = event->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            QFocusEvent kept(QEvent::FocusIn, Qt::OtherFocusReason);
            QLineEdit::focusInEvent(&kept);
            return;
        }
        QLineEdit::focusInEvent(event);
    }
    // A one-line field takes Up as Left and Down as Right.
    void keyPressEvent(QKeyEvent* event) override {
        const int key = event->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            QKeyEvent moved(event->type(), key == Qt::Key_Up ? Qt::Key_Left : Qt::Key_Right,
                            event->modifiers(), event->text(), event->isAutoRepeat());
            QLineEdit::keyPressEvent(&moved);
            event->setAccepted(moved.isAccepted());
            return;
        }
        QLineEdit::keyPressEvent(event);
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

std::vector<ControlRecord> controls; // the ControlRegistry

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
    const std::int64_t windowNumber = CurrentWindow();
    WindowRecord* window = FindWindow(windowNumber);
    widget->setGeometry(x, y, width, height);
    widget->setFont(DefaultGuiFont());
    DestroyControl(number);
    if (std::size_t(number) >= controls.size()) controls.resize(std::size_t(number) + 1);
    ControlRecord& record = controls[std::size_t(number)];
    record.widget = widget;
    record.kind = kind;
    record.window = windowNumber;
    record.list = kind == ControlKind::List ? static_cast<ListView*>(widget) : nullptr;
    record.placedX = x;
    record.placedWidth = width;
    QObject::connect(widget, &QObject::destroyed, [number, widget, windowNumber](QObject*) {
        ControlRecord* gone = FindControl(number);
        if (gone && gone->widget == widget) *gone = ControlRecord();
        RemoveControlEvents(number, windowNumber);
    });
    if (window) window->optionRun = false;
    widget->setProperty(kTabStop, kind != ControlKind::TextLabel);
    widget->show();
    return reinterpret_cast<Handle>(widget);
}

// The window new controls go into, null when there is none or the number
// cannot be used.
QWidget* ControlParent(std::int64_t number) {
    if (number < 0 || number > kMaxNumber) return nullptr;
    WindowRecord* window = FindWindow(CurrentWindow());
    return window ? window->widget : nullptr;
}

ListModel* ModelOf(std::int64_t control) {
    ListView* list = ListOf(control);
    return list ? list->Model() : nullptr;
}

// A text label shows its whole text (the growing label's rule).
void FitLabel(const ControlRecord& record) {
    auto* label = static_cast<QLabel*>(record.widget);
    int needed = 0;
    for (const QString& line : label->text().split(QLatin1Char('\n')))
        needed = std::max(needed, label->fontMetrics().horizontalAdvance(line));
    needed += label->contentsMargins().left() + label->contentsMargins().right();
    const LabelSpan span = GrownLabel(record.placedX, record.placedWidth, needed);
    label->setGeometry(span.x, label->y(), span.width, label->height());
}

} // namespace

ControlRecord* FindControl(std::int64_t control) {
    if (control < 0 || std::size_t(control) >= controls.size() ||
        !controls[std::size_t(control)].widget)
        return nullptr;
    return &controls[std::size_t(control)];
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
    for (ControlRecord& record : controls)
        if (record.list) record.list->Model()->Flush();
}

void ForgetAllControls() {
    controls.clear();
}

} // namespace ui

using namespace ui;

Handle CreateListView(std::int64_t control, int x, int y, int width, int height,
                      const Text& firstHeading, int firstWidth, std::uint32_t flags) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    auto* list = new ListView(control, CurrentWindow(), flags, parent);
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

void ShowRows(std::int64_t control, const RowSource* source, std::vector<std::uint32_t> rows) {
    ListModel* model = ModelOf(control);
    if (!model) return;
    SuppressEvents quiet;
    model->ShowRows(source, std::move(rows));
}

std::int64_t RowCount(std::int64_t control) {
    ListModel* model = ModelOf(control);
    return model ? model->Rows() : 0;
}

void SelectRow(std::int64_t control, std::int64_t row) {
    ListView* list = ListOf(control);
    if (!list) return;
    SuppressEvents quiet;
    ListModel* model = list->Model();
    model->Flush(); // the view knows every row
    const std::int64_t target = RowToSelect(row, model->Rows());
    QItemSelectionModel* selection = list->selectionModel();
    if (target < 0) {
        selection->clearSelection();
        return;
    }
    const QModelIndex index = model->index(int(target), 0);
    selection->setCurrentIndex(index,
                               QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    list->scrollTo(index);
}

std::int64_t TopRow(std::int64_t control) {
    ListView* list = ListOf(control);
    if (!list) return 0;
    list->Model()->Flush();
    const int top = list->rowAt(0);
    return top < 0 ? 0 : top;
}

void ScrollToRow(std::int64_t control, std::int64_t row) {
    ListView* list = ListOf(control);
    if (!list) return;
    SuppressEvents quiet;
    list->Model()->Flush();
    list->doItemsLayout(); // the scroll bar learns the rows now, not at the next paint
    const std::int64_t perPage = list->viewport()->height() / std::max(1, list->RowHeight());
    // The list scrolls by whole rows, so the scroll bar counts rows.
    list->verticalScrollBar()->setValue(int(TopRowFor(row, list->Model()->Rows(), perPage)));
}

Handle CreateOptionButton(std::int64_t control, int x, int y, int width, int height,
                          const Text& text) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    WindowRecord& window = *FindWindow(CurrentWindow());
    // The first option button after any other control starts a new group.
    const bool joins = window.optionRun && window.group;
    auto* button = new QRadioButton(ToQString(text), parent);
    button->setFocusPolicy(Qt::StrongFocus);
    const std::int64_t windowNumber = CurrentWindow();
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
    const std::int64_t windowNumber = CurrentWindow();
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
    const Handle handle = Register(control, ControlKind::TextLabel, label, x, y, width, height);
    FitLabel(*FindControl(control));
    return handle;
}

Handle CreateTextField(std::int64_t control, int x, int y, int width, int height, const Text& text,
                       std::uint32_t flags) {
    QWidget* parent = ControlParent(control);
    if (!parent) return 0;
    auto* field = new FieldEdit(control, CurrentWindow(), parent);
    field->setText(ToQString(text));
    field->setCursorPosition(0);
    field->setFrame(!(flags & kSunkenBorder));
    field->setFocusPolicy(Qt::StrongFocus);
    return Register(control, ControlKind::TextField, field, x, y, width, height);
}

void UnchooseOption(std::int64_t control) {
    ControlRecord* record = FindControl(control);
    if (!record || record->kind != ControlKind::OptionButton) return;
    SuppressEvents quiet;
    auto* button = static_cast<QAbstractButton*>(record->widget);
    // An exclusive group keeps one button chosen: it lets go for the moment.
    QButtonGroup* group = button->group();
    if (group) group->setExclusive(false);
    button->setChecked(false);
    if (group) group->setExclusive(true);
}

void SetControlText(std::int64_t control, const Text& text) {
    ControlRecord* record = FindControl(control);
    if (!record) return;
    SuppressEvents quiet;
    switch (record->kind) {
    case ControlKind::TextLabel:
        static_cast<QLabel*>(record->widget)->setText(ToQString(text));
        FitLabel(*record);
        break;
    case ControlKind::OptionButton:
    case ControlKind::PushButton:
        static_cast<QAbstractButton*>(record->widget)->setText(ToQString(text));
        break;
    case ControlKind::TextField: {
        auto* field = static_cast<QLineEdit*>(record->widget);
        field->setText(ToQString(text));
        // A field with the focus, or the one its window gives the focus
        // back to, has its new text selected, so that typing replaces it.
        if (field->hasFocus() || field->window()->focusWidget() == field) field->selectAll();
        break;
    }
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
