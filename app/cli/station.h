#pragma once
// firmware-cli station: one package into many printers at once, for factory
// lines and refurbishers. The package is read and checked once; each printer
// then gets a worker process of its own (the program started again as a
// hidden `download`), which takes the package's bytes from the station over
// its standard input and runs exactly the session `download` runs. Workers
// report their progress and their record as JSON lines; one that fails or
// crashes ends only its own printer's row.

#include "base/result.h"
#include "cli/cli.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace fw {

// Exit code of a station whose printers did not all end in "Download
// Success." (or that found none).
inline constexpr int kExitNotAllFlashed = 7;

struct StationOptions {
    CommonOptions common;
    std::string package;
    std::vector<std::string> serial;    // COMn or a device, each maybe PORT@BAUD[/DPS]
    std::vector<std::string> usb;       // "all", or positions of the library's list
    std::vector<std::string> usbSerial; // serial-number prefixes
    std::vector<std::string> usbPath;
    std::vector<std::string> net;
    std::string settingsFile;
    std::optional<int> baud;
    std::optional<char> parity;
    std::optional<int> dataBits;
    std::optional<int> stopBits;
    std::string logFile;
    bool force = false;
    bool watch = false;
    int count = 0;      // --watch ends after this many printers; 0: no end
    double timeout = 0; // --watch ends after this many seconds without a new printer; 0: none
    int retry = 0;      // more sessions for a printer that ends in "Communication Error."
};

// A serial port as --serial names it: PORT, PORT@BAUD or PORT@BAUD/DPS
// (data bits, parity, stop bits: COM3@19200/7E2).
struct StationPort {
    std::string name; // COMn or a device path
    std::optional<int> baud;
    std::optional<char> parity;
    std::optional<int> dataBits;
    std::optional<int> stopBits;
};

Result<StationPort> parseStationPort(const std::string& text);

// Adds the command `station` to `app`; what it is told lands in `options`.
CLI::App* addStationCommand(CLI::App& app, StationOptions& options);

int runStation(const StationOptions& options, std::FILE* out);

// The hidden option that makes `download` one printer's worker of a
// station: "BYTES:SHA256" of the package, which comes on standard input.
inline constexpr const char* kWorkerOption = "--station-worker";

int runStationWorker(const DownloadOptions& options, const std::string& delivery, std::FILE* out);

} // namespace fw
