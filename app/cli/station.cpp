// firmware-cli station: reads and checks the package once, finds the
// printers the options name (and, with --watch, each one that appears),
// gives each a worker, and shows them: a live table on a terminal, a line
// or a JSON object per printer as it ends, one log line per session, and a
// summary with the exit code.
#include "cli/station.h"

#include "channels/network_address.h"
#include "channels/serial_port_names.h"
#include "channels/tavlib_binding.h"
#include "channels/usb_identity.h"
#include "choice/list_entries.h"
#include "cli/console.h"
#include "cli/session_run.h"
#include "cli/sha256.h"
#include "cli/station_table.h"
#include "cli/usb_watch.h"
#include "cli/worker_link.h"
#include "engine/package.h"
#include "engine/protocol.h"
#include "engine/session.h"
#include "settings/locations.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

namespace fw {

namespace {

using Clock = std::chrono::steady_clock;

// One printer the station was told of or found.
struct Target {
    ChannelKind kind = ChannelKind::Serial;
    std::string where;             // as shown and summed up: COM3, USB A1234, 10.0.0.5
    std::string identity;          // what is known of it before its worker tells
    std::vector<std::string> args; // download's options that name it
    ChannelSettings settings;      // for a record its worker could not make
    std::string device;            // USB: its node
    std::string usbSerial;
};

// A USB printer of the library's list.
struct UsbSeen {
    int position = 0; // from 1
    std::string device;
    std::string serial;
};

Result<std::vector<UsbSeen>> listUsbPrinters(UsbLibrary& usb)
{
    const Result<std::int32_t> found = usb.findDevices();
    if (!found.ok())
        return found.status();
    std::vector<UsbSeen> seen;
    for (std::int32_t k = 0; k < *found; ++k) {
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        if (!usb.deviceName(k, name.data()).ok() || name[0] == '\0')
            break;
        seen.push_back({k + 1, name.data(), describeUsbPrinter(name.data()).serialNumber});
    }
    return seen;
}

// One printer's row: its sessions, one after another when retried.
struct Row {
    Target target;
    int attempt = 0;
    std::unique_ptr<WorkerLink> worker;
    Clock::time_point started;
    bool running = false;
    bool ended = false, errorsEnded = false;
    int exitStatus = 0;
    std::string identity, model;
    std::size_t records = 0, bytes = 0;
    double share = 0;
    std::optional<Json> end; // the worker's end event
    std::string said;        // its last line on standard error
    // Once the last session ended:
    bool done = false;
    std::string outcome;
    int exitCode = kExitCommunication;
};

// What a worker said, without the program's name before it.
std::string reasonOf(const std::string& said)
{
    const std::string prefix = "firmware-cli: ";
    return said.rfind(prefix, 0) == 0 ? said.substr(prefix.size()) : said;
}

class Station {
public:
    Station(const StationOptions& o, std::FILE* out, LogFile& log,
            const std::vector<std::uint8_t>& package, std::string sha256)
        : o_(o), out_(out), log_(log), package_(package), sha256_(std::move(sha256)),
          where_(programLocations()), usb_(where_.libraryFolder)
    {
        const bool tableWanted = !o.common.quiet && !o.common.verbose && isTerminal(stderr);
        if (tableWanted)
            table_.emplace(stderr);
        // Where the table and the results share a terminal, the table holds
        // each printer's end, and JSON objects wait until it is drawn last.
        const bool sharing = tableWanted && isTerminal(out);
        linesOut_ = !o.common.json && !sharing;
        jsonLater_ = o.common.json && sharing;
        watching_ = o.watch;
    }

    int run();

private:
    bool usbWanted() const
    {
        return !o_.usb.empty() || !o_.usbSerial.empty() || !o_.usbPath.empty();
    }
    std::vector<std::string> lineArgs(const StationPort& port) const;
    void addFixedTargets();
    void addTarget(Target target);
    void start(std::size_t row);
    void handle(const News& news);
    void rowEvent(Row& row, const std::string& line);
    void settle(std::size_t row);
    void report(std::size_t row, const Json& result, const std::string& reason);
    void writeOut(const std::string& text);
    void rescanUsb();
    void pollSerial();
    void askToEnd(int requests);
    void redraw(bool force);
    int finish();
    bool running() const
    {
        return std::any_of(rows_.begin(), rows_.end(), [](const auto& r) { return r->running; });
    }
    bool mayStartMore() const { return o_.count == 0 || started_ < o_.count; }

