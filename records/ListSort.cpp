#include "records/ListSort.h"

#include "records/RecordListInternal.h"
#include "text/TextPrimitives.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

// The sort is a stable merge sort by key: elements with equal keys keep
// their order. It relinks elements and never moves them.
//
// The fast way collects the range into an array of (key, element index)
// entries, sorts the array stably by radix and relinks the elements in the
// array's order. Numbers become unsigned 64-bit keys that order like the
// numbers; texts are sorted most significant part first, four code units at
// a time, only groups still equal going on to the next four units. When the
// array's memory cannot be had, the range is sorted in place by a recursive
// merge of the linked chain, which needs no memory at all.

namespace qk {

namespace {

// How a field's value is read and ordered.
enum class KeyType { None, Int8, Int16, Int32, Int64, UInt8, UInt16, Float32, Float64, Text };

KeyType KeyTypeOf(ElementKind kind) {
    switch (kind) {
    case ElementKind::Int8:
        return KeyType::Int8;
    case ElementKind::Int16:
        return KeyType::Int16;
    case ElementKind::Int32:
        return KeyType::Int32;
    case ElementKind::Text:
        return KeyType::Text;
    case ElementKind::Float32:
        return KeyType::Float32;
    case ElementKind::UInt16:
    case ElementKind::UInt16Alt:
        return KeyType::UInt16;
    case ElementKind::Float64:
        return KeyType::Float64;
    case ElementKind::Int64:
    case ElementKind::Int64Alt:
        return KeyType::Int64;
    case ElementKind::UInt8:
        return KeyType::UInt8;
    default:
        return KeyType::None; // a whole record and anything unknown: no order
    }
}

std::int64_t FieldWidth(KeyType type) {
    switch (type) {
    case KeyType::Int8:
    case KeyType::UInt8:
        return 1;
    case KeyType::Int16:
    case KeyType::UInt16:
        return 2;
    case KeyType::Int32:
    case KeyType::Float32:
        return 4;
    default:
        return 8;
    }
}

template <typename T> T Read(const std::byte* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

constexpr std::uint64_t kSignBit = std::uint64_t{1} << 63;

std::uint64_t SignedKey(std::int64_t value) {
    return static_cast<std::uint64_t>(value) ^ kSignBit;
}

// Orders like the numbers; -0 equals +0, and every NaN equals every other
// NaN and follows all numbers.
std::uint64_t FloatKey(double value) {
    if (std::isnan(value)) return ~std::uint64_t{0};
    if (value == 0) value = 0; // -0 becomes +0
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return bits & kSignBit ? ~bits : bits | kSignBit;
}

// An unsigned key that orders like the numeric field at `p`.
std::uint64_t NumericKey(KeyType type, const std::byte* p) {
    switch (type) {
    case KeyType::Int8:
        return SignedKey(Read<std::int8_t>(p));
    case KeyType::Int16:
        return SignedKey(Read<std::int16_t>(p));
    case KeyType::Int32:
        return SignedKey(Read<std::int32_t>(p));
    case KeyType::Int64:
        return SignedKey(Read<std::int64_t>(p));
    case KeyType::UInt8:
        return Read<std::uint8_t>(p);
    case KeyType::UInt16:
        return Read<std::uint16_t>(p);
    case KeyType::Float32:
        return FloatKey(Read<float>(p));
    case KeyType::Float64:
        return FloatKey(Read<double>(p));
    default:
        return 0;
    }
}

const Text& TextAt(Element* element, std::int64_t field) {
    return *reinterpret_cast<const Text*>(static_cast<const std::byte*>(element->Data()) + field);
}

const std::byte* FieldAt(Element* element, std::int64_t field) {
    return static_cast<const std::byte*>(element->Data()) + field;
}

struct SortKey {
    KeyType type;
    std::int64_t field;
    bool descending;
    bool ignoreCase;
};

// Three-way comparison of two elements' keys, ascending.
int CompareElements(const SortKey& key, Element* a, Element* b) {
    if (key.type == KeyType::Text) {
        const std::u16string_view x = TextAt(a, key.field), y = TextAt(b, key.field);
        return key.ignoreCase ? CompareTextsIgnoreCase(x, y) : CompareTexts(x, y);
    }
    const std::uint64_t x = NumericKey(key.type, FieldAt(a, key.field));
    const std::uint64_t y = NumericKey(key.type, FieldAt(b, key.field));
    return x < y ? -1 : x > y ? 1 : 0;
}

struct Chain {
    Element* first;
    Element* last;
};

// In-place merge sort of the n >= 1 consecutive elements from `first`.
// Sets the links inside the chain; the caller links its two ends.
Chain MergeSortChain(const SortKey& key, Element* first, std::int64_t n) {
    if (n < 2) return {first, first};
    if (n == 2) {
        Element* second = first->next;
        const int c = CompareElements(key, first, second);
        if (key.descending ? c < 0 : c > 0) {
            second->next = first;
            first->previous = second;
            return {second, first};
        }
        return {first, second};
    }
    const std::int64_t leftCount = n / 2;
    Element* middle = first;
    for (std::int64_t i = 0; i < leftCount; ++i)
        middle = middle->next;
    const Chain left = MergeSortChain(key, first, leftCount);
    const Chain right = MergeSortChain(key, middle, n - leftCount);

    Element* l = left.first;
    Element* r = right.first;
    std::int64_t leftLeft = leftCount, rightLeft = n - leftCount;
    Element* head = nullptr;
    Element* tail = nullptr;
    auto take = [&](Element*& from, std::int64_t& remaining) {
        Element* taken = from;
        from = from->next;
        --remaining;
        taken->previous = tail;
        if (tail)
            tail->next = taken;
        else
            head = taken;
        tail = taken;
    };
    while (leftLeft > 0 && rightLeft > 0) {
        const int c = CompareElements(key, l, r);
        if (key.descending ? c >= 0 : c <= 0)
            take(l, leftLeft);
        else
            take(r, rightLeft);
    }
    while (leftLeft > 0)
        take(l, leftLeft);
    while (rightLeft > 0)
        take(r, rightLeft);
    return {head, tail};
}

// The array sort

bool gUseSortArray = true;

struct Entry {
    std::uint64_t key;     // the next part of the key, order-preserving
    const char16_t* units; // texts: the text's units
    std::uint32_t length;  // texts: the text's length
    std::uint32_t index;   // the element's place in the unsorted range
};

// A group of entries whose texts agree in their first `depth` units.
struct Group {
    std::uint32_t begin;
    std::uint32_t end;
    std::uint32_t depth;
};

constexpr std::size_t kDigits = 9; // eight key bytes and the length digit
// A chunk is four units, or eight when all of them are below 0x100.
constexpr std::uint32_t kWideUnits = 8;
constexpr std::uint32_t kNarrowUnits = 4;
constexpr std::size_t kInsertionSortLimit = 48;
constexpr std::size_t kSplitLimit = 16384;

// For texts: how many of the chunk's units belong to the text (all of them
// also when more follow). A text that ends inside the chunk is lesser than
// one that goes on, and texts of equal key and equal count below the chunk's
// width are equal.
struct LengthDigit {
    std::uint32_t depth;
    std::uint32_t width;
    bool descending;
    std::uint32_t RawCount(const Entry& e) const {
        return e.length <= depth ? 0 : std::min(e.length - depth, width);
    }
    std::uint32_t operator()(const Entry& e) const {
        const std::uint32_t count = RawCount(e);
        return descending ? width - count : count;
    }
};

using DigitCounts = std::uint32_t[kDigits][256];
// The length digit counts least; then the key's bytes from the lowest up.
constexpr std::size_t kLengthPass = 8;
constexpr std::size_t kLeastFirst[kDigits] = {kLengthPass, 0, 1, 2, 3, 4, 5, 6, 7};

void SortEntries(Entry* a, Entry* scratch, std::size_t n, const LengthDigit* digit);

// Stable insertion sort, for a few entries.
template <typename Less> void InsertionSortEntries(Entry* a, std::size_t n, Less less) {
    for (std::size_t i = 1; i < n; ++i) {
        if (!less(a[i], a[i - 1])) continue;
        const Entry moving = a[i];
        std::size_t j = i;
        do {
            a[j] = a[j - 1];
            --j;
        } while (j > 0 && less(moving, a[j - 1]));
        a[j] = moving;
    }
}

// The digit of pass `pass`: a byte of the key, or the length digit.
std::size_t DigitOf(const Entry& e, std::size_t pass, const LengthDigit* digit) {
    return pass == kLengthPass ? (*digit)(e) : (e.key >> (8 * pass)) & 0xFF;
}

// How often each value of each digit occurs among the entries.
void CountDigits(const Entry* a, std::size_t n, const LengthDigit* digit, DigitCounts& counts) {
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t k = a[i].key;
        for (std::size_t b = 0; b < 8; ++b)
            ++counts[b][(k >> (8 * b)) & 0xFF];
        if (digit) ++counts[kLengthPass][(*digit)(a[i])];
    }
}

// A digit that is the same everywhere is no digit at all; without a length
// digit, its pass is skipped.
bool DigitVaries(const DigitCounts& counts, const Entry* a, std::size_t n, std::size_t pass,
                 const LengthDigit* digit) {
    return (pass != kLengthPass || digit) && counts[pass][DigitOf(a[0], pass, digit)] != n;
}

// Distributes the entries by their most significant varying digit, so that
// the parts fit into the caches, and sorts each part on its own.
void SplitByLeadingDigit(Entry* a, Entry* scratch, std::size_t n, const LengthDigit* digit,
                         const DigitCounts& counts) {
    std::size_t pass = kDigits;
    for (std::size_t i = kDigits; i-- > 0;)
        if (DigitVaries(counts, a, n, kLeastFirst[i], digit)) {
            pass = kLeastFirst[i];
            break;
        }
    if (pass == kDigits) return; // all keys equal
    const std::uint32_t* count = counts[pass];
    std::uint32_t starts[257];
    std::uint32_t offset = 0;
    for (std::size_t d = 0; d < 256; ++d) {
        starts[d] = offset;
        offset += count[d];
    }
    starts[256] = offset;
    std::uint32_t next[256];
    std::memcpy(next, starts, sizeof next);
    for (std::size_t i = 0; i < n; ++i)
        scratch[next[DigitOf(a[i], pass, digit)]++] = a[i];
    std::memcpy(static_cast<void*>(a), scratch, n * sizeof(Entry));
    for (std::size_t d = 0; d < 256; ++d)
        if (starts[d + 1] - starts[d] > 1)
            SortEntries(a + starts[d], scratch, starts[d + 1] - starts[d], digit);
}

// One stable counting pass per varying digit, least significant first.
void SortByEveryDigit(Entry* a, Entry* scratch, std::size_t n, const LengthDigit* digit,
                      DigitCounts& counts) {
    Entry* from = a;
    Entry* to = scratch;
    for (const std::size_t pass : kLeastFirst) {
        if (!DigitVaries(counts, a, n, pass, digit)) continue;
        std::uint32_t* count = counts[pass];
        std::uint32_t offset = 0;
        for (std::size_t d = 0; d < 256; ++d) {
            const std::uint32_t c = count[d];
            count[d] = offset;
            offset += c;
        }
        for (std::size_t i = 0; i < n; ++i)
            to[count[DigitOf(from[i], pass, digit)]++] = from[i];
        std::swap(from, to);
    }
    if (from != a) std::memcpy(static_cast<void*>(a), from, n * sizeof(Entry));
}

// Stable sort of entries by (key, length digit). Large arrays are split by
// their most significant varying byte first, so that the parts fit into the
// caches; the parts are sorted least significant digit first.
void SortEntries(Entry* a, Entry* scratch, std::size_t n, const LengthDigit* digit) {
    if (n < kInsertionSortLimit) {
        InsertionSortEntries(a, n, [digit](const Entry& x, const Entry& y) {
            if (x.key != y.key) return x.key < y.key;
            return digit && (*digit)(x) < (*digit)(y);
        });
        return;
    }
    DigitCounts counts = {};
    CountDigits(a, n, digit, counts);
    if (n > kSplitLimit)
        SplitByLeadingDigit(a, scratch, n, digit, counts);
    else
        SortByEveryDigit(a, scratch, n, digit, counts);
}

// The units of a text from `depth` on, the first in the highest bits, with
// zeros past its end: eight units of a byte each, or four of 16 bits. Returns
// false when a unit of the eight does not fit into a byte.
bool WideChunk(const Entry& e, std::uint32_t depth, bool ignoreCase, std::uint64_t& key) {
    const char16_t* p = e.units + depth;
    const std::uint32_t available = e.length <= depth ? 0 : e.length - depth;
    const std::uint32_t n = std::min(available, kWideUnits);
    key = 0;
    char16_t all = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const char16_t unit = ignoreCase ? FoldCase(p[i]) : p[i];
        all |= unit;
        key = (key << 8) | (unit & 0xFF);
    }
    if (n > 0) key <<= 8 * (kWideUnits - n); // zeros past the end
    return all < 0x100;
}

std::uint64_t NarrowChunk(const Entry& e, std::uint32_t depth, bool ignoreCase) {
    const char16_t* p = e.units + depth;
    const std::uint32_t available = e.length <= depth ? 0 : e.length - depth;
    const std::uint32_t n = std::min(available, kNarrowUnits);
    std::uint64_t key = 0;
    for (std::uint32_t i = 0; i < n; ++i)
        key = (key << 16) | (ignoreCase ? FoldCase(p[i]) : p[i]);
    return n > 0 ? key << 16 * (kNarrowUnits - n) : 0; // zeros past the end
}

// True when every text of the group equals the first from `depth` on.
bool AllEqual(const Entry* a, std::uint32_t size, std::uint32_t depth, bool ignoreCase) {
    const Entry& f = a[0];
    constexpr std::uint32_t kAhead = 8;
    for (std::uint32_t i = 1; i < size; ++i) {
        if (i + kAhead < size) Prefetch(a[i + kAhead].units + depth);
        if (a[i].length != f.length) return false;
        if (a[i].units == f.units || f.length <= depth) continue;
        const std::u16string_view x(f.units + depth, f.length - depth);
        const std::u16string_view y(a[i].units + depth, f.length - depth);
        if (ignoreCase ? CompareTextsIgnoreCase(x, y) != 0 : x != y) return false;
    }
    return true;
}

// Sorts text entries, most significant chunk first; `stack` has room for
// n / 2 + 1 groups.
void SortTextEntries(Entry* entries, Entry* scratch, std::uint32_t n, Group* stack, bool descending,
                     bool ignoreCase) {
    std::size_t top = 0;
    stack[top++] = Group{0, n, 0};
    constexpr std::uint32_t kAhead = 16;
    while (top > 0) {
        const Group group = stack[--top];
        Entry* a = entries + group.begin;
        const std::uint32_t size = group.end - group.begin;
        const std::uint32_t depth = group.depth;
        if (AllEqual(a, size, depth, ignoreCase)) continue; // nothing to order

        std::uint32_t width = kWideUnits;
        for (std::uint32_t i = 0; i < size; ++i) {
            if (i + kAhead < size) Prefetch(a[i + kAhead].units + depth);
            if (!WideChunk(a[i], depth, ignoreCase, a[i].key)) {
                width = kNarrowUnits;
                break;
            }
        }
        if (width == kNarrowUnits)
            for (std::uint32_t i = 0; i < size; ++i)
                a[i].key = NarrowChunk(a[i], depth, ignoreCase);
        if (descending)
            for (std::uint32_t i = 0; i < size; ++i)
                a[i].key = ~a[i].key;

        const LengthDigit digit{depth, width, descending};
        SortEntries(a, scratch, size, &digit);

        // Groups whose chunks agree and whose texts go on need the next chunk.
        for (std::uint32_t i = 0; i < size;) {
            std::uint32_t j = i + 1;
            while (j < size && a[j].key == a[i].key && digit(a[j]) == digit(a[i]))
                ++j;
            if (j - i > 1 && digit.RawCount(a[i]) == width)
                stack[top++] = Group{group.begin + i, group.begin + j, depth + width};
            i = j;
        }
    }
}

constexpr std::size_t kElementsAhead = 8;

// Lists the `count` elements from `first` to `last` in chain order. Two walks
// at once, from both ends, halve the waiting on elements that lie scattered
// in memory.
void ListChain(Element* first, Element* last, std::size_t count, Element** walked) {
    std::size_t front = 0, back = count;
    Element* forward = first;
    Element* backward = last;
    while (front < back) {
        walked[front++] = forward;
        forward = forward->next;
        if (front < back) {
            walked[--back] = backward;
            backward = backward->previous;
        }
    }
}

// One entry per element: its place, and its text or its numeric key.
void FillEntries(const SortKey& key, Element* const* elements, std::size_t count, Entry* entries) {
    const bool text = key.type == KeyType::Text;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i + kElementsAhead < count) Prefetch(elements[i + kElementsAhead]);
        Element* element = elements[i];
        Entry& e = entries[i];
        e.index = i;
        if (text) {
            const Text& t = TextAt(element, key.field);
            e.units = t.data();
            e.length = static_cast<std::uint32_t>(t.size());
            e.key = 0;
        } else {
            const std::uint64_t k = NumericKey(key.type, FieldAt(element, key.field));
            e.key = key.descending ? ~k : k;
            e.units = nullptr;
            e.length = 0;
        }
    }
}

