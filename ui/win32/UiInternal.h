// Shared state of the Win32 window layer: the window table, the control
// registry, the event queue and the rows of the owner-data lists. Nothing
// outside ui/ and its tests includes this header.
#pragma once

#include "text/Text.h"
#include "ui/Controls.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qk::ui {

// A NUL-terminated copy for the W functions (wchar_t is UTF-16 here).
inline std::wstring Wide(const Text& text) {
    return std::wstring(text.begin(), text.end());
}
inline Text FromWide(const wchar_t* units, std::size_t length) {
    return Text(std::u16string_view(reinterpret_cast<const char16_t*>(units), length));
}

enum class ControlKind { None, List, OptionButton, PushButton, TextLabel, TextField };

// The rows of a list, kept by the layer itself: the list control asks for
// the texts it shows (owner data), so a fill costs no call per cell. Rows are
// stored in chunks of kChunkRows rows of `columns` texts each, so appending
// never moves the rows already stored.
class ListRows {
  public:
    static constexpr std::int64_t kChunkRows = 4096;

    std::int64_t Rows() const { return source_ ? std::int64_t(sourceRows_.size()) : rows_; }
    int Columns() const { return int(stride_); }
    // Every stored row gets an empty cell at `index`. False without memory.
    bool InsertColumn(int index);
    // Appends for position -1 or beyond the last row; fills the cells from
    // column 0 on, split at line feeds. False when no memory was left.
    bool AddRow(std::int64_t position, const Text& text);
    // Nothing for a row or column that does not exist.
    void SetCells(std::int64_t row, int column, const Text& text);
    Text Cell(std::int64_t row, int column) const;
    const Text* CellOrNull(std::int64_t row, int column) const;
    // The text of a cell, stored or read from the source; empty when missing.
    std::u16string_view CellView(std::int64_t row, int column) const;
    void Clear();
    // Shows the items `rows` of `source` instead of stored rows.
    void ShowSource(const RowSource* source, std::vector<std::uint32_t> rows);
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
};

struct ListState {
    ListRows rows;
    std::int64_t shownRows = 0;     // rows the list control knows of
    std::int64_t lastSelected = 0;  // the last selected row record
    std::int64_t changedFirst = -1; // rows whose cells changed since the last flush
    std::int64_t changedLast = -1;
};

struct ControlRecord {
    HWND hwnd = nullptr;
    ControlKind kind = ControlKind::None;
    std::int64_t window = -1;
    WNDPROC original = nullptr;      // the class's own procedure, behind the layer's hook
    std::unique_ptr<ListState> list; // for ControlKind::List
};

struct WindowRecord {
    HWND hwnd = nullptr;
    HACCEL shortcuts = nullptr; // Tab and Shift+Tab
    HWND focusMemory = nullptr; // the control that had the focus at the last deactivation
    bool created = false;       // OpenWindow has finished: moves and sizes become events
    bool optionRun = false;     // the control made last was an option button
    bool minimized = false;
    bool maximized = false;
    std::wstring className;
};

// Table look-ups; null when the number is unused or out of range.
ControlRecord* FindControl(std::int64_t control);
WindowRecord* FindWindow(std::int64_t window);
// The number of a window of the layer, -1 for any other.
std::int64_t WindowNumberOf(HWND hwnd);

// Pixels at 96 DPI to pixels of the display.
int Scale(int pixels);
void SetDisplayDpi(int dpi);

// Event queue (EventQueue.cpp).
void PostEvent(std::int64_t number, std::int64_t source, std::int64_t window, std::int64_t type);
// Appends even while events are suppressed: for events handed over from
// another thread.
void PostEventUnsuppressed(std::int64_t number, std::int64_t source, std::int64_t window,
                           std::int64_t type);
void RemoveControlEvents(std::int64_t control, std::int64_t window);
void RemoveWindowEvents(std::int64_t window);
void RemoveSizeEvents(std::int64_t window);
void ClearEvents();
// Applies the active window's shortcuts to a fetched message, or translates
// and dispatches it.
void HandleMessage(MSG& message);
// Test hook: handles one waiting message as WaitForEvent would, without
// blocking; false when none waits.
bool HandleWaitingMessage();
// The shortcut table of the active window, if it is one of the layer's.
HACCEL ShortcutsOf(HWND window);

inline int suppressedEvents = 0; // SuppressEvents: dropped while above 0

class SuppressEvents {
  public:
    SuppressEvents() { ++suppressedEvents; }
    ~SuppressEvents() { --suppressedEvents; }
    SuppressEvents(const SuppressEvents&) = delete;
    SuppressEvents& operator=(const SuppressEvents&) = delete;
};

// Tells every list control the rows appended and the cells changed since the
// last return to the event loop.
void FlushLists();

// Closes every window and forgets every control (Windows.cpp).
void CloseAllWindows();

// The name assistive technology announces for a control (Windows.cpp), and
// the annotation that gives a window's accessible object a name
// (Accessibility.cpp); false when the system keeps no annotations.
void SetAccessibleNameOf(std::int64_t control, const Text& name);
bool AnnotateName(HWND hwnd, const std::wstring& name);

// The layer's hidden window (UiSupport.cpp), for calls that need a window of
// the process when none of the program's is open.
HWND WakeWindow();

// Test hooks: whether an event waits, and taking one without ever blocking
// (false when none waits; then the current event is left alone).
bool HasWaitingEvent();
bool TakeWaitingEvent(std::int64_t& number);
std::size_t WaitingEventCount();
// The list state of a list control, for tests.
ListState* ListOf(std::int64_t control);
HWND ControlHandle(std::int64_t control);
HWND WindowHandle(std::int64_t window);

} // namespace qk::ui
