#include "ui/common/ListRules.h"

#include "ui/Events.h"

#include <algorithm>

namespace qk::ui {

ClickEvents ClickNotification(std::int64_t& lastSelected, std::int64_t selectedRow,
                              std::int64_t type) {
    ClickEvents events{false, true};
    if (selectedRow < 0 && lastSelected != -1) {
        lastSelected = -1;
        events.selectionLost = true;
    }
    if (type == kLeftClick && selectedRow < 0) events.click = false;
    return events;
}

bool SelectionChangeNotification(std::int64_t& lastSelected, std::int64_t row, bool nowSelected,
                                 bool wasSelected, bool checkChanged) {
    if (nowSelected) {
        lastSelected = row;
        return true;
    }
    return wasSelected || checkChanged;
}

std::int64_t TopRowFor(std::int64_t row, std::int64_t rows, std::int64_t perPage) {
    const std::int64_t last = std::max<std::int64_t>(0, rows - std::max<std::int64_t>(1, perPage));
    return std::clamp<std::int64_t>(row, 0, last);
}

std::int64_t RowToSelect(std::int64_t row, std::int64_t rows) {
    return row >= 0 && row < rows ? row : -1;
}

} // namespace qk::ui
