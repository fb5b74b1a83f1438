#pragma once
// firmware-cli: the download engine and channels without a window.

#include "engine/channel.h"

#include <cstdio>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace fw {

// Exit codes; the README, --help and the man page list them.
enum ExitCode : int {
    kExitSuccess = 0,       // "Download Success."
    kExitCommunication = 1, // "Communication Error.", or the printer could not be reached
    kExitUsage = 2,         // the command line is not understood, or --log cannot be opened
    kExitNotOpen = 3,       // "Firmware file not open.": the package could not be opened or read
    kExitDamaged = 4,       // the package's records are damaged
    kExitInvalidModel = 5,  // "Invalid Printer model data"
    kExitNotWritten = 6,    // the result or the log line could not be written
    kExitHungUp = 129,      // ended because the terminal closed
    kExitInterrupted = 130, // ended by Ctrl+C or a termination request
};

struct CommonOptions {
    bool json = false;
    bool quiet = false;
    bool verbose = false;
};

// What `download` was told. The line settings are those given; the others
// come from their defaults or the settings file.
struct DownloadOptions {
    CommonOptions common;
    std::string package;
    std::optional<ChannelKind> kind;
    int portNumber = 0;       // --serial COMn
    std::string serialDevice; // --serial DEVICE: a device named directly
    std::optional<int> baud;
    std::optional<char> parity;
    std::optional<int> dataBits;
    std::optional<int> stopBits;
    int usbNumber = 0;     // --usb N, from 1
    std::string usbPath;   // --usb-path
    std::string usbSerial; // --usb-serial
    std::string netAddress;
    std::string settingsFile;
    std::string logFile;
    bool force = false; // send what does not look like a package
};

struct InspectOptions {
    CommonOptions common;
    std::string package;
    std::optional<ChannelKind> view; // --usb or --net: that channel's download; else serial
};

// Why `data` does not look like a package (a record before the end mark
// that does not start with SOH and a type of two digits or capitals), or nullopt.
std::optional<std::string> notAPackage(std::span<const std::uint8_t> data);

int runList(const CommonOptions& options, std::FILE* out);
int runInspect(const InspectOptions& options, std::FILE* out);
int runDownload(const DownloadOptions& options, std::FILE* out);

// Writes `text` and a line end to `out` (nothing when empty) and flushes
// it; on failure says so on standard error and gives kExitNotWritten, else
// `code`.
int writeResult(std::FILE* out, const std::string& text, int code);

// Reports a usage error on standard error; gives kExitUsage.
int usageError(const std::string& message);

// Says `text` on standard error as "firmware-cli: text".
void sayError(const std::string& text);

} // namespace fw
