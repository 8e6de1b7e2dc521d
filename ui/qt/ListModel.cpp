#include "ui/qt/ListModel.h"

#include "text/Scan.h"
#include "ui/Controls.h"
#include "ui/Events.h"
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

namespace {

// Rows beyond this count cannot be told to the view, which counts in int.
constexpr std::int64_t kMaxRows = INT_MAX - 1;

// Whether the units hold a line feed.
bool HasLineFeed(std::u16string_view units) {
    return FindUnit(units, 0, u'\n') != std::u16string_view::npos;
}

} // namespace

// ---------------------------------------------------------------- model

int ListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(shownRows_);
}

int ListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(headings_.size());
}

QVariant ListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= Rows() || index.column() >= stride_) return {};
    if (role == Qt::DisplayRole) {
        if (!source_) return ToQString(*CellSlot(index.row(), index.column()));
        const std::u16string_view units = SourceCell(index.row(), index.column());
        return QString(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
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
    StoreSourceRows();
    Flush();
    const int columns = Columns();
    if (index < 0 || index > columns) index = columns;
    // Every stored row gets the new cell: the chunks are rebuilt with the
    // wider stride before the view is told.
    std::vector<std::unique_ptr<Text[]>> widened;
    const std::int64_t stride = stride_ + 1;
    try {
        widened.reserve(chunks_.size());
        for (std::size_t i = 0; i < chunks_.size(); ++i)
            widened.push_back(std::make_unique<Text[]>(std::size_t(kChunkRows * stride)));
    } catch (const std::bad_alloc&) {
        return -1;
    }
    for (std::size_t c = 0; c < chunks_.size(); ++c)
        for (std::int64_t r = 0; r < kChunkRows; ++r)
            for (std::int64_t k = 0; k < stride_; ++k)
                widened[c][std::size_t(r * stride + (k < index ? k : k + 1))] =
                    std::move(chunks_[c][std::size_t(r * stride_ + k)]);
    beginInsertColumns(QModelIndex(), index, index);
    headings_.insert(headings_.begin() + index, heading);
    chunks_ = std::move(widened);
    stride_ = stride;
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

bool ListModel::ReserveRow() {
    if (rows_ >= kMaxRows || stride_ == 0) return false;
    if (std::size_t(rows_ / kChunkRows) < chunks_.size()) return true;
    try {
        chunks_.push_back(std::make_unique<Text[]>(std::size_t(kChunkRows * stride_)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ListModel::FillCells(std::int64_t row, int column, const Text& text) {
    if (column < 0 || column >= stride_) return;
    // The common case: one cell, sharing the caller's text. Record texts are
    // known to hold no line feed, so a fill never reads them.
    if (text.KnownWithoutLineFeed() || !HasLineFeed(text.view())) {
        Text* slot = CellSlot(row, column);
        if (slot->empty())
            new (slot) Text(text); // nothing to release in an empty cell
        else
            *slot = text;
        return;
    }
    const std::u16string_view units = text.view();
    // Cut at every line feed; a text ending in a line feed therefore also
    // empties the cell after its last piece.
    std::size_t start = 0;
    for (int c = column; c < stride_; ++c) {
        const std::size_t end = units.find(u'\n', start);
        const std::u16string_view piece =
            units.substr(start, end == std::u16string_view::npos ? units.npos : end - start);
        *CellSlot(row, c) = Text(piece);
        if (end == std::u16string_view::npos) break;
        start = end + 1;
    }
}

bool ListModel::AddRow(std::int64_t position, const Text& text) {
    StoreSourceRows();
    if (!ReserveRow()) return false;
    if (position < 0 || position >= rows_) {
        // Appended rows wait for the next flush, so that filling a list
        // costs one announcement however many rows it gets.
        FillCells(rows_, 0, text);
        ++rows_;
        ScheduleFlush();
        return true;
    }
    Flush();
    beginInsertRows(QModelIndex(), int(position), int(position));
    for (std::int64_t r = rows_; r > position; --r)
        for (int c = 0; c < stride_; ++c)
            *CellSlot(r, c) = std::move(*CellSlot(r - 1, c));
    for (int c = 0; c < stride_; ++c)
        *CellSlot(position, c) = Text();
    FillCells(position, 0, text);
    ++rows_;
    shownRows_ = rows_;
    endInsertRows();
    return true;
}

void ListModel::SetCells(std::int64_t row, int column, const Text& text) {
    if (row < 0 || row >= Rows() || column < 0 || column >= stride_) return;
    StoreSourceRows();
    if (row >= rows_) return; // not stored for want of memory
    FillCells(row, column, text);
    if (row < shownRows_) {
        if (dirtyFirst_ < 0 || row < dirtyFirst_) dirtyFirst_ = row;
        if (row > dirtyLast_) dirtyLast_ = row;
        ScheduleFlush();
    }
}

Text ListModel::Cell(std::int64_t row, int column) const {
    if (row < 0 || row >= Rows() || column < 0 || column >= stride_) return {};
    if (source_) return Text(SourceCell(row, column));
    return *CellSlot(row, column);
}

void ListModel::ShowRows(const RowSource* source, std::vector<std::uint32_t> rows) {
    beginResetModel();
    chunks_.clear();
    rows_ = 0;
    dirtyFirst_ = dirtyLast_ = -1;
    source_ = source;
    sourceRows_ = std::move(rows);
    if (!source_ || stride_ == 0) {
        source_ = nullptr;
        sourceRows_.clear();
    }
    if (std::int64_t(sourceRows_.size()) > kMaxRows) sourceRows_.resize(std::size_t(kMaxRows));
    shownRows_ = Rows();
    endResetModel();
}

void ListModel::StoreSourceRows() {
    if (!source_) return;
    const RowSource* source = source_;
    std::vector<std::uint32_t> rows = std::move(sourceRows_);
    source_ = nullptr;
    sourceRows_.clear();
    // The view already shows these rows: they are stored without a word to it.
    for (const std::uint32_t item : rows) {
        if (!ReserveRow()) break;
        for (int c = 0; c < stride_; ++c)
            *CellSlot(rows_, c) = Text(source->CellText(item, c));
        ++rows_;
    }
    if (rows_ < shownRows_) {
        beginResetModel(); // rows lost for want of memory
        shownRows_ = rows_;
        endResetModel();
    }
}

void ListModel::Clear() {
    beginResetModel();
    source_ = nullptr;
    sourceRows_ = {};
    chunks_.clear();
    rows_ = 0;
    shownRows_ = 0;
    dirtyFirst_ = dirtyLast_ = -1;
    endResetModel();
}

std::size_t ListModel::StorageBytes() const {
    return chunks_.capacity() * sizeof(chunks_[0]) +
           sourceRows_.capacity() * sizeof(sourceRows_[0]) +
           chunks_.size() * std::size_t(kChunkRows * stride_) * sizeof(Text);
}

void ListModel::ScheduleFlush() {
    if (flushScheduled_) return;
    flushScheduled_ = true;
    QMetaObject::invokeMethod(
        this, [this] { Flush(); }, Qt::QueuedConnection);
}

void ListModel::Flush() {
    flushScheduled_ = false;
    if (rows_ > shownRows_) {
        beginInsertRows(QModelIndex(), int(shownRows_), int(rows_ - 1));
        shownRows_ = rows_;
        endInsertRows();
    }
    if (dirtyFirst_ >= 0) {
        const std::int64_t first = dirtyFirst_, last = dirtyLast_;
        dirtyFirst_ = dirtyLast_ = -1;
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
    ShowSelection(false);

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                if (!selected.isEmpty()) {
                    lastSelected_ = selected.first().top();
                    Post(kSelectionOrTextChanged);
                } else if (!deselected.isEmpty()) {
                    Post(kSelectionOrTextChanged);
                }
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

// A click that leaves no row selected reports the lost selection once; a
// left click reports itself only when a row is selected after it.
void ListView::ClickNotification(std::int64_t type) {
    const std::int64_t row = SelectedRow();
    if (row < 0 && lastSelected_ != -1) {
        lastSelected_ = -1;
        Post(kSelectionOrTextChanged);
    }
    if (type == kLeftClick && row < 0) return;
    Post(type);
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
    if (event->button() == Qt::LeftButton) {
        Post(kLeftDoubleClick);
        skipRelease_ = true;
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
    const QModelIndex current = currentIndex();
    if (current.isValid() && current.column() != 0)
        selectionModel()->setCurrentIndex(model_->index(current.row(), 0),
                                          QItemSelectionModel::NoUpdate);
    QTableView::keyboardSearch(search);
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
