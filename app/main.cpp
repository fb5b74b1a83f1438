// Firmware: loads a firmware or font package into a receipt printer.
#include "choice/printer_access.h"
#include "choice/program_help.h"
#include "window/main_window.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Decided once: the settings file, the packages and the port links live
    // in the program's folder, or, for an installed program, in the user's
    // configuration folder and among the installed samples.
    const fw::Locations where = fw::programLocations();

    // Answered before any window exists, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(fw::windowProgramHelp(where, "\n", true).c_str(), stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Firmware %s\n", FW_VERSION);
            return 0;
        }
    }
    QApplication app(argc, argv);
    // One look on every platform, and the button colours the design asks for.
    app.setStyle(QStyleFactory::create("Fusion"));
    QIcon icon;
    for (int size : {16, 24, 32, 48})
        icon.addFile(QString(":/images/icon-%1.png").arg(size), QSize(size, size));
    app.setWindowIcon(icon);

    fw::PrinterAccess access(where);
    fw::MainWindow window(where, access.usb, access.channels, access.clock);
    window.setWindowIcon(icon);
    window.startUp();
    window.show();
    window.activateWindow();
    return app.exec();
}
