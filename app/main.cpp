// Start-up of the desktop program.
#include <QApplication>
#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    std::fputs(
        "ZelqorHDR: the main window is not built yet. The engine, view styles and tests are in "
        "place; run ./build.sh test to exercise them.\n",
        stdout);
    return 0;
}
