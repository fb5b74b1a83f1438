// The program's window with its own parts, where main() would find its files
// from the folder this copy runs in: chooses Ethernet with the address given,
// presses "&OK", and prints where the settings file is.
//   fw_install_store_settings ADDRESS
#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "settings/locations.h"
#include "settings/settings_store.h"
#include "ui_Form1.h"
#include "window/main_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fw_install_store_settings ADDRESS\n");
        return 2;
    }
    const fw::Locations where = fw::programLocations();
    fw::TavlibBinding usb(where.libraryFolder);
    fw::ProductChannels channels(where.settingsFolder, usb);
    fw::SteadyClock clock;
    fw::MainWindow window(where, usb, channels, clock);
    window.startUp();
    window.show();
    window.controls().OptEthernet->click();
    window.controls().TextEthernet->setText(QString::fromLocal8Bit(argv[1]));
    window.controls().cmdClose->click();
    std::printf("%s\n", fw::settingsFilePath(where.settingsFolder).c_str());
    return window.isVisible() ? 1 : 0;
}
