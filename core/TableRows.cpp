#include "core/TableRows.h"

#include "core/StoredText.h"

#include <algorithm>

namespace qk {

bool TableRows::Indexed() const {
    const RecordTable& table = table_;
    const void* first = table.segments.empty() ? nullptr : &table.segments.front();
    if (indexedCount_ != TableCount(table) || indexedSegments_ != table.segments.size() ||
        indexedFirst_ != first) {
        segmentAt_.clear();
        std::size_t k = 0;
        for (std::uint32_t index = 0; index < TableCount(table); index += kStep) {
            while (k + 1 < table.segments.size() && table.segments[k + 1].first <= index)
                ++k;
            segmentAt_.push_back(std::uint32_t(k));
        }
        indexedCount_ = TableCount(table);
        indexedSegments_ = table.segments.size();
        indexedFirst_ = first;
    }
    return !table.segments.empty();
}

const RecordSegment& TableRows::SegmentAt(std::uint32_t item) const {
    const std::vector<RecordSegment>& segments = table_.segments;
    std::size_t k = segmentAt_[item / kStep];
    while (k + 1 < segments.size() && segments[k + 1].first <= item)
        ++k;
    return segments[k];
}

void TableRows::Forget() {
    segmentAt_.clear();
    indexedCount_ = 0;
    indexedSegments_ = 0;
    indexedFirst_ = nullptr;
}

std::u16string_view TableRows::Cell(std::uint32_t item, int column) const {
    if (item >= TableCount(table_) || column < 0 || column >= kVisibleFieldCount ||
        !Indexed())
        return {};
    std::u16string& out = made_[next_++ % made_.size()];
    const RecordSegment& segment = SegmentAt(item);
    const std::uint32_t k = item - segment.first;
    const auto field = static_cast<RecordField>(column);
    if (field == RecordField::Name) {
        StoredInto(segment.Name(k), out);
    } else if (field == RecordField::Size) {
        SizeRoom room;
        out.assign(segment.Size(k, room));
    } else {
        const std::size_t c = SharedIndexOf(field);
        StoredInto(table_.shared[c][segment.ids[c][k]], out);
    }
    return out;
}

std::uint32_t TableRows::SharedCount(int column) const {
    if (column < 0 || column >= kVisibleFieldCount) return 0;
    const auto field = static_cast<RecordField>(column);
    return IsSharedField(field) ? table_.shared[SharedIndexOf(field)].size() : 0;
}

std::u16string_view TableRows::SharedText(int column, std::uint32_t id) const {
    if (id >= SharedCount(column)) return {};
    std::u16string& out = made_[next_++ % made_.size()];
    StoredInto(table_.shared[SharedIndexOf(static_cast<RecordField>(column))][id], out);
    return out;
}

void TableRows::SharedIds(int column, const std::uint32_t* items, std::size_t count,
                          std::uint32_t* ids) const {
    if (SharedCount(column) == 0 || !Indexed()) {
        std::fill(ids, ids + count, 0);
        return;
    }
    const std::size_t c = SharedIndexOf(static_cast<RecordField>(column));
    const std::uint32_t total = TableCount(table_);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t item = items[i];
        if (item >= total) {
            ids[i] = 0;
            continue;
        }
        const RecordSegment& segment = SegmentAt(item);
        ids[i] = segment.ids[c][item - segment.first];
    }
}

void TableRows::MarkListedIds(int column, std::uint8_t* present) const {
    const std::uint32_t texts = SharedCount(column);
    if (texts == 0 || table_.shown.size() != TableCount(table_)) return;
    const std::size_t c = SharedIndexOf(static_cast<RecordField>(column));
    for (const RecordSegment& segment : table_.segments) {
        const std::uint8_t* shown = table_.shown.data() + segment.first;
        const IdColumn& ids = segment.ids[c];
        for (std::uint32_t k = 0; k < ids.size(); ++k) {
            const std::uint32_t id = ids[k];
            if (id < texts) present[id] |= shown[k];
        }
    }
}

} // namespace qk
