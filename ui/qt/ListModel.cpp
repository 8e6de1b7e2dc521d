#include "ui/qt/ListModel.h"

#include "text/Scan.h"
#include "ui/Controls.h"
#include "ui/Events.h"
#include "ui/common/ListRules.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QFocusEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyleOptionFocusRect>
#include <QStyledItemDelegate>

#include <climits>
#include <cstring>
#include <new>
#include <system_error>

namespace qk::ui {

// ---------------------------------------------------------------- model

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shown_.count);
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(headings_.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Rows() || index.column() >= rows_.Columns()) return {};
    if (role == Qt::DisplayRole) {
        const ShownCell shown = rows_.ShownCellAt(index.row(), index.column());
        QString text(reinterpret_cast<const QChar*>(shown.head.data()),
                     qsizetype(shown.head.size()));
        if (shown.cut) text += QChar(kCellEllipsis);
        return text;
    }
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= Columns()) return {};
    if (role == Qt::DisplayRole) return ToQString(headings_[std::size_t(section)]);
    if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

int ListModel::InsertColumn(int index, const Text& heading) {
    Flush();
    const int columns = Columns();
    if (index < 0 || index > columns) index = columns;
    // Every stored row gets the new cell before the view is told.
    if (!rows_.InsertColumn(index)) return -1;
    ForgetLostRows();
    beginInsertColumns(QModelIndex(), index, index);
    headings_.insert(headings_.begin() + index, heading);
    endInsertColumns();
    return index;
}

void ListModel::SetHeading(int column, const Text& heading) {
    if (column < 0 || column >= Columns()) return;
    headings_[std::size_t(column)] = heading;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

Text ListModel::Heading(int column) const {
    if (column < 0 || column >= Columns()) return {};
    return headings_[std::size_t(column)];
}

bool ListModel::AddRow(std::int64_t position, const Text& text) {
    const std::int64_t before = Rows();
    if (position < 0 || position >= before) {
        // Appended rows wait for the next flush, so that filling a list
        // costs one announcement however many rows it gets.
        if (!rows_.AddRow(-1, text)) return false;
        ForgetLostRows();
        ScheduleFlush();
        return true;
    }
    Flush();
    if (!rows_.AddRow(position, text)) return false;
    ForgetLostRows();
    beginInsertRows(QModelIndex(), int(position), int(position));
    shown_.count = Rows();
    endInsertRows();
    return true;
}

void ListModel::SetCells(std::int64_t row, int column, const Text& text) {
    if (row < 0 || row >= Rows()) return;
    rows_.SetCells(row, column, text);
    ForgetLostRows();
    shown_.Changed(row);
    if (shown_.changedFirst >= 0) ScheduleFlush();
}

void ListModel::ForgetLostRows() {
    if (Rows() >= shown_.count) return;
    beginResetModel();
    shown_.Forget();
    shown_.count = Rows();
    endResetModel();
}

void ListModel::ShowRows(const RowSource* source, std::vector<std::uint32_t> rows) {
    beginResetModel();
    rows_.ShowSource(source, std::move(rows));
    shown_.Forget();
    shown_.count = Rows();
    endResetModel();
}

void ListModel::Clear() {
    beginResetModel();
    rows_.Clear();
    shown_.Forget();
    endResetModel();
}

void ListModel::ScheduleFlush() {
    if (flushScheduled_) return;
    flushScheduled_ = true;
    QMetaObject::invokeMethod(
        this, [this] { Flush(); }, Qt::QueuedConnection);
}

void ListModel::Flush() {
    flushScheduled_ = false;
    if (Rows() > shown_.count) {
        beginInsertRows(QModelIndex(), int(shown_.count), int(Rows() - 1));
        shown_.count = Rows();
        endInsertRows();
    }
    if (shown_.changedFirst >= 0) {
        const std::int64_t first = shown_.changedFirst, last = shown_.changedLast;
        shown_.changedFirst = shown_.changedLast = -1;
        emit dataChanged(index(int(first), 0), index(int(last), Columns() - 1));
    }
}

// ---------------------------------------------------------------- view

namespace {

// Draws a cell without its own focus frame, and without the selection
// colour while the list lacks the keyboard focus.
class RowDelegate final : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell(option);
        cell.state &= ~QStyle::State_HasFocus;
        const auto* view = qobject_cast<const QWidget*>(parent());
        if (view && !view->hasFocus()) cell.state &= ~QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, cell, index);
    }
};

} // namespace