    const StationOptions& o_;
    std::FILE* out_;
    LogFile& log_;
    const std::vector<std::uint8_t>& package_;
    std::string sha256_;
    Locations where_;
    TavlibBinding usb_;
    Mailbox mailbox_;
    std::vector<std::unique_ptr<Row>> rows_;
    std::optional<StationTable> table_;
    Clock::time_point lastDrawn_{};
    bool changed_ = true; // since the last drawing
    bool linesOut_ = true;
    bool jsonLater_ = false;
    std::vector<std::string> later_; // JSON objects for after the table
    bool watching_ = false;
    int started_ = 0;         // printers, not sessions
    int requestsHandled_ = 0; // Ctrl+C and the like, passed on
    std::string notWritten_;  // a result or log line that could not be written
    Clock::time_point lastActive_ = Clock::now();

    // --watch
    std::unique_ptr<UsbWatch> usbWatch_;
    bool usbPolled_ = false; // no events to watch: the list is looked at every second
    Clock::time_point usbLooked_{};
    std::map<std::string, std::string> plugged_; // key -> node: flashed in this plug-in
    std::set<std::string> gone_;                 // nodes removed, until they come again
    std::string usbError_;
    struct WatchedPort {
        Target target;
        bool present = false;
    };
    std::vector<WatchedPort> ports_;
    Clock::time_point portsLooked_{};
};

std::vector<std::string> Station::lineArgs(const StationPort& port) const
{
    std::vector<std::string> args;
    const std::optional<int> baud = port.baud ? port.baud : o_.baud;
    const std::optional<char> parity = port.parity ? port.parity : o_.parity;
    const std::optional<int> data = port.dataBits ? port.dataBits : o_.dataBits;
    const std::optional<int> stop = port.stopBits ? port.stopBits : o_.stopBits;
    if (baud)
        args.insert(args.end(), {"--baud", std::to_string(*baud)});
    if (parity)
        args.insert(args.end(), {"--parity", std::string(1, *parity)});
    if (data)
        args.insert(args.end(), {"--data", std::to_string(*data)});
    if (stop)
        args.insert(args.end(), {"--stop", std::to_string(*stop)});
    return args;
}

// Every printer named outright: serial ports (watched for with --watch),
// network printers and a settings file's printer; USB printers are looked
// for in the library's list.
void Station::addFixedTargets()
{
    for (const std::string& text : o_.serial) {
        const StationPort port = *parseStationPort(text); // checked when parsed
        Target t;
        t.kind = ChannelKind::Serial;
        t.where = port.name;
        t.args = {"--serial", port.name};
        const std::vector<std::string> line = lineArgs(port);
        t.args.insert(t.args.end(), line.begin(), line.end());
        SerialPortName named;
        (void)parseSerialPortName(port.name, named);
        t.settings.portNumber = named.portNumber;
        t.settings.serialDevice = named.devicePath;
        t.settings.line = SerialLine{port.baud.value_or(o_.baud.value_or(9600)),
                                     port.parity.value_or(o_.parity.value_or('N')),
                                     port.dataBits.value_or(o_.dataBits.value_or(8)),
                                     port.stopBits.value_or(o_.stopBits.value_or(1))};
        if (o_.watch)
            ports_.push_back({std::move(t), false});
        else
            addTarget(std::move(t));
    }
    for (const std::string& host : o_.net) {
        Target t;
        t.kind = ChannelKind::Network;
        t.where = host;
        t.identity = networkPrintPath(host);
        t.args = {"--net", host};
        t.settings.networkAddress = host;
        addTarget(std::move(t));
    }
    if (!o_.settingsFile.empty()) {
        DownloadOptions d;
        d.settingsFile = o_.settingsFile;
        const PrinterChoice c = choosePrinter(d, usb_).valueOr({}); // checked before
        Target t;
        t.kind = c.kind;
        t.settings = c.settings;
        t.where = c.kind == ChannelKind::Serial
                      ? serialPortText(c.settings.portNumber, c.settings.serialDevice)
                  : c.kind == ChannelKind::Network ? c.settings.networkAddress
                  : c.usbNumber > 0                ? usbEntryName(c.usbNumber)
                                                   : "USB";
        t.args = {"--settings", o_.settingsFile};
        const std::vector<std::string> line = lineArgs({});
        t.args.insert(t.args.end(), line.begin(), line.end());
        addTarget(std::move(t));
    }
}

void Station::addTarget(Target target)
{
    if (!mayStartMore())
        return;
    ++started_;
    lastActive_ = Clock::now();
    auto row = std::make_unique<Row>();
    row->target = std::move(target);
    row->identity = row->target.identity;
    rows_.push_back(std::move(row));
    start(rows_.size() - 1);
}

void Station::start(std::size_t index)
{
    Row& row = *rows_[index];
    ++row.attempt;
    row.started = Clock::now();
    row.running = true;
    row.ended = row.errorsEnded = false;
    row.model.clear();
    row.records = row.bytes = 0;
    row.share = 0;
    row.end.reset();
    row.said.clear();
    std::vector<std::string> args{"download", o_.package};
    args.insert(args.end(), row.target.args.begin(), row.target.args.end());
    args.insert(args.end(), {"--quiet", std::string(kWorkerOption),
                             std::to_string(package_.size()) + ":" + sha256_});
    if (o_.force)
        args.push_back("--force");
    if (o_.common.verbose)
        args.push_back("--verbose");
    Result<std::unique_ptr<WorkerProcess>> process = WorkerProcess::start(args);
    if (!process.ok()) {
        row.said = process.error();
        row.ended = row.errorsEnded = true;
        row.exitStatus = kExitCommunication;
        settle(index);
        return;
    }
    row.worker =
        std::make_unique<WorkerLink>(index, std::move(process).value(), package_, mailbox_);
    for (int k = 0; k < requestsHandled_; ++k)
        row.worker->stop();
}

void Station::handle(const News& news)
{
    changed_ = true;
    if (news.kind == News::Kind::UsbChanged) {
        if (!news.text.empty() && !news.code) {
            // Unplugged: flashed again when it comes back.
            gone_.insert(news.text);
            std::erase_if(plugged_, [&news](const auto& p) { return p.second == news.text; });
            return;
        }
        if (!news.text.empty())
            gone_.erase(news.text);
        if (watching_)
            rescanUsb();
        return;
    }
    Row& row = *rows_[news.row];
    switch (news.kind) {
    case News::Kind::Line: rowEvent(row, news.text); return;
    case News::Kind::Said:
        // The reason is the first thing the program said (what followed
        // came of it); other lines (the wire, the USB library's, a crash's)
        // only when it said nothing.
        if (row.said.rfind("firmware-cli: ", 0) != 0 && !news.text.empty() &&
            news.text.rfind("wire: ", 0) != 0)
            row.said = news.text;
        if (o_.common.verbose)
            std::fprintf(stderr, "%s: %s\n", row.target.where.c_str(), news.text.c_str());
        return;
    case News::Kind::ErrorsEnded: row.errorsEnded = true; break;
    case News::Kind::Ended:
        row.ended = true;
        row.exitStatus = news.code;
        break;
    case News::Kind::UsbChanged: return;
    }
    if (row.ended && row.errorsEnded)
        settle(news.row);
}

void Station::rowEvent(Row& row, const std::string& line)
{
    const Json event = Json::parse(line, nullptr, false);
    if (!event.is_object() || !event.contains("event"))
        return;
    const std::string kind = event.value("event", "");
    if (kind == "open") {
        const std::string stable = event.value("stableName", "");
        const std::string device = event.value("device", "");
        if (!stable.empty() || !device.empty())
            row.identity = stable.empty() ? device : stable;
    } else if (kind == "model") {
        row.model = event.value("model", "");
    } else if (kind == "progress") {
        row.records = event.value("records", std::size_t{0});
        row.bytes = event.value("bytes", std::size_t{0});
        row.share = event.value("share", 0.0);
    } else if (kind == "end" && event.contains("result") && event["result"].is_object() &&
               event.contains("log") && event["log"].is_object()) {
        row.end = event;
    }
}

// A worker has ended: its row takes the outcome, or starts a new session
// when --retry allows one.
void Station::settle(std::size_t index)
{
    Row& row = *rows_[index];
    row.worker.reset();
    row.running = false;
    lastActive_ = Clock::now();
    const std::string reason = reasonOf(row.said);
    Json result, logLine;
    if (row.end) {
        result = (*row.end)["result"];
        logLine = (*row.end)["log"];
    } else {
        // Ended without its record (a crash, a second Ctrl+C): what the
        // station knows stands in for it.
        DownloadRecord r;
        r.package = o_.package;
        r.sha256 = sha256_;
        r.kind = row.target.kind;
        r.settings = row.target.settings;
        r.device = row.identity.empty() ? row.target.device : row.identity;
        r.usbSerial = row.target.usbSerial;
        r.model = row.model.empty() ? "none" : row.model;
        r.records = row.records;
        r.bytes = row.bytes;
        r.duration =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - row.started);
        const bool stopped = requestsHandled_ > 1;
        r.outcome = stopped ? "Interrupted." : kMsgCommunicationError;
        r.exitCode = stopped ? kExitInterrupted : kExitCommunication;
        if (row.said.empty() || !stopped)
            row.said = "the worker ended without its record (exit status " +
                       std::to_string(row.exitStatus) + ")" + (reason.empty() ? "" : ": " + reason);
        result = resultJson(r);
        logLine = logJson(r, utcNow());
    }
    row.outcome = result.value("outcome", std::string(kMsgCommunicationError));
    row.exitCode = result.value("exitCode", kExitCommunication);
    row.records = result.value("records", row.records);
    const std::string shown = reasonOf(row.said);

