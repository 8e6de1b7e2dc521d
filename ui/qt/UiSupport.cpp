// Start and end of the window layer.
#include "ui/UiSupport.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>

#include <cstdlib>
#include <memory>

namespace qk {

namespace {

std::unique_ptr<QApplication> application;

// Whether a platform can be reached at all: without one, QApplication
// would end the process instead of failing.
bool DisplayReachable() {
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

} // namespace

bool StartUserInterface(int& argc, char** argv) {
    if (!QCoreApplication::instance()) {
        if (!DisplayReachable()) return false;
        application = std::make_unique<QApplication>(argc, argv);
    }
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return false;
    // The windows stay until the program removes them.
    QApplication::setQuitOnLastWindowClosed(false);
    ui::LoadDefaultGuiFont();
    ui::InstallEventSupport();
    return true;
}

void EndUserInterface() {
    if (!QCoreApplication::instance()) return;
    ui::CloseAllWindows();
    ui::EndEventSupport();
    // Whatever the closed windows left for later goes before the application.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    application.reset();
}

} // namespace qk
