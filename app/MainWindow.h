// The program's one window: two record lists, the sort options, the find
// field and the count label, at fixed places.
#pragma once

#include <cstdint>

namespace qk {

// Window and control numbers.
constexpr std::int64_t MainWindow = 0;
constexpr std::int64_t RecordListView = 0;
constexpr std::int64_t FirstSortOption = 1; // options 1 to 6: Pfad, Name, Byte, Datum, Zeit, User
constexpr std::int64_t LastSortOption = 6;
constexpr std::int64_t SortLabel = 7;
constexpr std::int64_t ExportButton = 8;
constexpr std::int64_t MatchListView = 9;
constexpr std::int64_t FindLabel = 10;
constexpr std::int64_t FindField = 11;
constexpr std::int64_t CountLabel = 12;

// Opens the main window and creates its thirteen controls in order. Returns
// false, creating no control, when the window cannot be opened.
bool OpenMainWindow();

} // namespace qk
