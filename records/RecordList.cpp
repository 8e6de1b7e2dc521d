#include "records/RecordList.h"

#include <vector>

#include "records/RecordListInternal.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

namespace qk {

// Element pools
//
// A slot is one word naming its block, followed by the element (links and
// data) rounded up to 8 bytes. A block is a header followed by its slots.
// Slots never handed out are taken from the block's untouched tail; returned
// slots go onto the block's free chain (linked through their first element
// word) and are taken again before any untouched slot. A block whose slots
// have all come back goes back to the heap at once.

namespace {

constexpr std::size_t kSlotHeader = sizeof(void*);
constexpr std::size_t kMinBlockSlots = 16;
constexpr std::size_t kMaxBlockSlots = 65536;
// Keeps every size computation far from overflow.
constexpr std::int64_t kMaxDataSize = std::int64_t{1} << 32;

struct PoolBlock {
    PoolBlock* nextWithFree;
    PoolBlock* previousWithFree;
    std::byte* freeChain; // returned slots, null when none
    std::size_t slotCount;
    std::size_t usedCount;
    std::size_t untouched; // slots from here to slotCount were never handed out
};
static_assert(sizeof(PoolBlock) % 8 == 0, "slots stay 8-byte aligned");

std::size_t RoundUp8(std::size_t n) {
    return (n + 7) & ~std::size_t{7};
}

std::size_t ElementSize(std::int64_t dataSize) {
    return sizeof(Element) + RoundUp8(static_cast<std::size_t>(dataSize));
}

std::size_t SlotSize(std::int64_t dataSize) {
    return kSlotHeader + ElementSize(dataSize);
}

} // namespace

struct ElementPool {
    std::mutex lock;
    std::size_t slotSize = 0;
    std::int64_t users = 0;
    std::size_t totalSlots = 0;
    std::int64_t blocks = 0;
    std::int64_t slotsInUse = 0;
    PoolBlock* withFree = nullptr; // blocks whose free chain is not empty
    PoolBlock* fresh = nullptr;    // the block that still has untouched slots
    ElementPool* nextPool = nullptr;
};

namespace {

std::mutex gPoolTableLock;
ElementPool* gPools = nullptr;

std::byte* SlotAt(PoolBlock* block, std::size_t index, std::size_t slotSize) {
    return reinterpret_cast<std::byte*>(block + 1) + index * slotSize;
}

void LinkWithFree(ElementPool* pool, PoolBlock* block) {
    block->previousWithFree = nullptr;
    block->nextWithFree = pool->withFree;
    if (pool->withFree) pool->withFree->previousWithFree = block;
    pool->withFree = block;
}

void UnlinkWithFree(ElementPool* pool, PoolBlock* block) {
    if (block->previousWithFree)
        block->previousWithFree->nextWithFree = block->nextWithFree;
    else
        pool->withFree = block->nextWithFree;
    if (block->nextWithFree) block->nextWithFree->previousWithFree = block->previousWithFree;
    block->nextWithFree = block->previousWithFree = nullptr;
}

PoolBlock* TryBlock(std::size_t slots, std::size_t slotSize) {
    if (slotSize > (SIZE_MAX - sizeof(PoolBlock)) / slots) return nullptr;
    void* memory = std::malloc(sizeof(PoolBlock) + slots * slotSize);
    if (!memory) return nullptr;
    auto* block = static_cast<PoolBlock*>(memory);
    *block = PoolBlock{nullptr, nullptr, nullptr, slots, 0, 0};
    return block;
}

// A new block of a sixteenth of the pool's slots (a multiple of 16 between
// 16 and 65,536), or of a single slot when that much cannot be had.
PoolBlock* NewBlock(ElementPool* pool) {
    std::size_t slots = (pool->totalSlots / 16) & ~std::size_t{15};
    if (slots < kMinBlockSlots) slots = kMinBlockSlots;
    if (slots > kMaxBlockSlots) slots = kMaxBlockSlots;
    PoolBlock* block = TryBlock(slots, pool->slotSize);
    if (!block) block = TryBlock(1, pool->slotSize);
    if (!block) return nullptr;
    pool->totalSlots += block->slotCount;
    ++pool->blocks;
    return block;
}

void FreeBlock(ElementPool* pool, PoolBlock* block) {
    if (block->freeChain) UnlinkWithFree(pool, block);
    if (pool->fresh == block) pool->fresh = nullptr;
    pool->totalSlots -= block->slotCount;
    --pool->blocks;
    std::free(block);
}

// Takes a slot; the pool's lock must be held. Returns the element's place,
// or null when no memory could be had.
Element* TakeSlot(ElementPool* pool) {
    std::byte* slot;
    PoolBlock* block = pool->withFree;
    if (block) {
        slot = block->freeChain;
        std::memcpy(&block->freeChain, slot + kSlotHeader, sizeof(std::byte*));
        if (!block->freeChain) UnlinkWithFree(pool, block);
    } else {
        block = pool->fresh;
        if (!block) {
            block = NewBlock(pool);
            if (!block) return nullptr;
            pool->fresh = block;
        }
        slot = SlotAt(block, block->untouched++, pool->slotSize);
        if (block->untouched == block->slotCount) pool->fresh = nullptr;
        std::memcpy(slot, &block, sizeof block);
    }
    ++block->usedCount;
    ++pool->slotsInUse;
    return reinterpret_cast<Element*>(slot + kSlotHeader);
}

// Returns an element's slot; the pool's lock must be held.
void ReturnSlot(ElementPool* pool, Element* element) {
    std::byte* slot = reinterpret_cast<std::byte*>(element) - kSlotHeader;
    PoolBlock* block;
    std::memcpy(&block, slot, sizeof block);
    --pool->slotsInUse;
    if (--block->usedCount == 0) {
        FreeBlock(pool, block);
        return;
    }
    std::memcpy(slot + kSlotHeader, &block->freeChain, sizeof(std::byte*));
    const bool wasEmpty = block->freeChain == nullptr;
    block->freeChain = slot;
    if (wasEmpty) LinkWithFree(pool, block);
}

// The pool for slots of `slotSize` bytes, with one more user; null when no
// memory could be had.
ElementPool* AcquirePool(std::size_t slotSize) {
    std::lock_guard guard(gPoolTableLock);
    ElementPool* pool = gPools;
    while (pool && pool->slotSize != slotSize)
        pool = pool->nextPool;
    if (!pool) {
        pool = new (std::nothrow) ElementPool;
        if (!pool) return nullptr;
        pool->slotSize = slotSize;
        pool->nextPool = gPools;
        gPools = pool;
    }
    ++pool->users;
    return pool;
}

// Gives up one user's share; the last one releases the pool. By then every
// list of the pool has returned its slots, so no block is left.
void ReleasePool(ElementPool* pool) {
    std::lock_guard guard(gPoolTableLock);
    if (--pool->users > 0) return;
    ElementPool** link = &gPools;
    while (*link != pool)
        link = &(*link)->nextPool;
    *link = pool->nextPool;
    delete pool;
}

// The field map's offsets that can hold a text inside the data, each once,
// ended by -1. Null when no memory could be had.
std::int64_t* ValidTextOffsets(FieldMap fieldMap, std::int64_t dataSize) {
    std::size_t n = 0;
    if (fieldMap)
        while (fieldMap[n] != -1)
            ++n;
    auto* offsets = static_cast<std::int64_t*>(std::malloc((n + 1) * sizeof(std::int64_t)));
    if (!offsets) return nullptr;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::int64_t offset = fieldMap[i];
        if (offset < 0 || offset % 8 != 0 || offset > dataSize - std::int64_t{sizeof(Text)})
            continue;
        bool seen = false;
        for (std::size_t k = 0; k < kept; ++k)
            seen = seen || offsets[k] == offset;
        if (!seen) offsets[kept++] = offset;
    }
    offsets[kept] = -1;
    return offsets;
}

} // namespace

