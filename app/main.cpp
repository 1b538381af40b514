// Start-up of the desktop program.
#include <QApplication>
#include <cstdio>
#include <cstdlib>

#include "ProgramIcon.h"
#include "QtPlatformServices.h"
#include "TForm1.h"

namespace {

// Qt aborts when it cannot reach a display; a plain line and an exit status say more.
bool DisplayReachable() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (platform != nullptr && *platform != '\0') {
        return true;  // the user chose a platform; let Qt judge it
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}

}  // namespace

int main(int argc, char** argv) {
    if (!DisplayReachable()) {
        std::fprintf(stderr,
                     "zelqorhdr: no display to open the window on (DISPLAY is not set); "
                     "the batch tool zelqorhdr-cli works without one\n");
        return 1;
    }
    QApplication app(argc, argv);
    QApplication::setWindowIcon(ProgramIcon());
    zelqor::QtPlatformServices services;
    TForm1 window(services);
    services.SetParentWindow(&window);
    window.CreateDialogs();
    window.show();
    return app.exec();
}
