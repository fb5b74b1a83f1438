// firmware-cli download: one download session exactly as "Download Start"
// runs it, with the interface and its settings from options or a settings
// file, progress on standard error and the outcome on standard output.
#include "channels/network_address.h"
#include "channels/serial_port_names.h"
#include "channels/usb_identity.h"
#include "choice/printer_access.h"
#include "choice/stored_interface.h"
#include "cli/cli.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/progress.h"
#include "cli/sha256.h"
#include "engine/protocol.h"
#include "engine/session.h"

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

namespace fw {

namespace {

// The session's view for a terminal: reports on standard error, progress as
// the user asked, and Ctrl+C as the end of the program.
// What the printer sent while a record was awaited, in words.
std::string heardText(const std::vector<std::uint8_t>& heard)
{
    if (heard.empty())
        return "no answer";
    std::string text;
    for (const std::uint8_t b : heard) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%02X", b);
        text += text.empty() ? "" : " ";
        text += b == kACK ? "ACK" : b == 0x15 ? "NAK" : hex;
    }
    return text;
}

class CommandLineView final : public SessionView {
public:
    // `wire`: each record's exchange on standard error.
    CommandLineView(ChannelKind kind, ChannelSettings settings, ProgressDisplay& progress,
                    bool wire)
        : kind_(kind), settings_(std::move(settings)), progress_(progress), wire_(wire)
    {}

    void recordExchanged(std::size_t offset, const ExchangeResult& x) override
    {
        ++exchanged_;
        if (x.endMark)
            endMarkAcknowledged_ = x.awaited ? std::optional(!x.ackMissing) : std::nullopt;
        if (!wire_)
            return;
        std::string line = "record " + std::to_string(exchanged_) + " at offset " +
                           std::to_string(offset) + ", " + std::to_string(x.bytes) + " bytes: ";
        if (!x.delivered)
            line += "not taken by the channel; the download fails here";
        else if (!x.awaited)
            line += "sent, no acknowledgement awaited";
        else
            line += heardText(x.heard);
        if (x.delivered && x.channelLost)
            line += "; the connection failed; the download fails here";
        else if (x.delivered && x.ackMissing && x.endMark)
            line += "; the end mark's record was not acknowledged (counted as a success)";
        else if (x.delivered && x.ackMissing)
            line += "; no acknowledgement within 5 s; the download fails here";
        std::fprintf(stderr, "wire: %s\n", line.c_str());
    }

    std::optional<std::string> refusePackage(std::span<const std::uint8_t> package) override
    {
        if (force_)
            return std::nullopt;
        if (const std::optional<std::string> why = notAPackage(package))
            return *why + "; nothing was sent (--force sends it all the same)";
        return std::nullopt;
    }
    void forceSending(bool force) { force_ = force; }

    // Whether the end mark's record was acknowledged; nullopt when it was
    // not sent or none was awaited.
    std::optional<bool> endMarkAcknowledged() const { return endMarkAcknowledged_; }

