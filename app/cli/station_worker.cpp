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

// A channel that passes every operation on to the real one and tells the
// station what the table shows early: the device opened, the model answer.
class ReportingChannel final : public DownloadChannel {
public:
    ReportingChannel(DownloadChannel& channel, Events& events, std::function<Json()> opened)
        : channel_(channel), events_(events), opened_(std::move(opened))
    {}

    Result<> open(const ChannelSettings& settings) override
    {
        Result<> r = channel_.open(settings);
        Json event = opened_();
        event["ok"] = r.ok();
        events_.send(event);
        return r;
    }
    Result<> write(std::span<const std::uint8_t> bytes) override { return channel_.write(bytes); }
    void discardInput() override { channel_.discardInput(); }
    std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) override
    {
        const std::uint8_t code = channel_.awaitModelAnswer(clock, failures);
        events_.send(Json{{"event", "model"}, {"model", modelName(code)}});
        return code;
    }
    AckWait awaitAck(Clock& clock, FailureReport& failures,
                     std::vector<std::uint8_t>& heard) override
    {
        return channel_.awaitAck(clock, failures, heard);
    }
    RecordRule recordRule(std::uint8_t modelCode) const override
    {
        return channel_.recordRule(modelCode);
    }
    void close() override { channel_.close(); }
    void closeAfterSession(bool earlyEnd) override { channel_.closeAfterSession(earlyEnd); }
    bool holdsUntilHandOver() const override { return channel_.holdsUntilHandOver(); }
    Result<> handOver(HandOverWatch& watch) override { return channel_.handOver(watch); }
    bool isOpen() const override { return channel_.isOpen(); }

private:
    DownloadChannel& channel_;
    Events& events_;
    std::function<Json()> opened_;
};

class ReportingChannels final : public ChannelSet {
public:
    ReportingChannels(ProductChannels& channels, Events& events, const ChannelSettings& settings)
        : serial_(channels.channel(ChannelKind::Serial), events,
                  [&channels] {
                      const PortChoice& c = channels.serial().choice();
                      Json j{{"event", "open"}, {"device", c.device}};
                      if (!c.stableName.empty())
                          j["stableName"] = c.stableName;
                      return j;
                  }),
          usb_(channels.channel(ChannelKind::Usb), events,
               [&settings] {
                   return Json{{"event", "open"}, {"device", settings.usbDevicePath}};
               }),
          network_(channels.channel(ChannelKind::Network), events, [&settings] {
              return Json{{"event", "open"}, {"device", networkPrintPath(settings.networkAddress)}};
          })
    {}
    DownloadChannel& channel(ChannelKind kind) override
    {
        switch (kind) {
        case ChannelKind::Serial: return serial_;
        case ChannelKind::Usb: return usb_;
        case ChannelKind::Network: break;
        }
        return network_;
    }

private:
    ReportingChannel serial_, usb_, network_;
};

// The progress as events, a few a second.
class EventWatch final : public SessionWatch {
public:
    explicit EventWatch(Events& events) : events_(events) {}
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
        return "serial:" +
               sameDeviceName(device.empty() ? "COM" + std::to_string(s.portNumber) : device);
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
    EventWatch watch(events);
    ReportingChannels reporting(access.channels, events, found->settings);
    SessionSetup setup;
    setup.package = o.package;
    setup.reader = &package;
    setup.force = o.force;
    setup.wire = o.common.verbose;
    setup.linksFolder = where.settingsFolder;
    return finish(events, runSession(setup, *found, access, reporting, watch));
}

} // namespace fw
