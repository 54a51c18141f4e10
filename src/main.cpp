// Starts TopPeek: the application, the out-of-memory rule, the connection
// layer, the main window and the event loop, which runs until the window
// closes.

#include "core/CoreDumps.h"
#include "core/Memory.h"
#include "mail/Connection.h"
#include "operations/SecretServiceStore.h"
#include "shell/Help.h"
#include "shell/MainWindowHooks.h"
#include "ui/MainWindow.h"

#include <QApplication>

#include <cstdio>
#include <memory>

using toppeek::core::installOutOfMemoryHandler;
using toppeek::ui::MainWindow;

namespace {

bool isSet(const char* name) {
    return !qEnvironmentVariableIsEmpty(name);
}

// The connection layer's process-wide state (the host cache) for the whole
// life of the main window: started before it can check for mail, stopped
// once it is gone.
struct ConnectionLayer {
    ConnectionLayer() { toppeek::mail::startConnectionLayer(); }
    ~ConnectionLayer() { toppeek::mail::stopConnectionLayer(); }
    ConnectionLayer(const ConnectionLayer&) = delete;
    ConnectionLayer& operator=(const ConnectionLayer&) = delete;
};

} // namespace

int main(int argc, char** argv) {
    // Before anything reads a password.
    toppeek::core::disableCoreDumps();
    // Qt would abort with a long diagnostic; a desktop program without a
    // desktop is better told in one line.
    if (!isSet("DISPLAY") && !isSet("WAYLAND_DISPLAY") && !isSet("QT_QPA_PLATFORM")) {
        std::fputs("toppeek: no display to show the window on (neither DISPLAY nor "
                   "WAYLAND_DISPLAY is set)\n",
                   stderr);
        return 1;
    }
    QApplication application(argc, argv);
    installOutOfMemoryHandler();
    toppeek::shell::installHelpKeyInEveryWindow();
    // Declared before the window, so that it outlives it.
    const ConnectionLayer connectionLayer;
    MainWindow window(nullptr, toppeek::shell::mainWindowHooks());
    window.setPasswordStore(std::make_unique<toppeek::operations::SecretServiceStore>());
    window.show();
    return application.exec();
}