    std::optional<ChannelKind> chosenInterface() override { return kind_; }
    ChannelSettings channelSettings() override { return settings_; }
    void lockControls(bool) override {}
    void showBusy(bool) override {}
    void setProgressMaximum(float maximum) override { progress_.setMaximum(maximum); }
    void showProgress(std::int64_t passed) override { progress_.update(passed); }
    void recordSent(std::size_t bytes) override { progress_.recordSent(bytes); }
    void showMessage(const std::string& text) override
    {
        progress_.finish();
        std::fprintf(stderr, "firmware-cli: %s\n", text.c_str());
    }
    void showOutcome(const std::string&) override {}
    void processEvents() override {}
    bool endRequested() override { return interrupted(); }
    void handOverCannotStop() override
    {
        holdInterrupts(true);
        if (interrupted()) {
            progress_.finish();
            std::fprintf(stderr, "firmware-cli: %s\n", kCannotStopNow);
        }
    }

private:
    ChannelKind kind_;
    ChannelSettings settings_;
    ProgressDisplay& progress_;
    bool wire_;
    bool force_ = false;
    std::size_t exchanged_ = 0;
    std::optional<bool> endMarkAcknowledged_;
};

const char* modelText(std::uint8_t code, SessionOutcome::Kind kind)
{
    return modelName(kind == SessionOutcome::Kind::QueryFailed ? std::uint8_t{kModelQueryFailed}
                                                               : code);
}

int exitCodeOf(SessionOutcome::Kind kind)
{
    switch (kind) {
    case SessionOutcome::Kind::Success: return kExitSuccess;
    case SessionOutcome::Kind::InvalidModel: return kExitInvalidModel;
    case SessionOutcome::Kind::NotOpen: return kExitNotOpen;
    case SessionOutcome::Kind::Damaged: return kExitDamaged;
    case SessionOutcome::Kind::Ended: return hungUp() ? kExitHungUp : kExitInterrupted;
    case SessionOutcome::Kind::NoInterface: return kExitUsage;
    case SessionOutcome::Kind::CommunicationError:
    case SessionOutcome::Kind::QueryFailed: break;
    }
    return kExitCommunication;
}

std::string utcNow()
{
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    gmtime_s(&tm, &t);
#else
    gmtime_r(&t, &tm);
#endif
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
    return buf;
}

// Whether the library's discovery lists `path` as a printer interface: a
// device node that is none (/dev/null, a serial port) would take the records
// without a word.
bool listedUsbPrinter(UsbLibrary& usb, const std::string& path)
{
    // usb_device_name leaves the buffer as it was past the last interface.
    constexpr std::int32_t kMostInterfaces = 256;
    for (std::int32_t i = 0; i < kMostInterfaces; ++i) {
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        if (!usb.deviceName(i, name.data()).ok() || name[0] == '\0')
            return false;
        if (path == name.data())
            return true;
    }
    return false;
}

// Where the session sent, as the record names it: the device the channel
// reaches, the USB printer's path, or the print path.
// The device the channel opened; a serial port's name is looked up again
// only when the session never came to open it.
PortChoice reportedDevice(ChannelKind kind, const ChannelSettings& settings,
                          ProductChannels& channels, const std::string& linksFolder)
{
    switch (kind) {
    case ChannelKind::Serial: {
        PortChoice opened = channels.serial().choice();
        if (opened.device.empty())
            opened = settings.serialDevice.empty()
                         ? findSerialPort(settings.portNumber, linksFolder)
                         : PortChoice{settings.serialDevice, PortSource::Path, {}};
        return opened;
    }
    case ChannelKind::Usb: return {settings.usbDevicePath, PortSource::Path, {}};
    case ChannelKind::Network:
        return {networkPrintPath(settings.networkAddress), PortSource::Path, {}};
    }
    return {};
}

const char* interfaceName(ChannelKind kind)
{
    switch (kind) {
    case ChannelKind::Serial: return "serial";
    case ChannelKind::Usb: return "usb";
    case ChannelKind::Network: return "network";
    }
    return "";
}

// The log, opened before anything is sent so that a download is never made
// without its record. One line is one write (the buffer holds it whole), so
// parallel downloads appending to one log do not mix their lines.
class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;
    ~LogFile()
    {
        if (file_)
            std::fclose(file_);
    }

    Result<> open(const std::string& path)
    {
        path_ = path;
#ifdef _WIN32
        file_ = ::_wfopen(std::filesystem::u8path(path).c_str(), L"ab");
#else
        file_ = std::fopen(path.c_str(), "ab");
#endif
        if (!file_)
            return Result<>::failure("cannot open the log " + path + " (" + std::strerror(errno) +
                                     "): nothing was sent");
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
        return Result<>::success();
    }

    bool isOpen() const
    {
        return file_ != nullptr;
    }

    Result<> append(const std::string& line)
    {
        errno = 0;
        const bool written = std::fputs((line + "\n").c_str(), file_) >= 0 &&
                             std::fflush(file_) == 0 && !std::ferror(file_);
        const int err = errno;
        const bool closed = std::fclose(file_) == 0;
        file_ = nullptr;
        if (written && closed)
            return Result<>::success();
        return Result<>::failure("the log line could not be written to " + path_ + " (" +
                                 (err ? std::strerror(err) : "write failed") + ")");
    }

private:
    std::FILE* file_ = nullptr;
    std::string path_;
};

// What one download leaves: the JSON object on standard output and the log
// line are made from it.
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

Json lineSettings(const SerialLine& line)
{
    Json j;
    j["baud"] = line.baud;
    j["parity"] = std::string(1, line.parity);
    j["dataBits"] = line.dataBits;
    j["stopBits"] = line.stopBits;
    return j;
}

