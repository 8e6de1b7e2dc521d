// The rows of a list, kept by the window layer itself: both toolkits' lists
// ask for the texts they show, so a fill costs no call per cell. Rows are
// either stored, in chunks of kChunkRows rows of `columns` texts each, so
// appending never moves the rows already stored, or read from a RowSource.
#pragma once

#include "text/Text.h"
#include "ui/Controls.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace qk::ui {

// A cell shows at most kMaxShownCellUnits UTF-16 units of its text: a longer
// text shows its first units (never half of a surrogate pair) and then an
// ellipsis, for drawing, sizing, type-ahead and assistive technology alike.
// The text itself stays whole for the program (GetCellText).
constexpr std::size_t kMaxShownCellUnits = 4096;
constexpr char16_t kCellEllipsis = u'\u2026';

struct ShownCell {
    std::u16string_view head; // the whole text unless `cut`
    bool cut;                 // an ellipsis follows `head`
};
ShownCell ShownCellText(std::u16string_view text);

class ListRows {
  public:
    static constexpr std::int64_t kChunkRows = 4096;

    std::int64_t Rows() const { return source_ ? std::int64_t(sourceRows_.size()) : rows_; }
    int Columns() const { return int(stride_); }
    // Every stored row gets an empty cell at `index` (clamped to the column
    // count). False without memory.
    bool InsertColumn(int index);
    // Appends for position -1 or beyond the last row; fills the cells from
    // column 0 on, split at line feeds. False when no memory was left.
    bool AddRow(std::int64_t position, const Text& text);
    // Sets the cells from `column` on, split at line feeds; nothing for a
    // row or column that does not exist.
    void SetCells(std::int64_t row, int column, const Text& text);
    Text Cell(std::int64_t row, int column) const;
    // The text of a cell, stored or read from the source; empty when missing.
    std::u16string_view CellView(std::int64_t row, int column) const;
    // What the cell shows (ShownCellText).
    ShownCell ShownCellAt(std::int64_t row, int column) const {
        return ShownCellText(CellView(row, column));
    }
    void Clear();
    // Shows the items `rows` of `source` instead of stored rows.
    void ShowSource(const RowSource* source, std::vector<std::uint32_t> rows);
    // The source and its items while the rows are read from one.
    const RowSource* Source() const { return source_; }
    const std::vector<std::uint32_t>& SourceItems() const { return sourceRows_; }
    // Changes whenever the rows are replaced, cleared or moved, so that what
    // was learnt about them (the type-ahead's index) can tell it is stale.
    std::uint64_t Generation() const { return generation_; }
    std::size_t StorageBytes() const;

  private:
    Text* Slot(std::int64_t row, int column) {
        return &chunks_[std::size_t(row / kChunkRows)]
                       [std::size_t((row % kChunkRows) * stride_ + column)];
    }
    const Text* Slot(std::int64_t row, int column) const {
        return &chunks_[std::size_t(row / kChunkRows)]
                       [std::size_t((row % kChunkRows) * stride_ + column)];
    }
    bool ReserveRow();
    void FillCells(std::int64_t row, int column, const Text& text);
    // Turns rows read from a source into stored rows, before they change.
    void StoreSourceRows();

    std::vector<std::unique_ptr<Text[]>> chunks_;
    std::int64_t stride_ = 0;
    std::int64_t rows_ = 0;
    const RowSource* source_ = nullptr; // rows read from here when set
    std::vector<std::uint32_t> sourceRows_;
    std::uint64_t generation_ = 0;
};

// What a list's view has been told of its rows: how many there are, and the
// rows whose cells changed since it was last told.
struct ShownRows {
    std::int64_t count = 0;
    std::int64_t changedFirst = -1;
    std::int64_t changedLast = -1;

    void Changed(std::int64_t row) {
        if (row >= count) return; // the view learns of it with the new rows
        if (changedFirst < 0 || row < changedFirst) changedFirst = row;
        if (row > changedLast) changedLast = row;
    }
    void Forget() { count = 0, changedFirst = changedLast = -1; }
};

} // namespace qk::ui
