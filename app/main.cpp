// Firmware: loads a firmware or font package into a receipt printer.
#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "window/main_window.h"

#include <QApplication>
#include <QIcon>
#include <QStyleFactory>

int main(int argc, char** argv)
{
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
