#pragma once
// Which device a port number of the port list stands for.
//  Windows: port n is COMn, when the system has a device of that name.
//  Linux:   first the device that the link ports/COMn in the links folder
//           (the program's folder, or an installed program's settings
//           folder) points at; else the n-th serial port present, USB adapters
//           (ttyUSB*, then ttyACM*) before built-in ports (ttyS*), each in
//           number order. Such a number moves to another device when an
//           adapter before it is unplugged.

#include <string>
#include <string_view>
#include <vector>

namespace fw {

// The highest port number a link or an option may name.
inline constexpr int kMaxPortNumber = 255;

// How a port number found its device.
enum class PortSource {
    None,        // no device
    Link,        // a ports/COMn link
    Enumeration, // the n-th serial port present
    SystemName,  // the system's own COMn (Windows)
    Path,        // a device named directly
};

struct PortChoice {
    std::string device; // the path to open; empty when there is none
    PortSource source = PortSource::None;
    // By enumeration: a name of the same device that does not move, a
    // /dev/serial/by-id (else by-path) link to it, when the system has one.
    std::string stableName;
};

PortChoice findSerialPort(int portNumber, const std::string& linksFolder);

// The device path for `portNumber` (1 for COM1), or empty when there is none.
std::string resolveSerialPort(int portNumber, const std::string& linksFolder);

// What a ports/COMn link points at.
enum class LinkState { Usable, Dangling, Loop, Directory, RegularFile, NotCharacterDevice };

struct PortLink {
    int portNumber = 0;
    std::string target; // the link's text as it stands
    LinkState state = LinkState::Usable;
};

// Every link ports/COM1 ... ports/COM255 in the links folder, in number order.
std::vector<PortLink> listPortLinks(const std::string& linksFolder);

// "usable", "dangling", "a loop", "a directory", "a regular file",
// "not a character device".
const char* linkStateText(LinkState state);

// A port as an option names it: COMn (any case), or a device path (Linux: a
// path with a '/'; Windows: \\.\COMn). False when it is neither.
struct SerialPortName {
    int portNumber = 0;     // COMn
    std::string devicePath; // a device named directly
};
bool parseSerialPortName(std::string_view text, SerialPortName& out);
// The port as the user named it: the device path where one was given, else COMn.
std::string serialPortText(int portNumber, const std::string& devicePath);

// What the system knows of a serial device; empty texts where it knows nothing.
struct SerialPortDetails {
    std::string description;
    std::string manufacturer;
    std::string serialNumber;
};
SerialPortDetails describeSerialPort(const std::string& device);

#ifndef _WIN32
// The same with the sysfs tty class and /dev folders given, for tests; stable
// names come from <devDir>/serial.
PortChoice findSerialPortIn(int portNumber, const std::string& linksFolder,
                            const std::string& sysClassTty, const std::string& devDir);
std::string resolveSerialPortIn(int portNumber, const std::string& linksFolder,
                                const std::string& sysClassTty, const std::string& devDir);
// From sysfs alone, the udev database left out.
SerialPortDetails describeSerialPortIn(const std::string& device, const std::string& sysClassTty);
#endif

} // namespace fw