// The fields both records carry, after the package's own.
void addCommon(Json& j, const DownloadRecord& r)
{
    j["interface"] = interfaceName(r.kind);
    if (r.kind == ChannelKind::Serial) {
        j["port"] = r.settings.serialDevice.empty() ? "COM" + std::to_string(r.settings.portNumber)
                                                    : r.settings.serialDevice;
        j["line"] = lineSettings(r.settings.line);
    }
    j["device"] = r.device;
    if (!r.stableName.empty())
        j["stableName"] = r.stableName;
    if (r.kind == ChannelKind::Usb)
        j["usbSerial"] = r.usbSerial;
    j["model"] = r.model;
    j["records"] = r.records;
    j["bytes"] = r.bytes;
    j["endMarkAcknowledged"] = r.endMarkAcknowledged ? Json(*r.endMarkAcknowledged) : Json(nullptr);
    j["durationMs"] = r.duration.count();
    j["outcome"] = r.outcome;
    j["exitCode"] = r.exitCode;
}

Json resultJson(const DownloadRecord& r)
{
    Json j;
    j["tool"] = "firmware-cli";
    j["version"] = FW_VERSION;
    j["package"] = r.package;
    j["sha256"] = jsonOptional(r.sha256);
    addCommon(j, r);
    j["seconds"] = static_cast<double>(r.duration.count()) / 1000.0;
    return j;
}

Json logJson(const DownloadRecord& r, const std::string& time)
{
    Json j;
    j["time"] = time;
    j["tool"] = "firmware-cli";
    j["version"] = FW_VERSION;
    const std::u8string name = std::filesystem::u8path(r.package).filename().u8string();
    j["package"] = std::string(name.begin(), name.end());
    j["sha256"] = jsonOptional(r.sha256);
    addCommon(j, r);
    return j;
}

// Writes the log line, then the result; the exit code is the download's
// unless one of them could not be written.
int finishDownload(DownloadRecord r, LogFile& log, const CommonOptions& common, std::FILE* out)
{
    int code = r.exitCode;
    if (log.isOpen()) {
        if (const Result<> written = log.append(jsonText(logJson(r, utcNow()))); !written.ok()) {
            sayError(written.error() + "; the outcome: " + r.outcome);
            code = kExitNotWritten;
            r.exitCode = code;
        }
    }
    return writeResult(out, common.json ? jsonText(resultJson(r)) : r.outcome, code);
}

} // namespace