    // Each try is a session of its own in the log.
    logLine["where"] = row.target.where;
    logLine["attempt"] = row.attempt;
    if (row.exitCode != kExitSuccess && !shown.empty())
        logLine["reason"] = shown;
    if (log_.isOpen()) {
        if (const Result<> w = log_.append(jsonText(logLine)); !w.ok() && notWritten_.empty())
            notWritten_ = w.error();
    }

    const bool stillThere =
        row.target.kind != ChannelKind::Usb || (!gone_.count(row.target.device));
    if (row.exitCode == kExitCommunication && row.attempt <= o_.retry && requestsHandled_ == 0 &&
        stillThere) {
        start(index);
        return;
    }
    row.done = true;
    report(index, result, row.exitCode ? shown : "");
}

// The printer's end on standard output: a line, or its JSON object.
void Station::report(std::size_t index, const Json& result, const std::string& reason)
{
    const Row& row = *rows_[index];
    std::string text;
    if (o_.common.json) {
        Json j;
        j["where"] = row.target.where;
        j["attempt"] = row.attempt;
        for (auto it = result.begin(); it != result.end(); ++it)
            j[it.key()] = it.value();
        if (!reason.empty())
            j["reason"] = reason;
        text = jsonText(j);
    } else if (linesOut_) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f s",
                      result.value("durationMs", std::int64_t{0}) / 1000.0);
        text = row.target.where + ": " + row.outcome + " (" + result.value("model", "none") + ", " +
               std::to_string(result.value("records", std::size_t{0})) + " records, " +
               std::to_string(result.value("bytes", std::size_t{0})) + " bytes, " + seconds;
        const std::string device = row.identity.empty() ? row.target.device : row.identity;
        if (!device.empty())
            text += ", " + device;
        if (row.attempt > 1)
            text += ", try " + std::to_string(row.attempt);
        text += reason.empty() ? ")" : "; " + reason + ")";
    }
    if (jsonLater_)
        later_.push_back(text);
    else if (!text.empty())
        writeOut(text);
}

