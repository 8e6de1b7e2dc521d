#include "ui/common/ListRows.h"

#include "text/Scan.h"

#include <climits>
#include <new>

namespace qk::ui {

namespace {

// Rows beyond this count cannot be told to the list control, which counts
// in int.
constexpr std::int64_t kMaxRows = INT_MAX - 1;

} // namespace

bool ListRows::InsertColumn(int index) {
    StoreSourceRows();
    if (index < 0 || index > stride_) index = int(stride_);
    const std::int64_t stride = stride_ + 1;
    std::vector<std::unique_ptr<Text[]>> widened;
    try {
        widened.reserve(chunks_.size());
        for (std::size_t i = 0; i < chunks_.size(); ++i)
            widened.push_back(std::make_unique<Text[]>(std::size_t(kChunkRows * stride)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t c = 0; c < chunks_.size(); ++c)
        for (std::int64_t r = 0; r < kChunkRows; ++r)
            for (std::int64_t k = 0; k < stride_; ++k)
                widened[c][std::size_t(r * stride + (k < index ? k : k + 1))] =
                    std::move(chunks_[c][std::size_t(r * stride_ + k)]);
    chunks_ = std::move(widened);
    stride_ = stride;
    ++generation_;
    return true;
}

bool ListRows::ReserveRow() {
    if (rows_ >= kMaxRows || stride_ == 0) return false;
    if (std::size_t(rows_ / kChunkRows) < chunks_.size()) return true;
    try {
        chunks_.push_back(std::make_unique<Text[]>(std::size_t(kChunkRows * stride_)));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ListRows::FillCells(std::int64_t row, int column, const Text& text) {
    if (column < 0 || column >= stride_) return;
    // The common case: one cell, sharing the caller's text. Record texts are
    // known to hold no line feed, so a fill never reads them.
    if (text.KnownWithoutLineFeed() || FindUnit(text.view(), 0, u'\n') == kNoPosition) {
        Text* slot = Slot(row, column);
        if (slot->empty())
            new (slot) Text(text); // nothing to release in an empty cell
        else
            *slot = text;
        return;
    }
    // Cut at every line feed; a text ending in a line feed therefore also
    // empties the cell after its last piece.
    const std::u16string_view units = text.view();
    std::size_t start = 0;
    for (int c = column; c < stride_; ++c) {
        const std::size_t end = FindUnit(units, start, u'\n');
        *Slot(row, c) = Text(units.substr(start, end == kNoPosition ? units.npos : end - start));
        if (end == kNoPosition) break;
        start = end + 1;
    }
}

bool ListRows::AddRow(std::int64_t position, const Text& text) {
    StoreSourceRows();
    if (!ReserveRow()) return false;
    if (position < 0 || position >= rows_) {
        FillCells(rows_, 0, text);
        ++rows_;
        return true;
    }
    for (std::int64_t r = rows_; r > position; --r)
        for (int c = 0; c < stride_; ++c)
            *Slot(r, c) = std::move(*Slot(r - 1, c));
    for (int c = 0; c < stride_; ++c)
        *Slot(position, c) = Text();
    FillCells(position, 0, text);
    ++rows_;
    ++generation_;
    return true;
}

void ListRows::SetCells(std::int64_t row, int column, const Text& text) {
    if (row < 0 || row >= Rows() || column < 0 || column >= stride_) return;
    StoreSourceRows();
    if (row >= rows_) return; // not stored for want of memory
    FillCells(row, column, text);
    if (column == 0) ++generation_;
}

ShownCell ShownCellText(std::u16string_view text) {
    if (text.size() <= kMaxShownCellUnits) return {text, false};
    std::size_t length = kMaxShownCellUnits;
    if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) --length;
    return {text.substr(0, length), true};
}

std::u16string_view ListRows::CellView(std::int64_t row, int column) const {
    if (row < 0 || row >= Rows() || column < 0 || column >= stride_) return {};
    if (source_) return source_->CellText(sourceRows_[std::size_t(row)], column);
    return Slot(row, column)->view();
}

Text ListRows::Cell(std::int64_t row, int column) const {
    if (row < 0 || row >= Rows() || column < 0 || column >= stride_) return {};
    if (source_) return Text(CellView(row, column));
    return *Slot(row, column);
}

void ListRows::Clear() {
    ++generation_;
    chunks_.clear();
    rows_ = 0;
    source_ = nullptr;
    sourceRows_ = {};
}

void ListRows::ShowSource(const RowSource* source, std::vector<std::uint32_t> rows) {
    Clear();
    if (!source || stride_ == 0) return;
    source_ = source;
    sourceRows_ = std::move(rows);
    if (std::int64_t(sourceRows_.size()) > kMaxRows) sourceRows_.resize(std::size_t(kMaxRows));
}

void ListRows::StoreSourceRows() {
    if (!source_) return;
    const RowSource* source = source_;
    std::vector<std::uint32_t> rows = std::move(sourceRows_);
    source_ = nullptr;
    sourceRows_.clear();
    for (const std::uint32_t item : rows) {
        if (!ReserveRow()) break; // rows lost for want of memory
        for (int c = 0; c < stride_; ++c)
            *Slot(rows_, c) = Text(source->CellText(item, c));
        ++rows_;
    }
}

std::size_t ListRows::StorageBytes() const {
    return chunks_.capacity() * sizeof(chunks_[0]) +
           sourceRows_.capacity() * sizeof(sourceRows_[0]) +
           chunks_.size() * std::size_t(kChunkRows * stride_) * sizeof(Text);
}

} // namespace qk::ui