int runDownload(const DownloadOptions& o, std::FILE* out)
{
    LogFile log;
    if (!o.logFile.empty()) {
        if (const Result<> opened = log.open(o.logFile); !opened.ok()) {
            sayError(opened.error());
            return kExitUsage;
        }
    }

    const Locations where = programLocations();
    PrinterAccess access(where);
    TavlibBinding& usb = access.usb;
    std::optional<ChannelKind> kind = o.kind;
    ChannelSettings settings;
    settings.line = SerialLine{9600, 'N', 8, 1};
    settings.portNumber = o.portNumber;
    settings.serialDevice = o.serialDevice;
    settings.usbDevicePath = o.usbPath;
    settings.networkAddress = o.netAddress;
    int usbNumber = o.usbNumber;

    DownloadRecord record;
    record.package = o.package;
    // Ends a download that never reached its session: the printer could not
    // be found, and nothing was sent.
    const auto unreachable = [&](const std::string& why) {
        sayError(why);
        record.kind = kind.value_or(ChannelKind::Usb);
        record.settings = settings;
        record.device = settings.usbDevicePath;
        record.outcome = kMsgCommunicationError;
        record.exitCode = kExitCommunication;
        return finishDownload(record, log, o.common, out);
    };

    if (!o.settingsFile.empty()) {
        if (!std::filesystem::is_regular_file(std::filesystem::u8path(o.settingsFile)))
            return usageError("no settings file " + o.settingsFile);
        const std::int32_t printers = usb.findDevices().valueOr(-1);
        const StoredInterface stored = readStoredInterface(o.settingsFile, printers);
        if (stored.usbWanted)
            return unreachable("the settings choose USB, but no USB printer is attached");
        if (!stored.kind)
            return usageError("the settings file " + o.settingsFile + " chooses no interface");
        kind = stored.kind;
        settings = stored.settings;
        usbNumber = stored.usbPosition + 1;
    }
    // Line settings given on the command line win over stored ones.
    if (o.baud)
        settings.line.baud = *o.baud;
    if (o.parity)
        settings.line.parity = *o.parity;
    if (o.dataBits)
        settings.line.dataBits = *o.dataBits;
    if (o.stopBits)
        settings.line.stopBits = *o.stopBits;

    if (kind == ChannelKind::Usb && usbNumber > 0) {
        const Result<std::int32_t> found = usb.findDevices();
        if (!found.ok())
            return unreachable(found.error());
        const std::int32_t printers = *found;
        if (usbNumber > printers)
            return unreachable("there is no USB printer " + std::to_string(usbNumber) + " (" +
                               std::to_string(printers < 0 ? 0 : printers) + " found)");
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        (void)usb.deviceName(usbNumber - 1, name.data());
        settings.usbDevicePath = name.data();
    }

    if (!o.usbSerial.empty()) {
        const Result<std::int32_t> found = usb.findDevices();
        if (!found.ok())
            return unreachable(found.error());
        for (std::int32_t k = 0; k < *found && settings.usbDevicePath.empty(); ++k) {
            std::array<char, UsbLibrary::kNameSize + 1> name{};
            if (usb.deviceName(k, name.data()).ok() &&
                describeUsbPrinter(name.data()).serialNumber == o.usbSerial)
                settings.usbDevicePath = name.data();
        }
        if (settings.usbDevicePath.empty())
            return unreachable("there is no USB printer with the serial number " + o.usbSerial +
                               " (see 'firmware-cli list')");
    }

    if (kind == ChannelKind::Usb && usbNumber == 0 &&
        !listedUsbPrinter(usb, settings.usbDevicePath))
        return unreachable(settings.usbDevicePath +
                           " is not a USB printer: the USB library lists no printer there (see "
                           "'firmware-cli list')");

    const bool terminal = isTerminal(stderr);
    // With --verbose the wire's lines stand in for the progress.
    ProgressDisplay progress(stderr, o.common.quiet || o.common.verbose
                                         ? ProgressDisplay::Style::None
                                     : terminal ? ProgressDisplay::Style::Bar
                                                : ProgressDisplay::Style::Lines);
    if (*kind == ChannelKind::Network)
        progress.omitTimeLeft();
    ProductChannels& channels = access.channels;
    DownloadSession session(channels, access.clock);
    CommandLineView view(*kind, settings, progress, o.common.verbose);
    view.forceSending(o.force);

    catchInterrupts();
    const auto started = std::chrono::steady_clock::now();
    const SessionOutcome outcome = session.run(o.package, view);
    holdInterrupts(false);
    record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);

    int code = exitCodeOf(outcome.kind);
    std::string text = outcome.text();
    // The window says nothing when usb_open refuses a printer; a script is
    // told, and no answer of a printer that was never reached is reported.
    if (*kind == ChannelKind::Usb && !outcome.channelOpened &&
        (outcome.kind == SessionOutcome::Kind::InvalidModel ||
         outcome.kind == SessionOutcome::Kind::Success ||
         outcome.kind == SessionOutcome::Kind::CommunicationError)) {
        sayError("the USB printer " + settings.usbDevicePath + " could not be opened");
        code = kExitCommunication;
        text = kMsgCommunicationError;
    }
    if (outcome.kind == SessionOutcome::Kind::QueryFailed)
        text = kMsgCommunicationError; // the window shows only the failure report here
    if (outcome.kind == SessionOutcome::Kind::Ended)
        text = "Interrupted.";

    progress.finish(text);

    // The bytes the session sent from: the package is never read twice.
    if (!session.package().empty())
        record.sha256 = sha256Hex(session.package());
    record.kind = *kind;
    record.settings = settings;
    const PortChoice opened = reportedDevice(*kind, settings, channels, where.settingsFolder);
    record.device = opened.device;
    record.stableName = opened.stableName;
    if (*kind == ChannelKind::Usb)
        record.usbSerial = describeUsbPrinter(settings.usbDevicePath).serialNumber;
    record.model = modelText(outcome.modelCode, outcome.kind);
    record.records = outcome.recordsSent;
    record.bytes = outcome.bytesSent;
    record.endMarkAcknowledged = view.endMarkAcknowledged();
    record.outcome = text;
    record.exitCode = code;
    return finishDownload(record, log, o.common, out);
}

} // namespace fw
