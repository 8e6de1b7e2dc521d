// What a list reports of the user's clicks and of its selection changes.
// Each list keeps a record of its last selected row, 0 when it is made.
#pragma once

#include <cstdint>

namespace qk::ui {

// The events a click on a list makes, in order.
struct ClickEvents {
    bool selectionLost; // type 768: no row is selected now, and one was recorded
    bool click;         // the click's own type
};

// A click of `type` (left: 0, right: 1) after which `selectedRow` is
// selected (-1 for none). A left click reports itself only with a row
// selected; a click that leaves no row selected reports the lost selection
// once.
ClickEvents ClickNotification(std::int64_t& lastSelected, std::int64_t selectedRow,
                              std::int64_t type);

// A row's state changed: whether that is a selection change (type 768). A
// row that becomes selected is recorded.
bool SelectionChangeNotification(std::int64_t& lastSelected, std::int64_t row, bool nowSelected,
                                 bool wasSelected, bool checkChanged);

// The row a list of `rows` rows, with room for `perPage` whole rows, shows
// at its top when asked to scroll `row` there: no further than its last
// full page, and 0 for an empty list.
std::int64_t TopRowFor(std::int64_t row, std::int64_t rows, std::int64_t perPage);

// The row the program's selection of `row` lands on: the row when it
// exists, -1 (none) otherwise.
std::int64_t RowToSelect(std::int64_t row, std::int64_t rows);

} // namespace qk::ui
