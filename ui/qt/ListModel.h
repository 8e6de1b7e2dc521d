// The multi-column list: a table model over the layer's own row storage of
// texts, and the view that shows it with the platform list's behaviour
// (header row, full-row single selection, grid lines, fixed row height).
#pragma once

#include "text/Text.h"

#include <QAbstractTableModel>
#include <QPainter>
#include <QTableView>

#include <cstdint>
#include <memory>
#include <vector>

namespace qk::ui {

// Rows are stored in chunks of kChunkRows rows, each chunk one array of
// rows x columns texts, so appending never moves the rows already stored and
// a row costs one text per column. Appended rows and changed cells are
// announced to the view in one batch when the layer returns to the event
// loop (Flush).
class ListModel final : public QAbstractTableModel {
  public:
    static constexpr std::int64_t kChunkRows = 4096;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Returns the index the column got (clamped to the column count).
    int InsertColumn(int index, const Text& heading);
    void SetHeading(int column, const Text& heading);
    Text Heading(int column) const;
    // Appends for position -1 or beyond the last row; fills the cells from
    // column 0 on, split at line feeds. False when no memory was left.
    bool AddRow(std::int64_t position, const Text& text);
    // Sets the cells from `column` on, split at line feeds; nothing for a
    // row or column that does not exist.
    void SetCells(std::int64_t row, int column, const Text& text);
    Text Cell(std::int64_t row, int column) const;
    void Clear();
    std::int64_t Rows() const { return rows_; }
    int Columns() const { return int(headings_.size()); }
    std::size_t StorageBytes() const;

    // Announces pending rows and changed cells to the view.
    void Flush();

  private:
    Text* CellSlot(std::int64_t row, int column) {
        return &chunks_[std::size_t(row / kChunkRows)]
                       [std::size_t((row % kChunkRows) * stride_ + column)];
    }
    const Text* CellSlot(std::int64_t row, int column) const {
        return &chunks_[std::size_t(row / kChunkRows)]
                       [std::size_t((row % kChunkRows) * stride_ + column)];
    }
    bool ReserveRow();
    void FillCells(std::int64_t row, int column, const Text& text);
    void ScheduleFlush();

    std::vector<Text> headings_;
    std::vector<std::unique_ptr<Text[]>> chunks_;
    std::int64_t stride_ = 0;      // columns per stored row
    std::int64_t rows_ = 0;        // rows stored
    std::int64_t shownRows_ = 0;   // rows the view knows of
    std::int64_t dirtyFirst_ = -1; // changed rows the view knows of
    std::int64_t dirtyLast_ = -1;
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
    int rowHeight_ = 0;
    bool gridLines_ = false;
    bool skipRelease_ = false; // the release that ends a double click or a drag
    bool pressedOnRow_ = false;
    bool dragging_ = false;
    QPoint pressedAt_;
};

} // namespace qk::ui
