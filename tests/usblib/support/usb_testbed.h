#pragma once
// A umockdev test bed of USB printers as the kernel's usblp driver shows
// them: for each printer a usb_device (idVendor, idProduct, serial), its
// usb_interface (bInterfaceClass as given, 07 for a printer) and the usbmisc
// leaf lpN, whose node /dev/usb/lpN is a pseudo-terminal. The test holds the
// other end of it and plays the printer: what the library writes arrives
// there, and what the test writes there is what the library reads.
//
// The test binary must run under umockdev-wrapper (add_test(... COMMAND
// umockdev-wrapper $<TARGET_FILE:t>)); without it, available() is false and
// the test should be skipped. Under AddressSanitizer also set
// ASAN_OPTIONS=verify_asan_link_order=0.
//
//   fw::test::UsbTestbed bed;
//   int p = bed.addPrinter({0x0483, 0x7C10, "SER1"});   // /dev/usb/lp0
//   ... library writes to bed.devicePath(p) ...
//   auto block = bed.receive(p, 10, 1000);               // bytes the library sent
//   bed.send(p, {0x06});                                 // the printer's answer
//   bed.unplug(p);                                       // every later transfer fails

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fw::test {

struct UsbPrinterInfo {
    std::uint16_t vendor = 0x0483;
    std::uint16_t product = 0x7C10;
    std::string serial = "0001";
    std::uint8_t interfaceClass = 0x07; // anything else is not a printer
};

class UsbTestbed {
public:
    UsbTestbed();
    ~UsbTestbed();
    UsbTestbed(const UsbTestbed&) = delete;
    UsbTestbed& operator=(const UsbTestbed&) = delete;

    // Whether the process runs under umockdev-wrapper (checked once a test
    // bed exists, as umockdev requires).
    bool available() const;

    // Adds a printer as the next /dev/usb/lpN (N from 0 in the order added)
    // and gives its number in this test bed.
    int addPrinter(const UsbPrinterInfo& info);

    // "/dev/usb/lpN": the device path the library hands out for it.
    std::string devicePath(int printer) const;
    // The printer's end of the node; owned by the test bed.
    int printerFd(int printer) const;

    // Bytes the library wrote, until `count` arrived or `timeoutMs` passed.
    std::vector<std::uint8_t> receive(int printer, std::size_t count, int timeoutMs) const;
    // Bytes for the library to read.
    void send(int printer, const std::vector<std::uint8_t>& bytes) const;

    // Tells udev's listeners that the printer came (an "add" event for its
    // node), as the system does when one is plugged in.
    void announce(int printer);

    // Pulls the printer out: it leaves the device list, and transfers on
    // nodes already open fail from now on (ENODEV, as usblp does).
    void unplug(int printer);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace fw::test
