#pragma once
// Which device a port number of the port list stands for.
//  Windows: port n is COMn, when the system has a device of that name.
//  Linux:   first the device that the link ports/COMn in the links folder
//           (the program's folder, or an installed program's settings
//           folder) points at; else the n-th serial port present, USB adapters
//           (ttyUSB*, then ttyACM*) before built-in ports (ttyS*), each in
//           number order.

#include <string>

namespace fw {

// The device path for `portNumber` (1 for COM1), or empty when there is none.
std::string resolveSerialPort(int portNumber, const std::string& linksFolder);

// What the system knows of a serial device; empty texts where it knows nothing.
struct SerialPortDetails {
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
};
SerialPortDetails describeSerialPort(const std::string& device);

#ifndef _WIN32
// The same with the sysfs tty class and /dev folders given, for tests.
std::string resolveSerialPortIn(int portNumber, const std::string& linksFolder,
                                const std::string& sysClassTty, const std::string& devDir);
#endif

} // namespace fw
