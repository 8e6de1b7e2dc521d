// Start and end of the window layer.
#include "ui/UiSupport.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>

#include <cstdlib>
#include <memory>
#include <string_view>

#include <xcb/xcb.h>

namespace qk {

namespace {

std::unique_ptr<QApplication> application;

// Whether a platform can be reached at all: without one, QApplication
// would end the process instead of failing. A named X display is asked
// whether it accepts this program.
bool DisplayReachable() {
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const bool xcb = !set("QT_QPA_PLATFORM") || std::string_view(platform).starts_with("xcb");
    if (!xcb || (!set("QT_QPA_PLATFORM") && set("WAYLAND_DISPLAY"))) return true;
    if (!set("DISPLAY")) return false;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    const bool reached = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return reached;
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
    ui::InstallListKeys();
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