// Links the elements in the order of the sorted entries and lists that order
// in `order`; the chain they make.
Chain LinkInEntryOrder(Element* const* elements, const Entry* entries, std::size_t count,
                       Element** order) {
    Element* previous = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (i + kElementsAhead < count) Prefetch(elements[entries[i + kElementsAhead].index]);
        Element* e = elements[entries[i].index];
        order[i] = e;
        e->previous = previous;
        if (previous) previous->next = e;
        previous = e;
    }
    return {order[0], previous};
}

// Sorts the n >= 2 consecutive elements from `first` to `last` through an
// array. `known`, when not null, holds these elements in their order. The
// sorted order goes to `sortedOrder` when that is not null. Returns false,
// having changed nothing, when the memory cannot be had.
bool ArraySortChain(const SortKey& key, Element* first, Element* last, std::int64_t n,
                    Element* const* known, Element** sortedOrder, Chain& sorted) {
    if (n > std::int64_t{UINT32_MAX} - 1) return false;
    const auto count = static_cast<std::size_t>(n);
    const bool text = key.type == KeyType::Text;
    // One block: the entries, as many scratch entries, the listed elements
    // (unless known) and the stack of text groups.
    const std::size_t groups = text ? count / 2 + 1 : 0;
    const std::size_t bytes =
        2 * count * sizeof(Entry) + (known ? 0 : count * sizeof(Element*)) + groups * sizeof(Group);
    void* memory = std::malloc(bytes);
    if (!memory) return false;
    auto* entries = static_cast<Entry*>(memory);
    Entry* scratch = entries + count;
    Element* const* elements = known;
    Group* stack = reinterpret_cast<Group*>(scratch + count);
    if (!known) {
        auto* walked = reinterpret_cast<Element**>(scratch + count);
        stack = reinterpret_cast<Group*>(walked + count);
        ListChain(first, last, count, walked);
        elements = walked;
    }

    FillEntries(key, elements, count, entries);
    if (text)
        SortTextEntries(entries, scratch, static_cast<std::uint32_t>(count), stack, key.descending,
                        key.ignoreCase);
    else
        SortEntries(entries, scratch, count, nullptr);

    // The scratch entries are free again and take the sorted order.
    auto* order = reinterpret_cast<Element**>(scratch);
    sorted = LinkInEntryOrder(elements, entries, count, order);
    if (sortedOrder) std::memcpy(static_cast<void*>(sortedOrder), order, count * sizeof(Element*));
    std::free(memory);
    return true;
}

