// RecordList: a doubly linked list of fixed-layout elements with one cursor.
//
// Callers append at the cursor, walk the list from the front with ResetCursor
// and NextRecord, and read or write the current element's data in place. The
// list owns its elements and the texts at the offsets of its field map;
// elements come from pools shared by all lists of the same slot size.
#pragma once

#include "text/Text.h"

#include <cstdint>
#include <vector>

namespace qk {

// What an element, or one field of it, holds. Only the sort reads it.
enum class ElementKind : std::int32_t {
    Int8 = 1,
    Int16 = 3,
    Int32 = 5,
    Record = 7, // a whole record of several fields: no order of its own
    Text = 8,
    Float32 = 9,
    UInt16 = 11,
    Float64 = 12,
    Int64 = 13,
    Int64Alt = 21,
    UInt8 = 24,
    UInt16Alt = 25,
};

struct Element {
    Element* next;
    Element* previous;
    // followed by the caller's data, aligned to 8 bytes
    void* Data() noexcept { return this + 1; }
};

struct RecordList;

// The caller's handle to a list: the list and its current element, kept up
// to date by every operation that moves the cursor.
struct ListVariable {
    RecordList* list = nullptr;
    Element* current = nullptr;
};

// Byte offsets of the text members of an element's data, ended by -1.
using FieldMap = const std::int64_t*;

// Makes an empty list whose elements carry `dataSize` bytes of data. When
// `variable` is null the list makes and owns a variable of its own.
RecordList* CreateRecordList(std::int64_t dataSize, ListVariable* variable, FieldMap fieldMap,
                             ElementKind kind);
// Clears and releases the list; both words of its variable become null.
void FreeRecordList(RecordList* list);
// Inserts a zero-filled element after the current one (at the front when the
// cursor stands before the first element) and makes it current. Returns its
// data, or null when no memory could be had.
void* AppendRecord(RecordList* list);
std::int64_t RecordCount(const RecordList* list);
void ClearRecords(RecordList* list);
void ResetCursor(RecordList* list);
// Advances the cursor and returns the new current element's data, or null at
// the end (the cursor then stays on the last element).
void* NextRecord(RecordList* list);
// The data of every element, first to last, for walks that read ahead. The
// cursor then stands on the last element, as after a walk with NextRecord
// that ran to the end.
void CollectRecords(RecordList* list, std::vector<void*>& records);
// The data of the current element, or null before the first element.
void* CurrentRecord(const RecordList* list);
ListVariable* VariableOf(const RecordList* list);

} // namespace qk
