// The progress window on Qt's progress dialog.
#include "ui/Progress.h"
#include "ui/common/WindowRules.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QProgressDialog>

#include <memory>

namespace qk {
namespace {

std::unique_ptr<QProgressDialog> progressWindow;

} // namespace

bool OpenProgressWindow(const Text& title, const Text& text) {
    if (!qApp) return false;
    progressWindow = std::make_unique<QProgressDialog>(
        ui::ToQString(text), QStringLiteral("Cancel"), 0, ui::kProgressSteps);
    progressWindow->setWindowTitle(ui::ToQString(title));
    progressWindow->setMinimumDuration(0); // the caller decides when it is worth showing
    progressWindow->setAutoReset(false);
    progressWindow->setAutoClose(false);
    progressWindow->setMinimumWidth(360);
    progressWindow->show();
    QApplication::processEvents();
    return progressWindow->isVisible();
}

bool UpdateProgressWindow(std::uint64_t done, std::uint64_t total) {
    if (!progressWindow) return true;
    progressWindow->setValue(ui::ProgressStep(done, total));
    QApplication::processEvents();
    return !progressWindow->wasCanceled();
}

void RepaintWindows() {
    // Paints and the window system's messages only: input and timers wait
    // for the event loop, so nothing of the program runs in the middle of
    // the task.
    if (qApp)
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::X11ExcludeTimers);
}

void CloseProgressWindow() {
    progressWindow.reset();
}

} // namespace qk