// Sorts the n >= 2 consecutive elements from `first` to `last` and links
// them back between their neighbours.
void SortChain(RecordList* list, const SortKey& key, Element* first, Element* last,
               std::int64_t n) {
    Element* before = first->previous;
    Element* after = last->next;
    // A sort of the whole list keeps the order it leaves for the next one.
    const bool whole = n == list->count;
    Element* const* known = whole ? list->order : nullptr;
    if (!whole)
        DropOrder(list);
    else if (!list->order)
        list->order =
            static_cast<Element**>(std::malloc(static_cast<std::size_t>(n) * sizeof(Element*)));
    Chain sorted;
    if (!gUseSortArray ||
        !ArraySortChain(key, first, last, n, known, whole ? list->order : nullptr, sorted)) {
        DropOrder(list);
        sorted = MergeSortChain(key, first, n);
    }

    sorted.first->previous = before;
    if (before)
        before->next = sorted.first;
    else
        list->first = sorted.first;
    sorted.last->next = after;
    if (after)
        after->previous = sorted.last;
    else
        list->last = sorted.last;
}

// The element at a 0-based position, walking from the nearer end.
Element* ElementAt(const RecordList* list, std::int64_t position) {
    if (position < list->count / 2) {
        Element* e = list->first;
        for (std::int64_t i = 0; i < position; ++i)
            e = e->next;
        return e;
    }
    Element* e = list->last;
    for (std::int64_t i = list->count - 1; i > position; --i)
        e = e->previous;
    return e;
}

} // namespace

