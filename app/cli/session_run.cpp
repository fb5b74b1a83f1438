#include "cli/session_run.h"

#include "channels/network_address.h"
#include "channels/serial_port_names.h"
#include "channels/usb_identity.h"
#include "choice/stored_interface.h"
#include "cli/console.h"
#include "cli/sha256.h"
#include "engine/protocol.h"
#include "engine/session.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>

#ifdef _WIN32
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#endif

namespace fw {

namespace {

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

// The session's view for a command line: reports on standard error,
// progress to the watch, and Ctrl+C as the end of the program.
class CommandLineView final : public SessionView {
public:
    // `wire`: each record's exchange on standard error.
    CommandLineView(ChannelKind kind, ChannelSettings settings, SessionWatch& progress, bool wire)
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
    void showProgress(std::int64_t passed) override { progress_.passed(passed); }
    void recordSent(std::size_t bytes) override { progress_.recordSent(bytes); }
    void channelOpened(bool ok) override { progress_.opened(ok); }
    void modelAnswered(std::uint8_t code) override { progress_.answered(code); }
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
    SessionWatch& progress_;
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
        j["port"] = serialPortText(r.settings.portNumber, r.settings.serialDevice);
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

// The settings a download starts from before a settings file is read.
ChannelSettings optionSettings(const DownloadOptions& o)
{
    ChannelSettings settings;
    settings.line = SerialLine{9600, 'N', 8, 1};
    settings.portNumber = o.portNumber;
    settings.serialDevice = o.serialDevice;
    settings.usbDevicePath = o.usbPath;
    settings.networkAddress = o.netAddress;
    return settings;
}

} // namespace

Result<PrinterChoice> choosePrinter(const DownloadOptions& o, UsbLibrary& usb)
{
    PrinterChoice choice;
    choice.kind = o.kind.value_or(ChannelKind::Usb);
    choice.settings = optionSettings(o);
    choice.usbNumber = o.usbNumber;
    if (!o.settingsFile.empty()) {
        if (!std::filesystem::is_regular_file(std::filesystem::u8path(o.settingsFile)))
            return Result<PrinterChoice>::failure("no settings file " + o.settingsFile);
        const std::int32_t printers = usb.findDevices().valueOr(-1);
        const StoredInterface stored = readStoredInterface(o.settingsFile, printers);
        if (stored.usbWanted) {
            choice.usbWanted = true;
            return choice;
        }
        if (!stored.kind)
            return Result<PrinterChoice>::failure("the settings file " + o.settingsFile +
                                                  " chooses no interface");
        choice.kind = *stored.kind;
        choice.settings = stored.settings;
        choice.usbNumber = stored.usbPosition + 1;
    }
    // Line settings given on the command line win over stored ones.
    if (o.baud)
        choice.settings.line.baud = *o.baud;
    if (o.parity)
        choice.settings.line.parity = *o.parity;
    if (o.dataBits)
        choice.settings.line.dataBits = *o.dataBits;
    if (o.stopBits)
        choice.settings.line.stopBits = *o.stopBits;
    return choice;
}

Result<PrinterChoice> findPrinter(PrinterChoice choice, const DownloadOptions& o, UsbLibrary& usb)
{
    using Found = Result<PrinterChoice>;
    if (choice.usbWanted)
        return Found::failure("the settings choose USB, but no USB printer is attached");
    ChannelSettings& settings = choice.settings;
    if (choice.kind == ChannelKind::Usb && choice.usbNumber > 0) {
        const Result<std::int32_t> found = usb.findDevices();
        if (!found.ok())
            return found.status();
        const std::int32_t printers = *found;
        if (choice.usbNumber > printers)
            return Found::failure("there is no USB printer " + std::to_string(choice.usbNumber) +
                                  " (" + std::to_string(printers < 0 ? 0 : printers) + " found)");
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        (void)usb.deviceName(choice.usbNumber - 1, name.data());
        settings.usbDevicePath = name.data();
    }

    if (!o.usbSerial.empty()) {
        const Result<std::int32_t> found = usb.findDevices();
        if (!found.ok())
            return found.status();
        for (std::int32_t k = 0; k < *found && settings.usbDevicePath.empty(); ++k) {
            std::array<char, UsbLibrary::kNameSize + 1> name{};
            if (usb.deviceName(k, name.data()).ok() &&
                describeUsbPrinter(name.data()).serialNumber == o.usbSerial)
                settings.usbDevicePath = name.data();
        }
        if (settings.usbDevicePath.empty())
            return Found::failure("there is no USB printer with the serial number " + o.usbSerial +
                                  " (see 'firmware-cli list')");
    }

    if (choice.kind == ChannelKind::Usb && choice.usbNumber == 0 &&
        !listedUsbPrinter(usb, settings.usbDevicePath))
        return Found::failure(settings.usbDevicePath +
                              " is not a USB printer: the USB library lists no printer there (see "
                              "'firmware-cli list')");
    return choice;
}

DownloadRecord unreachableRecord(const std::string& package, const PrinterChoice& choice)
{
    DownloadRecord record;
    record.package = package;
    record.kind = choice.kind;
    record.settings = choice.settings;
    record.device = choice.settings.usbDevicePath;
    record.outcome = kMsgCommunicationError;
    record.exitCode = kExitCommunication;
    return record;
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

LogFile::~LogFile()
{
    if (file_)
        std::fclose(file_);
}

Result<> LogFile::open(const std::string& path)
{
    path_ = path;
#ifdef _WIN32
    // Append access alone: the system adds each write at the end as one
    // piece, also when other processes append to the file meanwhile.
    const HANDLE h =
        CreateFileW(std::filesystem::u8path(path).c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_APPEND | _O_BINARY);
        file_ = fd >= 0 ? _fdopen(fd, "ab") : nullptr;
        if (!file_) {
            if (fd >= 0)
                _close(fd);
            else
                CloseHandle(h);
        }
    } else {
        errno = GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND
                    ? ENOENT
                    : EACCES;
    }
#else
    file_ = std::fopen(path.c_str(), "ab");
#endif
    if (!file_)
        return Result<>::failure("cannot open the log " + path + " (" + std::strerror(errno) +
                                 "): nothing was sent");
    // A line is written in one piece when the buffer holds it whole.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
    return Result<>::success();
}

Result<> LogFile::failed(int err)
{
    return Result<>::failure("the log line could not be written to " + path_ + " (" +
                             (err ? std::strerror(err) : "write failed") + ")");
}

Result<> LogFile::append(const std::string& line)
{
    errno = 0;
    const bool written = std::fputs((line + "\n").c_str(), file_) >= 0 && std::fflush(file_) == 0 &&
                         !std::ferror(file_);
    return written ? Result<>::success() : failed(errno);
}

Result<> LogFile::close()
{
    errno = 0;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed ? Result<>::success() : failed(errno);
}

DownloadRecord runSession(const SessionSetup& setup, const PrinterChoice& choice,
                          PrinterAccess& access, SessionWatch& watch)
{
    const ChannelKind kind = choice.kind;
    const ChannelSettings& settings = choice.settings;
    FilePackageReader file;
    DownloadSession session(access.channels, access.clock, setup.reader ? *setup.reader : file);
    CommandLineView view(kind, settings, watch, setup.wire);
    view.forceSending(setup.force);

    DownloadRecord record;
    record.package = setup.package;
    // Which unit it is, told before a printer unplugged meanwhile forgets it.
    if (kind == ChannelKind::Usb)
        record.usbSerial = describeUsbPrinter(settings.usbDevicePath).serialNumber;
    catchInterrupts();
    const auto started = std::chrono::steady_clock::now();
    const SessionOutcome outcome = session.run(setup.package, view);
    holdInterrupts(false);
    record.duration = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);

    int code = exitCodeOf(outcome.kind);
    std::string text = outcome.text();
    // The window says nothing when usb_open refuses a printer; a script is
    // told, and no answer of a printer that was never reached is reported.
    if (kind == ChannelKind::Usb && !outcome.channelOpened &&
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

    watch.finish(text);

    // The bytes the session sent from: the package is never read twice.
    if (!session.package().empty())
        record.sha256 = sha256Hex(session.package());
    record.kind = kind;
    record.settings = settings;
    const PortChoice opened = reportedDevice(kind, settings, access.channels, setup.linksFolder);
    record.device = opened.device;
    record.stableName = opened.stableName;
    record.model = modelText(outcome.modelCode, outcome.kind);
    record.records = outcome.recordsSent;
    record.bytes = outcome.bytesSent;
    record.endMarkAcknowledged = view.endMarkAcknowledged();
    record.outcome = text;
    record.exitCode = code;
    return record;
}

} // namespace fw