ElementPoolStats ElementPoolStatsFor(std::int64_t dataSize) {
    ElementPoolStats stats;
    if (dataSize < 0 || dataSize > kMaxDataSize) return stats;
    std::lock_guard guard(gPoolTableLock);
    ElementPool* pool = gPools;
    while (pool && pool->slotSize != SlotSize(dataSize))
        pool = pool->nextPool;
    if (!pool) return stats;
    std::lock_guard poolGuard(pool->lock);
    stats.users = pool->users;
    stats.slotSize = static_cast<std::int64_t>(pool->slotSize);
    stats.totalSlots = static_cast<std::int64_t>(pool->totalSlots);
    stats.blocks = pool->blocks;
    stats.slotsInUse = pool->slotsInUse;
    return stats;
}

// Lists

RecordList* CreateRecordList(std::int64_t dataSize, ListVariable* variable, FieldMap fieldMap,
                             ElementKind kind) {
    if (variable) *variable = ListVariable{};
    if (dataSize < 0 || dataSize > kMaxDataSize) return nullptr;

    std::int64_t* offsets = ValidTextOffsets(fieldMap, dataSize);
    auto* list = new (std::nothrow) RecordList;
    ListVariable* ownVariable = variable ? nullptr : new (std::nothrow) ListVariable;
    ElementPool* pool =
        offsets && list && (variable || ownVariable) ? AcquirePool(SlotSize(dataSize)) : nullptr;
    if (!pool) {
        std::free(offsets);
        delete list;
        delete ownVariable;
        return nullptr;
    }

    list->textOffsets = offsets;
    list->dataSize = dataSize;
    list->kind = kind;
    list->pool = pool;
    list->variable = variable ? variable : ownVariable;
    list->ownsVariable = ownVariable != nullptr;
    list->variable->list = list;
    list->variable->current = nullptr;
    return list;
}