void UseSortArray(bool enabled) {
    gUseSortArray = enabled;
}

void SortRecordsByField(RecordList* list, std::int32_t options, std::int64_t field,
                        ElementKind kind) {
    SortRecordRange(list, options, field, kind, -1, -1);
}

void SortRecordRange(RecordList* list, std::int32_t options, std::int64_t field, ElementKind kind,
                     std::int64_t first, std::int64_t last) {
    if (!list) return;
    Element* firstElement;
    Element* lastElement;
    std::int64_t n;
    if (first == -1 && last == -1) {
        firstElement = list->first;
        lastElement = list->last;
        n = list->count;
    } else {
        // Locating the range moves the cursor onto the element at `last`.
        lastElement = last >= 0 && last < list->count ? ElementAt(list, last) : nullptr;
        SetCurrent(list, lastElement);
        if (!lastElement || first < 0 || first > last) return;
        n = last - first + 1;
        firstElement = lastElement;
        for (std::int64_t i = 1; i < n; ++i)
            firstElement = firstElement->previous;
    }
    if (n < 2) return;

    const KeyType type = KeyTypeOf(kind == static_cast<ElementKind>(-1) ? list->kind : kind);
    if (type == KeyType::None) return;
    // A field that does not lie inside the element's data has no value.
    if (field < 0 || field > list->dataSize - FieldWidth(type)) return;
    const SortKey key{type, field, (options & kSortDescending) != 0,
                      (options & kSortIgnoreCase) != 0};
    SortChain(list, key, firstElement, lastElement, n);
}

int CompareTexts(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, sizeof x);
        std::memcpy(&y, b.data() + i, sizeof y);
        if (x != y) break;
    }
    for (; i < n; ++i)
        if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

int CompareTextsIgnoreCase(std::u16string_view a, std::u16string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;
        const char16_t x = FoldCase(a[i]), y = FoldCase(b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

} // namespace qk
