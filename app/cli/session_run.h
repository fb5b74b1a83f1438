#pragma once
// What every command-line session shares, `download` and each printer of a
// station alike: where the options put the printer, the session's view on
// standard error, and the record a session leaves (its JSON object and its
// log line). The session is the engine's; nothing here changes what it sends.

#include "channels/usb_library.h"
#include "choice/printer_access.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "engine/package_file.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace fw {

// What the options choose: the interface and its settings, before a USB
// printer is looked for.
struct PrinterChoice {
    ChannelKind kind = ChannelKind::Usb;
    ChannelSettings settings;
    int usbNumber = 0;      // --usb N, or the stored USB position + 1
    bool usbWanted = false; // the settings choose USB, but no USB printer is attached
};

// The interface and settings `o` names, from the options or the settings
// file, with the line settings given overriding stored ones. A failure is a
// usage error.
Result<PrinterChoice> choosePrinter(const DownloadOptions& o, UsbLibrary& usb);

// The choice with its USB printer's device found (by number, serial number
// or path). A failure says why the printer cannot be reached; nothing was sent.
Result<PrinterChoice> findPrinter(PrinterChoice choice, const DownloadOptions& o, UsbLibrary& usb);

// What one download leaves: the JSON object and the log line are made from it.
struct DownloadRecord {
    std::string package;
    std::optional<std::string> sha256;
    ChannelKind kind = ChannelKind::Serial;
    ChannelSettings settings;
    std::string device;
    std::string stableName; // COMn found by enumeration: a name that does not move
    std::string usbSerial;  // USB: the printer's serial number; empty when it has none
    std::string model = "none";
    std::size_t records = 0;
    std::size_t bytes = 0;
    std::optional<bool> endMarkAcknowledged;
    std::chrono::milliseconds duration{0};
    std::string outcome;
    int exitCode = kExitCommunication;
};

// The record of a download whose printer could not be found: nothing sent.
DownloadRecord unreachableRecord(const std::string& package, const PrinterChoice& choice);

// The download's JSON object on standard output.
Json resultJson(const DownloadRecord& r);
// Its log line, with the time it ended (utcNow()).
Json logJson(const DownloadRecord& r, const std::string& time);
// "2024-05-01T12:00:00Z".
std::string utcNow();

// The log a repair bench or factory line keeps, opened before anything is
// sent so that a download is never made without its record. Each line is
// one write of the whole line to a file opened for appending, so that
// processes appending to one log at once never mix their lines.
class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile();

    Result<> open(const std::string& path);
    bool isOpen() const { return file_ != nullptr; }
    // Writes `line` and its line end, and checks that they went out.
    Result<> append(const std::string& line);
    // Closes the file; a failure says the last lines may be lost.
    Result<> close();

private:
    Result<> failed(int err);

    std::FILE* file_ = nullptr;
    std::string path_;
};

// What whoever runs a session sees of it besides the record: the progress.
class SessionWatch {
public:
    virtual ~SessionWatch() = default;
    virtual void setMaximum(double maximum) = 0;
    // The package bytes passed since sending began.
    virtual void passed(std::int64_t bytes) = 0;
    virtual void recordSent(std::size_t bytes) = 0;
    // The channel took the open (or refused it); the printer's model answer.
    virtual void opened(bool /*ok*/) {}
    virtual void answered(std::uint8_t /*modelCode*/) {}
    // Ends what is shown of the progress before a message on standard error
    // (no outcome), and at the end of the session (with it).
    virtual void finish(const std::string& outcome = {}) = 0;
};

// How a session is run.
struct SessionSetup {
    std::string package;             // as given: the record names it so
    PackageReader* reader = nullptr; // where its bytes come from; null: the file `package`
    bool force = false;              // send what does not look like a package
    bool wire = false;               // each record's exchange on standard error
    std::string linksFolder;         // holds the ports/COMn links
};

// Runs one download session exactly as `download` runs it, with Ctrl+C
// ending it at its next look, and gives its record.
DownloadRecord runSession(const SessionSetup& setup, const PrinterChoice& choice,
                          PrinterAccess& access, SessionWatch& watch);

} // namespace fw
