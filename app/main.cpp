// Start-up of the desktop program.
#include <QtGlobal>
#include <cstdio>

int main() {
    // The main window is not built yet; say so instead of opening an empty one.
    std::printf(
        "ZelqorHDR %s: the main window is not built yet.\n"
        "The engine, view styles, image files and the batch tool are in place:\n"
        "  ./build/release/cli/zelqorhdr-cli --help\n",
        ZELQOR_VERSION);
    std::printf("(built against Qt %s)\n", QT_VERSION_STR);
    return 0;
}
