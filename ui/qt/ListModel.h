// The multi-column list: a table model over the layer's own row storage of
// texts, and the view that shows it with the platform list's behaviour
// (header row, full-row single selection, grid lines, fixed row height).
#pragma once

#include "text/Text.h"
#include "ui/Controls.h"
#include "ui/common/ListRows.h"
#include "ui/common/TypeAhead.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QPainter>
#include <QTableView>

#include <cstdint>
#include <vector>

namespace qk::ui {

// The model of a list: the layer's own rows (ListRows), with appended rows
// and changed cells announced to the view in one batch when the layer
// returns to the event loop (Flush).
class ListModel final : public QAbstractTableModel {
  public:
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Returns the index the column got (clamped to the column count), -1
    // without memory.
    int InsertColumn(int index, const Text& heading);
    void SetHeading(int column, const Text& heading);
    Text Heading(int column) const;
    // As ListRows::AddRow and ListRows::SetCells, told to the view.
    bool AddRow(std::int64_t position, const Text& text);
    void SetCells(std::int64_t row, int column, const Text& text);
    Text Cell(std::int64_t row, int column) const { return rows_.Cell(row, column); }
    void Clear();
    // Shows the items `rows` of `source` instead of stored rows.
    void ShowRows(const RowSource* source, std::vector<std::uint32_t> rows);
    std::int64_t Rows() const { return rows_.Rows(); }
    int Columns() const { return int(headings_.size()); }
    const ListRows& Stored() const { return rows_; }
    std::size_t StorageBytes() const { return rows_.StorageBytes(); }

    // Announces pending rows and changed cells to the view.
    void Flush();

  private:
    void ScheduleFlush();
    // Rows lost for want of memory while source rows became stored ones.
    void ForgetLostRows();

    std::vector<Text> headings_;
    ListRows rows_;
    ShownRows shown_; // what the view knows of
    bool flushScheduled_ = false;
};

class ListView final : public QTableView {
  public:
    ListView(std::int64_t control, std::int64_t window, std::uint32_t flags, QWidget* parent);
    ~ListView() override;

    ListModel* Model() { return model_; }
    std::int64_t SelectedRow() const;
    int RowHeight() const { return rowHeight_; }
    // After the control is removed it posts nothing.
    void Detach() { control_ = -1; }
    // Posts a ControlEvent of this list with `type`.
    void PostNotification(std::int64_t type) { Post(type); }

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void keyboardSearch(const QString& search) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void Post(std::int64_t type);
    // The selection colour only while the list has the focus.
    void ShowSelection(bool shown);
    void ClickNotification(std::int64_t type);
    void DrawGridLines(QPainter& painter);
    void DrawFocusRow(QPainter& painter);

    ListModel* model_; // a child of the view
    std::int64_t control_;
    std::int64_t window_;
    std::int64_t lastSelected_ = 0; // the last selected row record
    TypedKeys typed_;
    QElapsedTimer keyClock_;
    TypeAhead typeAhead_;
    int rowHeight_ = 0;
    bool gridLines_ = false;
    bool skipRelease_ = false; // the release that ends a double click or a drag
    bool pressedOnRow_ = false;
    bool dragging_ = false;
    QPoint pressedAt_;
};

} // namespace qk::ui
