// Files dropped on a window from Explorer.
#include "ui/Desktop.h"
#include "ui/Events.h"
#include "ui/win32/UiInternal.h"

#include <shellapi.h>

#include <string>

namespace qk {
namespace {

Text gDroppedFile;

} // namespace

namespace ui {

void AcceptFileDrops(HWND hwnd) {
    DragAcceptFiles(hwnd, TRUE);
}

LRESULT TakeFileDrop(WPARAM wParam, std::int64_t window) {
    const HDROP drop = reinterpret_cast<HDROP>(wParam);
    // The first file alone; the others are passed over without a word.
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0 && length > 0) {
        std::wstring path(length + 1, L'\0');
        const UINT copied = DragQueryFileW(drop, 0, path.data(), length + 1);
        path.resize(copied);
        if (!path.empty()) {
            gDroppedFile = Text(std::u16string(path.begin(), path.end()));
            PostEvent(DropEvent, 0, window, 0);
        }
    }
    DragFinish(drop);
    return 0;
}

} // namespace ui

Text DroppedFile() {
    return gDroppedFile;
}

} // namespace qk
