// Start and end of the window layer.
#include "ui/UiSupport.h"
#include "ui/qt/UiInternal.h"

#include <QApplication>
#include <QSemaphore>
#include <QThreadPool>

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

// Qt paints large areas on the threads of its global pool and waits for
// them. A pool thread that cannot be started, as when a big log has taken the
// address space a limit leaves, would leave that painting, and with it the
// whole program, waiting for ever. So the pool's threads are started here,
// before any log is loaded, and kept for the program's life: the pool then
// never needs a new one. False when they could not all be started.
bool StartPaintingThreads() {
    QThreadPool* pool = QThreadPool::globalInstance();
    pool->setExpiryTimeout(-1);
    const int threads = pool->maxThreadCount();
    // Shared with the tasks, which may outlive a wait that gave up.
    struct Gates {
        QSemaphore started, go;
    };
    const auto gates = std::make_shared<Gates>();
    // Each task holds its thread until all have started, so each has its own.
    for (int i = 0; i < threads; ++i)
        pool->start([gates] {
            gates->started.release();
            gates->go.acquire();
        });
    const bool allStarted = gates->started.tryAcquire(threads, 10'000);
    gates->go.release(threads);
    return allStarted;
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
    StartPaintingThreads();
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
