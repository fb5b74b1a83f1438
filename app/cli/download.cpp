// firmware-cli download: one download session exactly as "Download Start"
// runs it, with the interface and its settings from options or a settings
// file, progress on standard error and the outcome on standard output.
#include "channels/network_address.h"
#include "channels/product_channels.h"
#include "channels/serial_port_names.h"
#include "channels/tavlib_binding.h"
#include "cli/cli.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/progress.h"
#include "cli/sha256.h"
#include "engine/protocol.h"
#include "engine/session.h"
#include "form/session_view.h"
#include "form/stored_interface.h"
#include "settings/locations.h"

#include <array>
#include <charconv>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>

namespace fw {

namespace {

struct DownloadOptions {
    CommonOptions common;
    std::string package;
    std::optional<ChannelKind> kind;
    ChannelSettings settings;
    int usbNumber = 0; // --usb N, from 1
    std::string settingsFile;
    std::string logFile;
};

bool wholeNumber(const std::string& text, int& out)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

// Parses the command line; an empty result means it is understood.
std::string parse(Arguments& args, DownloadOptions& o)
{
    int where = 0;
    o.settings.line = SerialLine{9600, 'N', 8, 1};
    while (!args.done()) {
        const std::string a = args.next();
        // The text after the option; empty, with `why` set, when none follows.
        std::string why;
        const auto text = [&](const char* what) {
            std::string v = args.value().value_or("");
            if (v.empty())
                why = a + " needs " + what;
            return v;
        };
        const auto number = [&](int& into, const char* what) {
            if (const std::string v = text(what); why.empty() && !wholeNumber(v, into))
                why = a + " needs " + what;
        };
        if (a == "--json") {
            o.common.json = true;
        } else if (a == "--quiet") {
            o.common.quiet = true;
        } else if (a == "--verbose") {
            o.common.verbose = true;
        } else if (a == "--serial") {
            SerialPortName named;
            if (!parseSerialPortName(text("a port COM1 to COM255"), named))
                why = "--serial needs a port COM1 to COM255 or a device path";
            o.settings.portNumber = named.portNumber;
            o.settings.serialDevice = named.devicePath;
            o.kind = ChannelKind::Serial;
            ++where;
        } else if (a == "--baud") {
            number(o.settings.line.baud, "a baud rate");
        } else if (a == "--data") {
            number(o.settings.line.dataBits, "a number of data bits");
        } else if (a == "--stop") {
            number(o.settings.line.stopBits, "a number of stop bits");
        } else if (a == "--parity") {
            const std::string v = text("N, E or O");
            o.settings.line.parity =
                v.empty() ? 'N'
                          : static_cast<char>(std::toupper(static_cast<unsigned char>(v.front())));
        } else if (a == "--usb") {
            number(o.usbNumber, "a printer number from 1");
            if (why.empty() && o.usbNumber < 1)
                why = "--usb needs a printer number from 1";
            o.kind = ChannelKind::Usb;
            ++where;
        } else if (a == "--usb-path") {
            o.settings.usbDevicePath = text("a device path");
            o.kind = ChannelKind::Usb;
            ++where;
        } else if (a == "--net") {
            o.settings.networkAddress = text("a host");
            o.kind = ChannelKind::Network;
            ++where;
        } else if (a == "--settings") {
            o.settingsFile = text("a settings file");
            ++where;
        } else if (a == "--log") {
            o.logFile = text("a file");
        } else if (!a.starts_with("--") && o.package.empty()) {
            o.package = a;
        } else {
            return "download does not take '" + a + "'";
        }
        if (!why.empty())
            return why;
    }
    if (o.package.empty())
        return "download needs a package file";
    if (where != 1)
        return "download needs exactly one of --serial, --usb, --usb-path, --net or --settings";
    return {};
}

// The session's view for a terminal: reports on standard error, progress as
// the user asked, and Ctrl+C as the end of the program.
class CommandLineView final : public SessionView {
public:
    CommandLineView(ChannelKind kind, ChannelSettings settings, ProgressDisplay& progress)
        : kind_(kind), settings_(std::move(settings)), progress_(progress)
    {}

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
};

const char* modelName(std::uint8_t code, SessionOutcome::Kind kind)
{
    if (kind == SessionOutcome::Kind::QueryFailed)
        return "query failed";
    switch (code) {
    case kModelNoQuery: return "no query";
    case kModelMDL40: return "MDL40";
    case kModelTVK3: return "TV-K3";
    case kModelK20T: return "K20_T";
    default: return "none";
    }
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

std::string utf8(const std::filesystem::path& path)
{
    const std::u8string s = path.u8string();
    return std::string(s.begin(), s.end());
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

// The package's SHA-256 as the session read it, or as it is on disk when
// the session could not read it whole.
std::optional<std::string> packageDigest(const DownloadSession& session, const std::string& path)
{
    if (!session.package().empty())
        return sha256Hex(session.package());
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        return std::nullopt;
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                    std::istreambuf_iterator<char>());
    return in.bad() ? std::nullopt : std::optional(sha256Hex(bytes));
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
        std::int32_t ignored = 0;
        if (!usb.deviceName(i, name.data(), ignored).ok() || name[0] == '\0')
            return false;
        if (path == name.data())
            return true;
    }
    return false;
}

} // namespace

int runDownload(Arguments args, std::FILE* out)
{
    DownloadOptions o;
    if (const std::string why = parse(args, o); !why.empty())
        return usageError(why);

    const Locations where = programLocations();
    TavlibBinding usb(where.libraryFolder);
    if (!o.settingsFile.empty()) {
        if (!std::filesystem::is_regular_file(std::filesystem::u8path(o.settingsFile)))
            return usageError("no settings file " + o.settingsFile);
        std::int32_t printers = -1;
        if (!usb.findDevices(printers).ok())
            printers = -1;
        const StoredInterface stored = readStoredInterface(o.settingsFile, printers);
        if (stored.usbWanted) {
            std::fprintf(stderr,
                         "firmware-cli: the settings choose USB, but no USB printer is attached\n");
            return kExitCommunication;
        }
        if (!stored.kind)
            return usageError("the settings file " + o.settingsFile + " chooses no interface");
        o.kind = stored.kind;
        o.settings = stored.settings;
        o.usbNumber = stored.usbPosition + 1;
    }
    if (o.kind == ChannelKind::Usb && o.usbNumber > 0) {
        std::int32_t printers = -1;
        if (const Result found = usb.findDevices(printers); !found.ok()) {
            std::fprintf(stderr, "firmware-cli: %s\n", found.error().c_str());
            return kExitCommunication;
        }
        if (o.usbNumber > printers) {
            std::fprintf(stderr, "firmware-cli: there is no USB printer %d (%d found)\n",
                         o.usbNumber, printers < 0 ? 0 : printers);
            return kExitCommunication;
        }
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        std::int32_t ignored = 0;
        (void)usb.deviceName(o.usbNumber - 1, name.data(), ignored);
        o.settings.usbDevicePath = name.data();
    }

    if (o.kind == ChannelKind::Usb && o.usbNumber == 0 &&
        !listedUsbPrinter(usb, o.settings.usbDevicePath)) {
        std::fprintf(stderr,
                     "firmware-cli: %s is not a USB printer: the USB library lists no printer "
                     "there (see 'firmware-cli list')\n",
                     o.settings.usbDevicePath.c_str());
        return kExitCommunication;
    }

    const bool terminal = isTerminal(stderr);
    ProgressDisplay progress(stderr, o.common.quiet ? ProgressDisplay::Style::None
                                     : terminal     ? ProgressDisplay::Style::Bar
                                                    : ProgressDisplay::Style::Lines);
    ProductChannels channels(where.settingsFolder, usb);
    SteadyClock clock;
    DownloadSession session(channels, clock);
    CommandLineView view(*o.kind, o.settings, progress);

    catchInterrupts();
    const auto started = std::chrono::steady_clock::now();
    const SessionOutcome outcome = session.run(o.package, view);
    holdInterrupts(false);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    progress.finish();

    int code = exitCodeOf(outcome.kind);
    std::string text = outcome.text();
    // The window says nothing when usb_open refuses a printer; a script is
    // told, and no answer of a printer that was never reached is reported.
    if (*o.kind == ChannelKind::Usb && !outcome.channelOpened &&
        (outcome.kind == SessionOutcome::Kind::InvalidModel ||
         outcome.kind == SessionOutcome::Kind::Success ||
         outcome.kind == SessionOutcome::Kind::CommunicationError)) {
        std::fprintf(stderr, "firmware-cli: the USB printer %s could not be opened\n",
                     o.settings.usbDevicePath.c_str());
        code = kExitCommunication;
        text = kMsgCommunicationError;
    }
    if (outcome.kind == SessionOutcome::Kind::QueryFailed)
        text = kMsgCommunicationError; // the window shows only the failure report here
    if (outcome.kind == SessionOutcome::Kind::Ended)
        text = "Interrupted.";

    const char* interfaceName = *o.kind == ChannelKind::Serial ? "serial"
                                : *o.kind == ChannelKind::Usb  ? "usb"
                                                               : "network";
    std::string port;
    std::string device;
    std::string stableName; // COMn found by enumeration: a name that does not move
    switch (*o.kind) {
    case ChannelKind::Serial: {
        // The device the channel opened; the port's name is looked up again
        // only when the session never came to open it.
        PortChoice opened = channels.serial().choice();
        if (opened.device.empty())
            opened = o.settings.serialDevice.empty()
                         ? findSerialPort(o.settings.portNumber, where.settingsFolder)
                         : PortChoice{o.settings.serialDevice, PortSource::Path, {}};
        port = o.settings.serialDevice.empty() ? "COM" + std::to_string(o.settings.portNumber)
                                               : o.settings.serialDevice;
        device = opened.device;
        stableName = opened.stableName;
        break;
    }
    case ChannelKind::Usb: device = o.settings.usbDevicePath; break;
    case ChannelKind::Network: device = networkPrintPath(o.settings.networkAddress); break;
    }

    JsonObject record;
    record.add("package", o.package).addOptional("sha256", packageDigest(session, o.package));
    record.add("interface", interfaceName);
    if (!port.empty())
        record.add("port", port);
    record.add("device", device);
    if (!stableName.empty())
        record.add("stableName", stableName);
    record.add("model", modelName(outcome.modelCode, outcome.kind));
    record.add("records", outcome.recordsSent)
        .add("bytes", outcome.bytesSent)
        .add("seconds", seconds);
    record.add("outcome", text).add("exitCode", code);

    if (o.common.json)
        std::fprintf(out, "%s\n", record.text().c_str());
    else
        std::fprintf(out, "%s\n", text.c_str());

    if (!o.logFile.empty()) {
        JsonObject line;
        line.add("time", utcNow())
            .add("package", utf8(std::filesystem::u8path(o.package).filename()));
        line.addOptional("sha256", packageDigest(session, o.package))
            .add("interface", interfaceName);
        if (!port.empty())
            line.add("port", port);
        line.add("device", device);
        if (!stableName.empty())
            line.add("stableName", stableName);
        line.add("model", modelName(outcome.modelCode, outcome.kind));
        line.add("records", outcome.recordsSent).add("outcome", text);
        std::ofstream log(std::filesystem::u8path(o.logFile), std::ios::app | std::ios::binary);
        log << line.text() << '\n';
        if (!log)
            std::fprintf(stderr, "firmware-cli: could not write to the log %s\n",
                         o.logFile.c_str());
    }
    return code;
}

} // namespace fw
