#include "ui/common/TypeAhead.h"

#include "text/TextPrimitives.h"

#include <algorithm>

namespace qk::ui {

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    if (prefix.size() > text.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (FoldCase(text[i]) != FoldCase(prefix[i])) return false;
    return true;
}

bool ShownStartsWithIgnoringCase(std::u16string_view text, std::u16string_view prefix) {
    const ShownCell shown = ShownCellText(text);
    if (!shown.cut || prefix.size() <= shown.head.size())
        return StartsWithIgnoringCase(shown.head, prefix);
    return prefix.size() == shown.head.size() + 1 && prefix.back() == kCellEllipsis &&
           StartsWithIgnoringCase(shown.head, prefix.substr(0, shown.head.size()));
}

TypeAheadSearch AddTypedKey(TypedKeys& keys, std::u16string_view key, std::int64_t nowMs,
                            std::int64_t intervalMs) {
    bool afterCurrent = false;
    if (keys.typed.empty() || nowMs - keys.lastKeyMs > intervalMs) {
        keys.typed.assign(key);
        afterCurrent = true;
    } else {
        keys.typed.append(key);
    }
    keys.lastKeyMs = nowMs;
    const std::u16string_view typed = keys.typed;
    if (typed.size() > 1 &&
        std::all_of(typed.begin(), typed.end(), [&](char16_t c) { return c == typed[0]; }))
        return {typed.substr(0, 1), true};
    return {typed, afterCurrent};
}

bool TypeAhead::Holds(const ListRows& rows) const {
    return source_ && source_ == rows.Source() && generation_ == rows.Generation();
}

void TypeAhead::Reset(const ListRows& rows) {
    source_ = rows.Source();
    generation_ = rows.Generation();
    rowIds_.reset();
    rowIdCount_ = 0;
    fetched_.clear();
    matching_.clear();
    matched_.clear();
    present_.clear();
    lastPrefixHolds_ = false;
    if (!source_) return;
    const std::uint32_t texts = source_->SharedTextCount(0);
    if (texts == 0) {
        source_ = nullptr; // searched cell by cell
        return;
    }
    // Left unwritten: only the chunks a search walks are ever filled.
    rowIdCount_ = std::size_t(rows.Rows());
    rowIds_ = std::make_unique_for_overwrite<std::uint32_t[]>(rowIdCount_);
    fetched_.assign(std::size_t((rows.Rows() + kChunk - 1) / kChunk), 0);
    matching_.assign(texts, 0);
}

// Marks the ids whose text starts with `prefix`. A prefix that extends the
// last one needs only the texts that matched it. False when none matches.
bool TypeAhead::MarkMatches(std::u16string_view prefix) {
    const bool narrows = lastPrefixHolds_ && prefix.starts_with(lastPrefix_);
    for (const std::uint32_t id : matched_)
        matching_[id] = 0;
    std::vector<std::uint32_t> candidates;
    if (narrows) candidates.swap(matched_);
    matched_.clear();
    const auto test = [&](std::uint32_t id) {
        if (ShownStartsWithIgnoringCase(source_->SharedText(0, id), prefix)) {
            matching_[id] = 1;
            matched_.push_back(id);
        }
    };
    if (narrows) {
        for (const std::uint32_t id : candidates)
            test(id);
    } else {
        for (std::uint32_t id = 0; id < matching_.size(); ++id)
            test(id);
    }
    lastPrefix_.assign(prefix);
    lastPrefixHolds_ = true;
    return !matched_.empty();
}

const std::uint32_t* TypeAhead::ChunkIds(const ListRows& rows, std::int64_t chunk) {
    std::uint32_t* ids = rowIds_.get() + chunk * kChunk;
    if (!fetched_[std::size_t(chunk)]) {
        const std::int64_t first = chunk * kChunk;
        const std::int64_t count = std::min(kChunk, rows.Rows() - first);
        source_->SharedTextIds(0, rows.SourceItems().data() + first, std::size_t(count), ids);
        for (std::int64_t i = 0; i < count; ++i)
            if (ids[i] >= matching_.size()) ids[i] = 0; // a source that breaks its word
        fetched_[std::size_t(chunk)] = 1;
    }
    return ids;
}

std::int64_t TypeAhead::FindInRange(const ListRows& rows, std::int64_t from, std::int64_t to) {
    while (from < to) {
        const std::int64_t chunk = from / kChunk;
        const std::int64_t end = std::min(to, (chunk + 1) * kChunk);
        const std::uint32_t* ids = ChunkIds(rows, chunk) - chunk * kChunk;
        for (std::int64_t row = from; row < end; ++row)
            if (matching_[ids[row]]) return row;
        from = end;
    }
    return -1;
}

std::int64_t TypeAhead::FindFrom(const ListRows& rows, std::int64_t start, std::int64_t limit) {
    const std::int64_t count = rows.Rows();
    limit = std::min(limit, count);
    const std::int64_t found = FindInRange(rows, start, std::min(count, start + limit));
    if (found >= 0 || start + limit <= count) return found;
    return FindInRange(rows, 0, start + limit - count);
}

// Whether any row has one of the marked ids. What ids the rows hold is
// asked once per set of rows.
bool TypeAhead::AnyRowMatches(const ListRows& rows) {
    if (present_.empty()) {
        // As many as the source has now, should it have grown since.
        present_.assign(std::max<std::size_t>(matching_.size(), source_->SharedTextCount(0)), 0);
        source_->MarkSharedTextIds(0, rows.SourceItems().data(), std::size_t(rows.Rows()),
                                   present_.data());
    }
    return std::any_of(matched_.begin(), matched_.end(),
                       [&](std::uint32_t id) { return present_[id] != 0; });
}

std::int64_t TypeAhead::Find(const ListRows& rows, std::int64_t start, std::u16string_view prefix) {
    const std::int64_t count = rows.Rows();
    if (count == 0 || prefix.empty()) return -1;
    if (start < 0 || start >= count) start = 0;
    if (!Holds(rows)) Reset(rows);
    if (!source_) {
        for (std::int64_t i = 0; i < count; ++i) {
            const std::int64_t row = (start + i) % count;
            if (ShownStartsWithIgnoringCase(rows.CellView(row, 0), prefix)) return row;
        }
        return -1;
    }
    if (!MarkMatches(prefix)) return -1;
    // Where the letters start many rows, the next one is near.
    const std::int64_t near = FindFrom(rows, start, kNearRows);
    if (near >= 0 || count <= kNearRows || !AnyRowMatches(rows)) return near;
    return FindFrom(rows, (start + kNearRows) % count, count - kNearRows);
}

std::size_t TypeAhead::StorageBytes() const {
    return rowIdCount_ * sizeof(std::uint32_t) + fetched_.capacity() + matching_.capacity() +
           matched_.capacity() * sizeof(matched_[0]) + present_.capacity();
}

} // namespace qk::ui
