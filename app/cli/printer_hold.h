#pragma once
// A printer held by one station worker for as long as the worker lives, so
// that a worker of another station never opens it meanwhile. The system
// holds serial ports (and, on Linux, USB printers) for one program at a
// time already; TAVLIB on Windows lets two programs open one printer. The
// hold is a locked file named after the printer in a folder every user
// shares (/tmp/firmware-cli-printers; ProgramData\firmware-cli\printers on
// Windows); the system lets go of it when the process ends, however it ends.

#include "base/result.h"

#include <memory>
#include <string>

namespace fw {

class PrinterHold {
public:
    // Holds the printer `key` names (printerKey()). A failure says that
    // another program holds it, and which. Where no hold can be made at all
    // (no temporary folder), the printer is left to the system's own.
    static Result<std::unique_ptr<PrinterHold>> take(const std::string& key);
    ~PrinterHold();
    PrinterHold(const PrinterHold&) = delete;
    PrinterHold& operator=(const PrinterHold&) = delete;

    struct File;

private:
    explicit PrinterHold(std::unique_ptr<File> file);
    std::unique_ptr<File> file_;
};

// The hold file's name for the printer `key` names: the same for every
// station, whatever characters the key holds.
std::string holdFileName(const std::string& key);

// One name for a device however it is reached: the device a link or a
// device path leads to (Linux), the device name in any case (Windows).
std::string sameDeviceName(const std::string& device);

} // namespace fw
