// One printer of a station: `download` with the package's bytes from the
// station instead of the file, the printer held against other stations,
// and its progress and record as JSON lines on standard output:
//   {"event":"open","ok":true,"device":...,"stableName":...}
//   {"event":"model","model":"K20_T"}
//   {"event":"progress","records":N,"bytes":N,"share":0.5}
//   {"event":"end","result":{download's JSON object},"log":{its log line}}
// What it says on standard error is the station's to show.
#include "channels/network_address.h"
#include "channels/serial_port_names.h"
#include "channels/usb_identity.h"
#include "cli/console.h"
#include "cli/printer_hold.h"
#include "cli/session_run.h"
#include "cli/sha256.h"
#include "cli/station.h"
#include "cli/worker_process.h"
#include "engine/protocol.h"
#include "engine/session.h"
#include "settings/locations.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <functional>

namespace fw {

namespace {

// Events go out whole, one line each, as they happen.
class Events {
public:
    explicit Events(std::FILE* out) : out_(out) {}
    void send(const Json& event)
    {
        // A station that went away reads no more; the session goes on.
        if (std::fputs((jsonText(event) + "\n").c_str(), out_) < 0 || std::fflush(out_) != 0)
            std::clearerr(out_);
    }

private:
    std::FILE* out_;
};

// The progress as events, a few a second, and what the table shows early:
// the device opened, the model answer.
class EventWatch final : public SessionWatch {
public:
    // `openedEvent`: the open event's fields, read once the channel opened.
    EventWatch(Events& events, std::function<Json()> openedEvent)
        : events_(events), openedEvent_(std::move(openedEvent))
    {}
    void opened(bool ok) override
    {
        Json event = openedEvent_();
        event["ok"] = ok;
        events_.send(event);
    }
    void answered(std::uint8_t code) override
    {
        events_.send(Json{{"event", "model"}, {"model", modelName(code)}});
    }
    void setMaximum(double maximum) override { maximum_ = maximum; }
    void passed(std::int64_t bytes) override { passed_ = bytes; }
    void recordSent(std::size_t bytes) override
    {
        ++records_;
        bytes_ += bytes;
        const auto now = std::chrono::steady_clock::now();
        if (now - last_ >= std::chrono::milliseconds(200))
            send(now);
    }
    void finish(const std::string& outcome) override
    {
        if (!outcome.empty())
            send(std::chrono::steady_clock::now());
    }

private:
    void send(std::chrono::steady_clock::time_point now)
    {
        last_ = now;
        const double share =
            maximum_ > 0 ? std::clamp(static_cast<double>(passed_) / maximum_, 0.0, 1.0) : 0.0;
        events_.send(Json{{"event", "progress"},
                          {"records", records_},
                          {"bytes", bytes_},
                          {"share", static_cast<double>(static_cast<int>(share * 1000)) / 1000}});
    }