void Station::writeOut(const std::string& text)
{
    errno = 0;
    if ((std::fputs((text + "\n").c_str(), out_) < 0 || std::fflush(out_) != 0) &&
        notWritten_.empty())
        notWritten_ = "the result could not be written to standard output (" +
                      std::string(errno ? std::strerror(errno) : "write failed") + ")";
}

// The library's list against what is flashed: a printer selected and not
// flashed in its present plug-in gets a row.
void Station::rescanUsb()
{
    usbLooked_ = Clock::now();
    const Result<std::vector<UsbSeen>> seen = listUsbPrinters(usb_);
    if (!seen.ok()) {
        usbError_ = seen.error();
        return;
    }
    usbError_.clear();
    std::erase_if(plugged_, [&seen](const auto& p) {
        return std::none_of(seen->begin(), seen->end(),
                            [&p](const UsbSeen& s) { return s.device == p.second; });
    });
    const bool all = std::find(o_.usb.begin(), o_.usb.end(), "all") != o_.usb.end();
    for (const UsbSeen& p : *seen) {
        const bool chosen =
            all ||
            std::find(o_.usb.begin(), o_.usb.end(), std::to_string(p.position)) != o_.usb.end() ||
            std::find(o_.usbPath.begin(), o_.usbPath.end(), p.device) != o_.usbPath.end() ||
            std::any_of(o_.usbSerial.begin(), o_.usbSerial.end(), [&p](const std::string& x) {
                return !p.serial.empty() && p.serial.rfind(x, 0) == 0;
            });
        const std::string key = p.serial.empty() ? "usb:" + p.device : "usb-serial:" + p.serial;
        if (!chosen || gone_.count(p.device) || plugged_.count(key) || !mayStartMore())
            continue;
        plugged_[key] = p.device;
        Target t;
        t.kind = ChannelKind::Usb;
        t.where = p.serial.empty() ? usbEntryName(p.position) : "USB " + p.serial;
        t.identity = p.device;
        t.device = p.device;
        t.usbSerial = p.serial;
        t.args = {"--usb-path", p.device};
        t.settings.usbDevicePath = p.device;
        addTarget(std::move(t));
    }
}

