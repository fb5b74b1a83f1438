#include "window/interface_handlers.h"

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
    state.strDevice.assign(kDevicePathChars, ' ');
    const std::int32_t position = ui.listIndex(Ctl::CboUSB);

    char buffer[UsbLibrary::kNameSize + 1];
    std::memcpy(buffer, state.strDevice.data(), kDevicePathChars);
    buffer[kDevicePathChars] = '\0';
    const UsbCall call = usb.deviceName(position, buffer);
    if (!call.loaded())
        return; // no library, no path: the blanks stay, and opening the printer reports it
    // Whatever the result, the buffer is taken whole; readers stop at the NUL.
    state.strDevice.assign(buffer, kDevicePathChars);
}

} // namespace fw