void FreeRecordList(RecordList* list) {
    if (!list) return;
    ClearRecords(list);
    ReleasePool(list->pool);
    // The variable may have been bound to another list since; leave that one.
    if (list->variable->list == list) *list->variable = ListVariable{};
    if (list->ownsVariable) delete list->variable;
    std::free(const_cast<std::int64_t*>(list->textOffsets));
    delete list;
}

void* AppendRecord(RecordList* list) {
    if (!list) return nullptr;
    Element* element;
    {
        std::lock_guard guard(list->pool->lock);
        element = TakeSlot(list->pool);
    }
    if (!element) return nullptr;
    if (list->order) DropOrder(list);
    std::memset(static_cast<void*>(element), 0, ElementSize(list->dataSize));
    ++list->count;

    Element* current = list->current;
    if (current) {
        element->previous = current;
        element->next = current->next;
        if (current->next) current->next->previous = element;
        current->next = element;
    } else {
        element->next = list->first;
        if (list->first) list->first->previous = element;
    }
    if (!element->previous) list->first = element;
    if (!element->next) list->last = element;
    SetCurrent(list, element);
    return element->Data();
}

std::int64_t RecordCount(const RecordList* list) {
    return list ? list->count : 0;
}

namespace {

void ReleaseElement(RecordList* list, Element* element) {
    auto* data = static_cast<std::byte*>(element->Data());
    for (const std::int64_t* offset = list->textOffsets; *offset != -1; ++offset)
        std::destroy_at(reinterpret_cast<Text*>(data + *offset));
    ReturnSlot(list->pool, element);
}

} // namespace

void ClearRecords(RecordList* list) {
    if (!list) return;
    if (list->first) {
        std::lock_guard guard(list->pool->lock);
        if (Element** order = list->order) {
            // The order the last sort left: no walk from element to element.
            constexpr std::int64_t kAhead = 8;
            for (std::int64_t i = 0; i < list->count; ++i) {
                if (i + kAhead < list->count) Prefetch(order[i + kAhead]);
                ReleaseElement(list, order[i]);
            }
        } else {
            Element* element = list->first;
            while (element) {
                Element* next = element->next;
                ReleaseElement(list, element);
                element = next;
            }
        }
    }
    DropOrder(list);
    list->first = list->last = nullptr;
    list->count = 0;
    SetCurrent(list, nullptr);
}

void ResetCursor(RecordList* list) {
    if (list) SetCurrent(list, nullptr);
}

void* NextRecord(RecordList* list) {
    if (!list) return nullptr;
    Element* current = list->current;
    if (!current) {
        SetCurrent(list, list->first);
        return list->first ? list->first->Data() : nullptr;
    }
    if (current->next) {
        SetCurrent(list, current->next);
        return current->next->Data();
    }
    SetCurrent(list, current);
    return nullptr;
}

void CollectRecords(RecordList* list, std::vector<void*>& records) {
    records.clear();
    if (!list || !list->first) return;
    records.reserve(static_cast<std::size_t>(list->count));
    if (Element** order = list->order) {
        for (std::int64_t i = 0; i < list->count; ++i)
            records.push_back(order[i]->Data());
    } else {
        for (Element* element = list->first; element; element = element->next)
            records.push_back(element->Data());
    }
    SetCurrent(list, list->last);
}

void* CurrentRecord(const RecordList* list) {
    return list && list->current ? list->current->Data() : nullptr;
}

ListVariable* VariableOf(const RecordList* list) {
    return list ? list->variable : nullptr;
}

} // namespace qk
