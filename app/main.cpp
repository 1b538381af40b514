// Start-up of the desktop program: its command line, then the window and the photo it names.
#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "PixelBuffer.h"
#include "ProgramIcon.h"
#include "QtPlatformServices.h"
#include "QtTranslations.h"
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

// What the command line asks for: a photo to open, or an exit status without a window.
struct Start {
    std::optional<std::string> photo;
    std::optional<int> exitStatus;
};

// The argument's own bytes: a name that is not valid UTF-8 (an old Shift_JIS folder, say) would
// not survive the trip through QString.
std::string ArgumentBytes(const QString& argument, int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (QString::fromLocal8Bit(argv[i]) == argument) {
            return argv[i];
        }
    }
    return argument.toLocal8Bit().toStdString();
}

// Runs after the application object has taken its own options (-platform and the like) out.
Start ReadCommandLine(const QCoreApplication& app, int argc, char** argv) {
    QCommandLineParser parser;
    parser.setApplicationDescription("Pseudo-HDR look for one photograph by local tone mapping.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument("file", "A photo to open at start.", "[file]");
    const auto usageError = [&parser](const QString& reason) {
        const QString usage = parser.helpText().section('\n', 0, 0);
        std::fprintf(stderr, "zelqorhdr: %s\n%s\n", qUtf8Printable(reason), qUtf8Printable(usage));
        return Start{std::nullopt, 2};
    };
    if (!parser.parse(app.arguments())) {
        return usageError(parser.errorText());
    }
    parser.process(app);  // answers --help, --help-all and --version on standard output, exits
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1) {
        // One window shows one photo; taking the first of several would hide the others' fate.
        return usageError(QStringLiteral("one file at a time, not %1").arg(files.size()));
    }
    if (files.isEmpty()) {
        return {};
    }
    if (files.front().isEmpty()) {
        return usageError(QStringLiteral("the file name is empty"));
    }
    // The open dialog hands over a full path; the save dialog later starts from it.
    return Start{std::filesystem::absolute(ArgumentBytes(files.front(), argc, argv)).string(),
                 std::nullopt};
}

void SetIdentity() {
    QCoreApplication::setApplicationName("zelqorhdr");
    QCoreApplication::setApplicationVersion(ZELQOR_VERSION);
}

}  // namespace

int main(int argc, char** argv) {
    zelqor::GiveLargeBlocksBackWhenFreed();
    SetIdentity();
    if (!DisplayReachable()) {
        // --help and --version still answer without a display.
        const QCoreApplication core(argc, argv);
        const Start start = ReadCommandLine(core, argc, argv);
        if (start.exitStatus) {
            return *start.exitStatus;
        }
        std::fprintf(stderr,
                     "zelqorhdr: no display to open the window on (DISPLAY is not set); "
                     "the batch tool zelqorhdr-cli works without one\n");
        return 1;
    }
    QApplication app(argc, argv);
    const Start start = ReadCommandLine(app, argc, argv);
    if (start.exitStatus) {
        return *start.exitStatus;
    }
    InstallQtTranslations(app);
    QApplication::setWindowIcon(ProgramIcon());
    QGuiApplication::setDesktopFileName(
        "io.github.zelqorhdr.ZelqorHDR");  // ties Wayland windows to the menu entry
    zelqor::QtPlatformServices services;
    TForm1 window(services);
    services.SetParentWindow(&window);
    window.CreateDialogs();
    window.show();
    if (start.photo) {
        // Once the loop runs, so a failure's message box stands over the shown window.
        QTimer::singleShot(0, &window, [&window, &start] { window.OpenFile(*start.photo); });
    }
    return app.exec();
}