    Events& events_;
    std::function<Json()> openedEvent_;
    double maximum_ = 0;
    std::int64_t passed_ = 0;
    std::size_t records_ = 0;
    std::size_t bytes_ = 0;
    std::chrono::steady_clock::time_point last_{};
};

// The package as the station handed it over.
class HandedPackage final : public PackageReader {
public:
    explicit HandedPackage(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    Result<> open(const std::string&) override { return Result<>::success(); }
    Result<> length(std::int64_t& bytes) override
    {
        bytes = static_cast<std::int64_t>(bytes_.size());
        return Result<>::success();
    }
    Result<> read(std::span<std::uint8_t> into) override
    {
        if (into.size() != bytes_.size())
            return Result<>::failure("Cannot read the package file.");
        std::copy(bytes_.begin(), bytes_.end(), into.begin());
        return Result<>::success();
    }
    // The session keeps its own copy: this one goes.
    void close() override { std::vector<std::uint8_t>().swap(bytes_); }

private:
    std::vector<std::uint8_t> bytes_;
};

// "BYTES:SHA256".
struct Delivery {
    std::size_t bytes = 0;
    std::string sha256;
};

Result<Delivery> parseDelivery(const std::string& text)
{
    const auto colon = text.find(':');
    Delivery d;
    const char* end = text.data() + (colon == std::string::npos ? text.size() : colon);
    const auto [at, ec] = std::from_chars(text.data(), end, d.bytes);
    if (colon == std::string::npos || ec != std::errc() || at != end || d.bytes == 0 ||
        d.bytes > static_cast<std::size_t>(kMaxPackageBytes) || text.size() - colon - 1 != 64)
        return Result<Delivery>::failure(std::string(kWorkerOption) + " needs BYTES:SHA256");
    d.sha256 = text.substr(colon + 1);
    return d;
}

// Which printer the choice reaches, the same for every name of it.
std::string printerKey(const PrinterChoice& c, const std::string& linksFolder)
{
    const ChannelSettings& s = c.settings;
    switch (c.kind) {
    case ChannelKind::Serial: {
        const std::string device = s.serialDevice.empty()
                                       ? findSerialPort(s.portNumber, linksFolder).device
                                       : s.serialDevice;
        return "serial:" + sameDeviceName(serialPortText(s.portNumber, device));
    }
    // The library names each printer by one path; the serial number tells
    // a printer that came after another at the same path.
    case ChannelKind::Usb:
        return "usb:" + s.usbDevicePath + "#" + describeUsbPrinter(s.usbDevicePath).serialNumber;
    case ChannelKind::Network: break;
    }
    std::string path = networkPrintPath(s.networkAddress);
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return "network:" + path;
}

// The end event, and the session's exit code.
int finish(Events& events, const DownloadRecord& record)
{
    events.send(
        Json{{"event", "end"}, {"result", resultJson(record)}, {"log", logJson(record, utcNow())}});
    return record.exitCode;
}

} // namespace

int runStationWorker(const DownloadOptions& o, const std::string& delivery, std::FILE* out)
{
    const Result<Delivery> d = parseDelivery(delivery);
    if (!d.ok())
        return usageError(d.error());
    // A request to end may come as soon as the station has started it.
    catchInterrupts();
    Events events(out);

    // The package as the station read it, checked before anything is sent.
    std::vector<std::uint8_t> bytes(d->bytes);
    if (!readFromStation(bytes) || sha256Hex(bytes) != d->sha256) {
        sayError("the package did not arrive whole from the station; nothing was sent");
        DownloadRecord r;
        r.package = o.package;
        r.kind = o.kind.value_or(ChannelKind::Usb);
        r.outcome = kMsgFirmwareNotOpen;
        r.exitCode = kExitNotOpen;
        return finish(events, r);
    }
    takeRequestsFromStation();

    const Locations where = programLocations();
    PrinterAccess access(where);
    const Result<PrinterChoice> chosen = choosePrinter(o, access.usb);
    if (!chosen.ok())
        return usageError(chosen.error());
    const Result<PrinterChoice> found = findPrinter(*chosen, o, access.usb);
    if (!found.ok()) {
        sayError(found.error());
        return finish(events, unreachableRecord(o.package, *chosen));
    }
    const Result<std::unique_ptr<PrinterHold>> hold =
        PrinterHold::take(printerKey(*found, where.settingsFolder));
    if (!hold.ok()) {
        sayError(hold.error() + "; nothing was sent");
        return finish(events, unreachableRecord(o.package, *found));
    }

    HandedPackage package(std::move(bytes));
    const ChannelSettings& settings = found->settings;
    EventWatch watch(events, [&access, &settings, kind = found->kind] {
        Json event{{"event", "open"}};
        switch (kind) {
        case ChannelKind::Serial: {
            const PortChoice& c = access.channels.serial().choice();
            event["device"] = c.device;
            if (!c.stableName.empty())
                event["stableName"] = c.stableName;
            break;
        }
        case ChannelKind::Usb: event["device"] = settings.usbDevicePath; break;
        case ChannelKind::Network:
            event["device"] = networkPrintPath(settings.networkAddress);
            break;
        }
        return event;
    });
    SessionSetup setup;
    setup.package = o.package;
    setup.reader = &package;
    setup.force = o.force;
    setup.wire = o.common.verbose;
    setup.linksFolder = where.settingsFolder;
    return finish(events, runSession(setup, *found, access, watch));
}

} // namespace fw
