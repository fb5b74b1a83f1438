// Firmware: loads a firmware or font package into a receipt printer.
#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "window/main_window.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    // Answered before any window exists, so that they work without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::printf("Usage: Firmware [--help] [--version]\n\n"
                        "Opens the window of the Firmware Downloader: choose a package with\n"
                        "File > Open, the printer's interface, then press Download Start.\n"
                        "Without a window, use firmware-cli (firmware-cli --help).\n");
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

    const std::string programDir = QCoreApplication::applicationDirPath().toStdString();
    fw::TavlibBinding usb(programDir);
    fw::ProductChannels channels(programDir, usb);
    fw::SteadyClock clock;
    fw::MainWindow window(programDir, usb, channels, clock);
    window.setWindowIcon(icon);
    window.startUp();
    window.show();
    window.activateWindow();
    return app.exec();
}