// Serial ports named for --watch: each one whose device has come since the
// last look gets a row.
void Station::pollSerial()
{
    portsLooked_ = Clock::now();
    for (WatchedPort& p : ports_) {
        const ChannelSettings& s = p.target.settings;
        const PortChoice choice = s.serialDevice.empty()
                                      ? findSerialPort(s.portNumber, where_.settingsFolder)
                                      : PortChoice{s.serialDevice, PortSource::Path, {}};
        std::error_code ec;
        const bool present =
            !choice.device.empty() && (choice.source == PortSource::SystemName ||
                                       std::filesystem::is_character_file(choice.device, ec));
        if (present && !p.present && mayStartMore())
            addTarget(p.target);
        p.present = present;
    }
}

// Passes each new request to end on to every worker: the first ends the
// sessions at their next record boundary, a second at once, a third stops
// whatever still runs.
void Station::askToEnd(int requests)
{
    watching_ = false;
    for (; requestsHandled_ < requests; ++requestsHandled_)
        for (const auto& row : rows_)
            if (row->worker)
                row->worker->stop();
    if (requests >= 3)
        for (const auto& row : rows_)
            if (row->worker)
                row->worker->kill();
}

void Station::redraw(bool force)
{
    if (!table_)
        return;
    // At most five times a second while rows change, once a second for the rates.
    const auto now = Clock::now();
    const auto since = now - lastDrawn_;
    if (!force &&
        (since < std::chrono::milliseconds(200) || (!changed_ && since < std::chrono::seconds(1))))
        return;
    lastDrawn_ = now;
    changed_ = false;
    std::vector<TableRow> shown;
    std::size_t under = 0, good = 0, bad = 0;
    for (const auto& r : rows_) {
        TableRow t;
        t.where = r->target.where;
        t.identity = r->identity;
        t.model = r->model;
        t.running = r->running;
        t.share = r->share;
        t.records = r->records;
        const double elapsed = std::chrono::duration<double>(now - r->started).count();
        if (r->running && elapsed >= 1.0)
            t.bytesPerSecond = static_cast<double>(r->bytes) / elapsed;
        if (r->done) {
            t.state = r->outcome;
            if (r->exitCode != kExitSuccess)
                t.reason = reasonOf(r->said);
            (r->exitCode == kExitSuccess ? good : bad) += 1;
        } else {
            ++under;
            if (r->attempt > 1)
                t.state = "try " + std::to_string(r->attempt);
        }
        shown.push_back(std::move(t));
    }
    std::string footer = std::to_string(rows_.size()) +
                         (rows_.size() == 1 ? " printer: " : " printers: ") +
                         std::to_string(under) + " under way, " + std::to_string(good) +
                         " succeeded, " + std::to_string(bad) + " failed";
    if (watching_)
        footer += "; watching for printers (Ctrl+C ends)";
    else if (requestsHandled_ > 0 && under > 0)
        footer += "; ending at the next record boundary";
    table_->draw(shown, footer);
}