ListView::ListView(std::int64_t control, std::int64_t window, std::uint32_t flags, QWidget* parent)
    : QTableView(parent), model_(new ListModel), control_(control), window_(window) {
    model_->setParent(this);
    keyClock_.start();
    setModel(model_);
    setItemDelegate(new RowDelegate(this));
    gridLines_ = (flags & kListGridLines) != 0;
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode((flags & kListMultiSelect) ? QAbstractItemView::ExtendedSelection
                                                : QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setFocusPolicy(Qt::StrongFocus);
    setDragEnabled(false);

    rowHeight_ = fontMetrics().height() + 4;
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setMinimumSectionSize(1);
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(rowHeight_);

    QHeaderView* header = horizontalHeader();
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    header->setSectionsMovable((flags & kListHeaderDragDrop) != 0);
    header->setMinimumSectionSize(0);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionsClickable(true);
    // A click on a heading is told; the rows stay in their order.
    connect(header, &QHeaderView::sectionClicked, this, [this](int section) {
        if (section >= 0 && section < kMostHeadingColumns) Post(kHeadingClicked + section);
    });
    ShowSelection(false);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                const bool now = !selected.isEmpty();
                if (SelectionChangeNotification(lastSelected_, now ? selected.first().top() : -1,
                                                now, !deselected.isEmpty(), false))
                    Post(kSelectionOrTextChanged);
            });
}

ListView::~ListView() {
    control_ = -1;
}

std::int64_t ListView::SelectedRow() const {
    const QItemSelection selection = selectionModel()->selection();
    std::int64_t first = -1;
    for (const QItemSelectionRange& range : selection)
        if (first < 0 || range.top() < first) first = range.top();
    return first;
}

void ListView::Post(std::int64_t type) {
    if (control_ >= 0) PostEvent(ControlEvent, control_, window_, type);
}

void ListView::ClickNotification(std::int64_t type) {
    const ClickEvents events = ui::ClickNotification(lastSelected_, SelectedRow(), type);
    if (events.selectionLost) Post(kSelectionOrTextChanged);
    if (events.click) Post(type);
}

void ListView::mousePressEvent(QMouseEvent* event) {
    pressedAt_ = event->position().toPoint();
    pressedOnRow_ = indexAt(pressedAt_).isValid();
    dragging_ = false;
    QTableView::mousePressEvent(event);
    // A press on the empty part of the list clears the selection.
    if (!indexAt(event->position().toPoint()).isValid() && selectionModel()->hasSelection())
        selectionModel()->clearSelection();
}

void ListView::mouseReleaseEvent(QMouseEvent* event) {
    QTableView::mouseReleaseEvent(event);
    const Qt::MouseButton button = event->button();
    if (button != Qt::LeftButton && button != Qt::RightButton) return;
    if (skipRelease_) {
        skipRelease_ = false;
        return;
    }
    ClickNotification(button == Qt::LeftButton ? kLeftClick : kRightClick);
}

// Dragging a row with the left button does not sweep the selection along:
// it reports the start of a drag once, and the release ends it silently.
void ListView::mouseMoveEvent(QMouseEvent* event) {
    if (!(event->buttons() & Qt::LeftButton)) {
        QTableView::mouseMoveEvent(event);
        return;
    }
    if (!dragging_ && pressedOnRow_ &&
        (event->position().toPoint() - pressedAt_).manhattanLength() >=
            QApplication::startDragDistance()) {
        dragging_ = true;
        skipRelease_ = true;
        Post(kBeginDrag);
    }
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    // The release after a left double click reports the click once more, as
    // the platform's list does when that release reaches it.
    if (event->button() == Qt::LeftButton) {
        Post(kLeftDoubleClick);
    } else if (event->button() == Qt::RightButton) {
        Post(kRightDoubleClick);
        skipRelease_ = true;
    }
}

// The selection is highlighted only while the list has the focus.
void ListView::focusInEvent(QFocusEvent* event) {
    QTableView::focusInEvent(event);
    ShowSelection(true);
}

void ListView::focusOutEvent(QFocusEvent* event) {
    QTableView::focusOutEvent(event);
    ShowSelection(false);
}

