#include "form/form.h"

#include "channels/serial_port_names.h"
#include "form/open_step.h"
#include "form/session_view.h"
#include "form/startup.h"

#include <cstdint>
#include <cstring>

namespace fw {

void showInterfaceFrame(Toolkit& ui, Ctl option)
{
    if (option != Ctl::OptSerial && option != Ctl::OptUSB && option != Ctl::OptEthernet)
        return;
    ui.setVisible(Ctl::FrameSerial, option == Ctl::OptSerial);
    ui.setVisible(Ctl::FrameUSB, option == Ctl::OptUSB);
    ui.setVisible(Ctl::FrameEthernet, option == Ctl::OptEthernet);
}

void takeUsbDevicePath(Toolkit& ui, FormState& state, UsbLibrary& usb)
{
    state.usbDevicePath.assign(kDevicePathChars, ' ');
    const std::int32_t position = ui.listIndex(Ctl::CboUSB);

    char buffer[UsbLibrary::kNameSize + 1];
    std::memcpy(buffer, state.usbDevicePath.data(), kDevicePathChars);
    buffer[kDevicePathChars] = '\0';
    if (!usb.deviceName(position, buffer).ok())
        return; // no library, no path: the blanks stay, and opening the printer reports it
    // Whatever the result, the buffer is taken whole; readers stop at the NUL.
    state.usbDevicePath.assign(buffer, kDevicePathChars);
}

Form::Form(Toolkit& ui, UsbLibrary& usb, DownloadSession& session, Locations where)
    : ui_(ui), usb_(usb), session_(session), where_(std::move(where))
{
    ui_.setEvents(this);
    ui_.setBackColour(Ctl::cmdSTART, kStartColourInitial);
}

Form::Form(Toolkit& ui, UsbLibrary& usb, DownloadSession& session, const std::string& programDir)
    : Form(ui, usb, session, portableLocations(programDir))
{}

Form::~Form()
{
    ui_.setEvents(nullptr);
}

void Form::startUp()
{
    fw::startUp(ui_, state_, usb_, where_.settingsFolder);
    // Show which device each port number reaches.
    for (int i = 0; i < ui_.itemCount(Ctl::cboPORT); ++i) {
        const std::string device = resolveSerialPort(i + 1, where_.settingsFolder);
        ui_.setItemToolTip(Ctl::cboPORT, i,
                           device.empty() ? std::string("no serial port present") : device);
    }
}

void Form::openPackage()
{
    runOpenStep(ui_, state_, where_.packagesFolder);
}

void Form::startDownload()
{
    if (state_.sessionRunning)
        return;
    state_.sessionRunning = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{state_.sessionRunning};
    runOpenStep(ui_, state_, where_.packagesFolder);
    WindowSessionView view(ui_, state_);
    (void)session_.run(state_.packagePath, view);
}

void Form::storeSettings()
{
    // Settings that cannot be stored are never reported to the window's
    // user: the next start shows the defaults. An installed program's
    // settings folder is made on the first save.
    if (where_.installed)
        (void)makeSettingsFolder(where_);
    (void)fw::storeSettings(ui_, where_.settingsFolder);
}

bool Form::mayClose()
{
    if (!state_.sessionRunning)
        return true;
    state_.endRequested = true;
    return false;
}

void Form::optionClicked(Ctl option)
{
    showInterfaceFrame(ui_, option);
}

void Form::listClicked(Ctl list)
{
    // The other lists have no handler: they are read when a download starts.
    if (list == Ctl::CboUSB)
        takeUsbDevicePath(ui_, state_, usb_);
}

} // namespace fw
