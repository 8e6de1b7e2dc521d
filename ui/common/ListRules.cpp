#include "ui/common/ListRules.h"

#include "ui/Events.h"

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

} // namespace qk::ui