int Station::run()
{
    if (o_.watch && usbWanted()) {
        // Watching starts before the first look, so no printer comes in between.
        Result<std::unique_ptr<UsbWatch>> watch =
            UsbWatch::start([this](const std::string& node, bool added) {
                mailbox_.post({0, News::Kind::UsbChanged, node, added ? 1 : 0});
            });
        if (watch.ok()) {
            usbWatch_ = std::move(watch).value();
        } else {
            sayError(watch.error() + "; the USB library's list is looked at every second instead");
            usbPolled_ = true;
        }
    }
    addFixedTargets();
    if (usbWanted())
        rescanUsb();
    if (o_.watch)
        pollSerial();
    if (!o_.watch && !usbError_.empty())
        sayError(usbError_);

    for (;;) {
        for (const News& news : mailbox_.take(std::chrono::milliseconds(100)))
            handle(news);
        if (const int requests = interruptCount(); requests > requestsHandled_)
            askToEnd(requests);
        const auto now = Clock::now();
        if (watching_) {
            if (!ports_.empty() && now - portsLooked_ >= std::chrono::milliseconds(250))
                pollSerial();
            if (usbPolled_ && now - usbLooked_ >= std::chrono::seconds(1))
                rescanUsb();
            if (!mayStartMore())
                watching_ = false;
            if (o_.timeout > 0 && !running() &&
                std::chrono::duration<double>(now - lastActive_).count() >= o_.timeout)
                watching_ = false;
        }
        redraw(false);
        if (!watching_ && !running())
            break;
    }
    usbWatch_.reset();
    redraw(true);
    for (const std::string& text : later_)
        writeOut(text);
    return finish();
}

// The summary and the exit code.
int Station::finish()
{
    std::map<std::string, std::vector<std::string>> byOutcome;
    bool interruptedRow = false, allGood = !rows_.empty();
    for (const auto& r : rows_) {
        byOutcome[r->outcome].push_back(r->target.where);
        interruptedRow =
            interruptedRow || r->exitCode == kExitInterrupted || r->exitCode == kExitHungUp;
        allGood = allGood && r->exitCode == kExitSuccess;
    }
    int code = allGood ? kExitSuccess : kExitNotAllFlashed;
    if (interruptedRow)
        code = hungUp() ? kExitHungUp : kExitInterrupted;
    if (!notWritten_.empty())
        code = kExitNotWritten;

    // "8 printers: 7 Download Success., 1 Communication Error. (COM4)"
    std::vector<std::pair<std::string, std::vector<std::string>>> groups(byOutcome.begin(),
                                                                         byOutcome.end());
    std::stable_sort(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
        if ((a.first == kMsgDownloadSuccess) != (b.first == kMsgDownloadSuccess))
            return a.first == kMsgDownloadSuccess;
        return a.second.size() > b.second.size();
    });
    std::string text =
        std::to_string(rows_.size()) + (rows_.size() == 1 ? " printer" : " printers");
    Json outcomes = Json::array();
    for (std::size_t k = 0; k < groups.size(); ++k) {
        const auto& [outcome, wheres] = groups[k];
        text += (k == 0 ? ": " : ", ") + std::to_string(wheres.size()) + " " + outcome;
        Json g{{"outcome", outcome}, {"printers", wheres.size()}};
        if (outcome != kMsgDownloadSuccess) {
            std::string list;
            for (const std::string& w : wheres)
                list += (list.empty() ? "" : ", ") + w;
            text += " (" + list + ")";
            g["where"] = wheres;
        }
        outcomes.push_back(std::move(g));
    }
    if (rows_.empty())
        text += ": none found" + (usbError_.empty() ? std::string() : " (" + usbError_ + ")");

    if (!notWritten_.empty())
        sayError(notWritten_ + "; " + text);
    if (o_.common.json) {
        Json j;
        j["tool"] = "firmware-cli";
        j["version"] = FW_VERSION;
        j["package"] = o_.package;
        j["sha256"] = sha256_;
        j["printers"] = rows_.size();
        j["outcomes"] = outcomes;
        j["exitCode"] = code;
        text = jsonText(j);
    }
    return writeResult(out_, text, code);
}