void ListView::ShowSelection(bool shown) {
    QPalette colours = palette();
    const QPalette standard = QApplication::palette(this);
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        colours.setColor(group, QPalette::Highlight,
                         standard.color(group, shown ? QPalette::Highlight : QPalette::Base));
        colours.setColor(group, QPalette::HighlightedText,
                         standard.color(group, shown ? QPalette::HighlightedText : QPalette::Text));
    }
    setPalette(colours);
    viewport()->update();
}

// The platform list's keys: Home and End select the first and the last row,
// Left and Right scroll sideways, and the first arrow key in a list without
// a selected row selects the row with the focus frame.
QModelIndex ListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
    const int rows = model_->rowCount();
    const QModelIndex current = currentIndex();
    switch (action) {
    case MoveHome:
        return rows > 0 ? model_->index(0, 0) : QModelIndex();
    case MoveEnd:
        return rows > 0 ? model_->index(rows - 1, 0) : QModelIndex();
    case MoveLeft:
    case MoveRight: {
        QScrollBar* bar = horizontalScrollBar();
        bar->setValue(bar->value() + (action == MoveLeft ? -1 : 1) * bar->singleStep());
        return current;
    }
    case MoveUp:
    case MoveDown:
    case MoveNext:
    case MovePrevious:
        if (SelectedRow() < 0 && current.isValid()) {
            // The focus row itself: the view would see no move.
            selectionModel()->select(current, QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
            return current;
        }
        break;
    default:
        break;
    }
    return QTableView::moveCursor(action, modifiers);
}

// Type-ahead matches the first column, whichever column was clicked last.
void ListView::keyboardSearch(const QString& search) {
    if (search.isEmpty() || model_->Rows() == 0) return;
    const std::u16string_view key(reinterpret_cast<const char16_t*>(search.utf16()),
                                  std::size_t(search.size()));
    const TypeAheadSearch wanted =
        AddTypedKey(typed_, key, keyClock_.elapsed(), QApplication::keyboardInputInterval());
    const QModelIndex current = currentIndex();
    std::int64_t start = current.isValid() ? current.row() : 0;
    if (wanted.afterCurrent && current.isValid()) ++start;
    const std::int64_t row = typeAhead_.Find(model_->Stored(), start, wanted.prefix);
    if (row < 0) return;
    const QModelIndex found = model_->index(int(row), 0);
    selectionModel()->setCurrentIndex(found, QItemSelectionModel::ClearAndSelect |
                                                 QItemSelectionModel::Rows);
    scrollTo(found);
}

void ListView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    QPainter painter(viewport());
    if (gridLines_ && isEnabled()) DrawGridLines(painter);
    if (hasFocus()) DrawFocusRow(painter);
}

// Horizontal lines at the bottom of every row, continuing at the row pitch
// below the last row; vertical lines at the right edge of every column.
void ListView::DrawGridLines(QPainter& painter) {
    painter.setPen(QPen(palette().color(QPalette::Button), 1));
    const int width = viewport()->width();
    const int height = viewport()->height();
    // The rows scroll by whole rows, but the last page may start part of a
    // row early: the lines follow the rows, not the top of the viewport.
    const int first = model_->rowCount() > 0 ? rowAt(0) : -1;
    const int rowTop = first >= 0 ? rowViewportPosition(first) : 0;
    for (int y = rowTop + rowHeight_ - 1; y < height; y += rowHeight_)
        if (y >= 0) painter.drawLine(0, y, width - 1, y);
    if (model_->rowCount() == 0) return;
    const QHeaderView* header = horizontalHeader();
    for (int c = 0; c < model_->columnCount(); ++c) {
        if (header->isSectionHidden(c)) continue;
        const int x = header->sectionViewportPosition(c) + header->sectionSize(c) - 1;
        if (x >= 0 && x < width) painter.drawLine(x, 0, x, height - 1);
    }
}

// The focus frame of the platform list around the row with the keyboard
// focus, selected or not, across the whole row.
void ListView::DrawFocusRow(QPainter& painter) {
    const QModelIndex current = currentIndex();
    if (!current.isValid()) return;
    const int top = rowViewportPosition(current.row());
    if (top + rowHeight_ <= 0) return;
    const QHeaderView* header = horizontalHeader();
    const int last = model_->columnCount() - 1;
    const int left = header->sectionViewportPosition(0);
    const int right = header->sectionViewportPosition(last) + header->sectionSize(last);
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.rect = QRect(left, top, right - left, rowHeight_ - (gridLines_ ? 1 : 0));
    frame.backgroundColor = palette().color(QPalette::Base);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &frame, &painter, this);
}

} // namespace qk::ui
