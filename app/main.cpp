// Firmware: loads a firmware or font package into a receipt printer.
#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "settings/locations.h"
#include "settings/settings_store.h"
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
            std::printf("Usage: Firmware [--help] [--version]\n\n"
                        "Opens the window of the Firmware Downloader: choose a package with\n"
                        "File > Open, the printer's interface, then press Download Start.\n"
                        "Without a window, use firmware-cli (firmware-cli --help).\n\n"
                        "Files:\n"
                        "  settings  %s (written by &OK)\n"
                        "  packages  %s (where File > Open starts)\n"
                        "  ports     %s/ports/COMn (links to serial devices)\n",
                        fw::settingsFilePath(where.settingsFolder).c_str(),
                        where.packagesFolder.c_str(), where.settingsFolder.c_str());
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

    fw::TavlibBinding usb(where.libraryFolder);
    fw::ProductChannels channels(where.settingsFolder, usb);
    fw::SteadyClock clock;
    fw::MainWindow window(where, usb, channels, clock);
    window.setWindowIcon(icon);
    window.startUp();
    window.show();
    window.activateWindow();
    return app.exec();
}
