#pragma once
// Printers for tests under Wine: a registered device with a USB printer
// interface stands in for an attached printer, and two named pipes,
// <path>\PIPE01 and <path>\PIPE00, stand in for its data pipes.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace fw::usb::test {

// Removes every device that exposes the USB printer interface class.
void removeAllPrinters();

// Registers a present device with the given instance ID and a USB printer
// interface; gives the interface's device path.
std::string registerPrinter(const std::string& instanceId);

// The printer's end of the two pipes of `path` (which should be under \\.\pipe\).
class PipePrinter {
public:
    explicit PipePrinter(const std::string& path);
    ~PipePrinter();
    PipePrinter(const PipePrinter&) = delete;
    PipePrinter& operator=(const PipePrinter&) = delete;

    // Bytes the library wrote, until `count` arrived or `timeoutMs` passed.
    std::vector<std::uint8_t> receive(std::size_t count, int timeoutMs);
    // Bytes for the library to read.
    void send(const std::vector<std::uint8_t>& bytes);
    // The printer goes away: both pipes are closed from this end.
    void unplug();

private:
    HANDLE toHost_ = INVALID_HANDLE_VALUE;   // <path>\PIPE01: the library reads
    HANDLE fromHost_ = INVALID_HANDLE_VALUE; // <path>\PIPE00: the library writes
};

} // namespace fw::usb::test
