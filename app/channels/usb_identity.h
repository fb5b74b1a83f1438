#pragma once
// Which unit a USB printer is: its maker, product and serial number as the
// system knows them, for records that say which printer got which package.
//  Linux:   the udev attributes of the usb_device above the usblp node.
//  Windows: the device instance ID within the interface path TAVLIB gives
//           (USB\VID_vvvv&PID_pppp\SERIAL); the maker and product are the
//           vendor and product numbers there.

#include <string>

namespace fw {

struct UsbIdentity {
    std::string manufacturer;
    std::string product;
    std::string serialNumber;
};

// The identity of the printer at `devicePath`, a path TAVLIB lists; empty
// texts where the system knows nothing.
UsbIdentity describeUsbPrinter(const std::string& devicePath);

} // namespace fw