// What a station must not start with: a package that cannot be read, or
// that every printer would be sent nothing of (the session's own checks).
struct PackageFaultFound {
    std::string outcome;
    int code = kExitSuccess;
};

std::optional<PackageFaultFound> packageFault(const std::vector<std::uint8_t>& bytes, bool force)
{
    if (!force)
        if (const std::optional<std::string> why = notAPackage(bytes))
            return PackageFaultFound{*why + "; nothing was sent (--force sends it all the same)",
                                     kExitDamaged};
    const ScanResult scan = scanPackage(bytes);
    if (scan.fault)
        return PackageFaultFound{describe(*scan.fault), kExitDamaged};
    if (const auto damage = damageOnEveryWay(bytes, scan.index))
        return PackageFaultFound{describe(*damage), kExitDamaged};
    return std::nullopt;
}

// The end of a station that sent nothing at all.
int endBeforeAnyPrinter(const StationOptions& o, std::FILE* out, const std::string& outcome,
                        int code)
{
    sayError("nothing was sent to any printer");
    if (!o.common.json)
        return writeResult(out, outcome, code);
    Json j;
    j["tool"] = "firmware-cli";
    j["version"] = FW_VERSION;
    j["package"] = o.package;
    j["printers"] = 0;
    j["outcome"] = outcome;
    j["exitCode"] = code;
    return writeResult(out, jsonText(j), code);
}

} // namespace

int runStation(const StationOptions& o, std::FILE* out)
{
    if (o.serial.empty() && o.usb.empty() && o.usbSerial.empty() && o.usbPath.empty() &&
        o.net.empty() && o.settingsFile.empty())
        return usageError("station needs at least one of --serial, --usb, --usb-serial, "
                          "--usb-path, --net or --settings");
    if (!o.watch && (o.count > 0 || o.timeout > 0))
        return usageError("--count and --timeout go with --watch");
    if (o.watch &&
        std::any_of(o.usb.begin(), o.usb.end(), [](const std::string& u) { return u != "all"; }))
        return usageError("--watch takes --usb all (positions move as printers come and go)");
    if (!o.settingsFile.empty()) {
        DownloadOptions d;
        d.settingsFile = o.settingsFile;
        TavlibBinding usb(programLocations().libraryFolder);
        if (const Result<PrinterChoice> c = choosePrinter(d, usb); !c.ok())
            return usageError(c.error());
    }

    LogFile log;
    if (!o.logFile.empty()) {
        if (const Result<> opened = log.open(o.logFile); !opened.ok()) {
            sayError(opened.error());
            return kExitUsage;
        }
    }

    // Read once, through the session's own checks; every worker gets these bytes.
    std::vector<std::uint8_t> package;
    FilePackageReader reader;
    if (const Result<> read = readWholePackage(reader, o.package, package); !read.ok()) {
        sayError(read.error());
        return endBeforeAnyPrinter(o, out, kMsgFirmwareNotOpen, kExitNotOpen);
    }
    if (const std::optional<PackageFaultFound> fault = packageFault(package, o.force))
        return endBeforeAnyPrinter(o, out, fault->outcome, fault->code);

    countInterrupts();
    Station station(o, out, log, package, sha256Hex(package));
    return station.run();
}

} // namespace fw
