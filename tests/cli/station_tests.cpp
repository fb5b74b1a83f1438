// firmware-cli station as a factory line runs it: many simulated printers at
// once on pseudo-terminals and in the umockdev USB test bed; what each
// printer received, each printer's JSON object and log line, the summary
// and the exit code.

#include "cli_folder.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cctype>
#include <csignal>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace fw::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Json = nlohmann::json;
using Records = std::vector<std::vector<std::uint8_t>>;

// A station's JSON lines: one object per printer as it ends (with "where"),
// then the summary (with "printers").
struct StationJson {
    std::map<std::string, Json> printers; // by where
    Json summary;
};

StationJson stationJson(const std::string& out)
{
    StationJson s;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        const Json j = Json::parse(line, nullptr, false);
        EXPECT_TRUE(j.is_object()) << line;
        if (j.contains("where"))
            s.printers[j["where"].get<std::string>()] = j;
        else
            s.summary = j;
    }
    return s;
}

// Every line of the log, each one a whole JSON object.
std::vector<Json> logLines(const std::string& path)
{
    std::vector<Json> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(Json::parse(line, nullptr, false));
        EXPECT_TRUE(lines.back().is_object()) << "not a whole line: " << line;
    }
    return lines;
}

// Simulated printers on COM1 ... COMn of the folder, with `script` unless
// `special` gives one of its own.
std::vector<std::unique_ptr<SimulatedPrinter>>
printersOn(const CliFolder& folder, int count, const samples::Package& package,
           const std::map<int, sim::PrinterScript>& special = {})
{
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    for (int n = 1; n <= count; ++n) {
        sim::PrinterScript script = special.count(n) ? special.at(n) : sim::PrinterScript{};
        script.packageRecords = sim::splitPackage(package.bytes);
        printers.push_back(std::make_unique<SimulatedPrinter>(folder, script, n));
    }
    return printers;
}

Records afterHeader(const samples::Package& package)
{
    return samples::recordsFrom(package.bytes, samples::offsetAfterHeader(package.bytes));
}

// A package long enough that its sessions are under way for seconds
// however fast the machine, with printers that take 2 ms per record.
samples::Package longPackage()
{
    return samples::make(samples::Shape::Plain, false, 3000, 72);
}

sim::PrinterScript slowPrinter(const samples::Package& package)
{
    sim::PrinterScript script;
    script.ackDelay = 2ms;
    script.packageRecords = sim::splitPackage(package.bytes);
    return script;
}

void waitForRecords(const sim::PrinterSimulator& printer, std::size_t count)
{
    for (auto until = std::chrono::steady_clock::now() + 60s;
         printer.records().size() < count && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(5ms);
}

// What the printer received is the model query and whole records: nothing
// of a record was cut.
void expectWholeRecords(const sim::PrinterSimulator& printer)
{
    std::size_t bytes = 10; // the model query
    for (const auto& r : printer.records())
        bytes += r.size();
    EXPECT_EQ(printer.received().size(), bytes);
}

// Eight printers at once, one of them faulty: its row fails (or, tried
// again, succeeds), every other printer gets exactly the records a download
// sends, the log holds one line per session, and the exit code says whether
// all succeeded.
TEST(Station, EightPrintersEachWithItsOwnSession)
{
    const samples::Package package = sample("FIRMWARE_90.DPX");
    const Records all = afterHeader(package);
    constexpr int kFaulty = 4;
    sim::PrinterScript hangsUp;
    hangsUp.hangUpRecord = 3;
    sim::PrinterScript silent;
    silent.noAckRecord = 3;
    struct Case {
        const char* name;
        sim::PrinterScript faulty;
        std::vector<std::string> options;
        int code;
        std::string summary; // the last line, as text
        std::size_t faultyRecords;
        int sessions; // of the faulty printer
    } cases[] = {
        {"a printer hangs up",
         hangsUp,
         {},
         7,
         "8 printers: 7 Download Success., 1 Communication Error. (COM4)",
         3,
         1},
        {"a printer stops answering, tried again",
         silent,
         {"--retry", "1", "--json"},
         0,
         "",
         3 + all.size(),
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder folder;
        const auto printers = printersOn(folder, 8, package, {{kFaulty, c.faulty}});
        const std::string log = folder.str() + "/station.log";
        std::vector<std::string> args{"station",  folder.add(package),
                                      "--serial", "COM1,COM2,COM3,COM4",
                                      "--serial", "COM5,COM6,COM7",
                                      "--serial", "COM8@19200/7E2",
                                      "--log",    log};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun r = folder.run(args);
        EXPECT_EQ(r.code, c.code) << r.out << r.err;

        for (int n = 1; n <= 8; ++n) {
            const Records got = (*printers[n - 1])->records();
            if (n == kFaulty)
                EXPECT_EQ(got.size(), c.faultyRecords);
            else
                EXPECT_TRUE(got == all) << "COM" << n << ": " << got.size() << " records";
        }
        const std::vector<Json> lines = logLines(log);
        EXPECT_EQ(lines.size(), 7u + c.sessions);
        int faultySessions = 0;
        for (const Json& l : lines) {
            if (l.value("where", "") == "COM4") {
                EXPECT_EQ(l.value("attempt", 0), ++faultySessions);
            }
            if (l.value("where", "") == "COM8") {
                EXPECT_EQ(l["line"], Json::parse(R"({"baud":19200,"parity":"E","dataBits":7,)"
                                                 R"("stopBits":2})"));
            }
        }
        EXPECT_EQ(faultySessions, c.sessions);

        if (c.summary.empty()) {
            const StationJson j = stationJson(r.out);
            EXPECT_EQ(j.printers.size(), 8u);
            EXPECT_EQ(j.printers.at("COM4").value("attempt", 0), c.sessions);
            EXPECT_EQ(j.summary.value("exitCode", -1), c.code);
        } else {
            EXPECT_EQ(r.lastLine(), c.summary);
            EXPECT_NE(r.out.find("COM4: Communication Error. (K20_T, 3 records"), std::string::npos)
                << r.out;
        }
    }
}

// On a terminal every printer has a row, redrawn in place: no line wraps,
// whatever the width, and the last drawing holds each printer's outcome.
TEST(StationTable, FitsTheTerminal)
{
    const samples::Package package = sample("FIRMWARE_90.DPX");
    sim::PrinterScript hangsUp;
    hangsUp.hangUpRecord = 3;
    for (const int columns : {40, 100}) {
        SCOPED_TRACE(columns);
        CliFolder folder;
        const auto printers = printersOn(folder, 3, package, {{2, hangsUp}});
        RunSetup setup;
        setup.errColumns = columns;
        const CliRun r =
            folder.run({"station", folder.add(package), "--serial", "COM1,COM2,COM3"}, setup);
        EXPECT_EQ(r.code, 7) << r.err;
        std::vector<std::string> drawn;
        std::string line;
        for (std::size_t k = 0; k < r.err.size(); ++k) {
            const char ch = r.err[k];
            if (ch == '\x1b') { // an escape sequence: up, or clear to the end
                while (k < r.err.size() && !std::isalpha(static_cast<unsigned char>(r.err[k])))
                    ++k;
                continue;
            }
            if (ch != '\r' && ch != '\n') {
                line += ch;
                continue;
            }
            if (!line.empty())
                drawn.push_back(line);
            line.clear();
        }
        ASSERT_GE(drawn.size(), 4u) << r.err;
        for (const std::string& d : drawn)
            EXPECT_LT(d.size(), static_cast<std::size_t>(columns)) << d;
        // The last drawing: three rows and the count of them.
        const std::vector<std::string> last(drawn.end() - 4, drawn.end());
        for (int n = 1; n <= 3; ++n) {
            const std::string& row = last[static_cast<std::size_t>(n - 1)];
            EXPECT_EQ(row.rfind("COM" + std::to_string(n), 0), 0u) << row;
            if (columns >= 100) {
                EXPECT_NE(row.find(n == 2 ? "Communication Error." : "Download Success."),
                          std::string::npos)
                    << row;
            }
        }
        EXPECT_NE(last[3].find("3 printers: 0 under way"), std::string::npos) << last[3];
    }
}

// The station's worker whose command line names `port`; -1 when none.
pid_t workerFor(pid_t station, const std::string& port)
{
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string name = entry.path().filename().string();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::ifstream stat(entry.path() / "stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        const auto close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(text.substr(close + 2));
        std::string state;
        pid_t parent = 0;
        if (!(fields >> state >> parent) || parent != station)
            continue;
        std::ifstream cmdline(entry.path() / "cmdline");
        std::string args((std::istreambuf_iterator<char>(cmdline)), {});
        if (args.find(std::string("\0") + port + '\0') != std::string::npos)
            return static_cast<pid_t>(std::stol(name));
    }
    return -1;
}

// A worker that dies in the middle of its session (a crash, a kill) ends
// its own row and nothing else.
TEST(Station, AWorkerThatDiesEndsOnlyItsOwnRow)
{
    const samples::Package package = longPackage();
    CliFolder folder;
    sim::PrinterScript quick;
    quick.packageRecords = sim::splitPackage(package.bytes);
    SimulatedPrinter first(folder, quick, 1);
    SimulatedPrinter slow(folder, slowPrinter(package), 2);
    SimulatedPrinter third(folder, quick, 3);
    const CliRun r = folder.run(
        {"station", folder.add(package), "--serial", "COM1,COM2,COM3", "--json"}, [&](pid_t pid) {
            waitForRecords(*slow, 2);
            const pid_t worker = workerFor(pid, "COM2");
            ASSERT_GT(worker, 0);
            ::kill(worker, SIGKILL);
        });
    EXPECT_EQ(r.code, 7) << r.err;
    const StationJson j = stationJson(r.out);
    ASSERT_EQ(j.printers.size(), 3u) << r.out;
    EXPECT_EQ(j.printers.at("COM1").value("outcome", ""), "Download Success.");
    EXPECT_EQ(j.printers.at("COM3").value("outcome", ""), "Download Success.");
    EXPECT_EQ(j.printers.at("COM2").value("outcome", ""), "Communication Error.");
    EXPECT_NE(j.printers.at("COM2").value("reason", "").find("ended without its record"),
              std::string::npos);
    EXPECT_LT(slow->records().size(), 3000u);
}

// A package that cannot be read, is damaged or is no package at all is
// found so before any printer gets a byte: nothing is sent anywhere.
TEST(Station, APackageAtFaultReachesNoPrinter)
{
    CliFolder folder;
    const samples::Package good = sample("FIRMWARE_90.DPX");
    const auto printers = printersOn(folder, 3, good);
    struct Case {
        std::string name;
        std::string path;
        int code;
    };
    std::vector<Case> cases;
    for (const samples::Package& p : samples::damaged())
        cases.push_back({p.name, folder.add(p), 4});
    samples::Package junk{"JUNK.DPX", {}};
    for (int k = 0; k < 3000; ++k)
        junk.bytes.push_back(static_cast<std::uint8_t>(k * 7919 >> 3));
    cases.push_back({"no package", folder.add(junk), 4});
    fs::create_directory(folder.str() + "/folder.DPX");
    cases.push_back({"a folder", folder.str() + "/folder.DPX", 3});
    const std::string log = folder.str() + "/station.log";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r =
            folder.run({"station", c.path, "--serial", "COM1,COM2,COM3", "--log", log, "--json"});
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(stationJson(r.out).summary.value("printers", -1), 0) << r.out;
        for (const auto& p : printers)
            EXPECT_TRUE((*p)->received().empty());
        EXPECT_EQ(fs::file_size(log), 0u);
    }
}

// A USB printer played by the simulator on the test bed's node.
struct PluggedPrinter {
    PluggedPrinter(UsbTestbed& bed, const std::string& serial, sim::PrinterScript script)
        : number(bed.addPrinter({0x0483, 0x7C10, serial})),
          sim(std::make_unique<sim::PrinterSimulator>(bed.printerFd(number), std::move(script)))
    {
        thread = std::thread([this] { sim->run(); });
        bed.announce(number);
    }
    ~PluggedPrinter()
    {
        sim->stop();
        thread.join();
    }
    int number;
    std::unique_ptr<sim::PrinterSimulator> sim;
    std::thread thread;
};

// --watch flashes each USB printer once per plug-in: one there at the
// start, one plugged in later, the first again once replugged (but not the
// second, still plugged), and one unplugged in the middle of its session,
// whose row alone fails.
TEST(StationWatch, FlashesEachPrinterOncePerPlugIn)
{
    UsbTestbed bed;
    if (!bed.available())
        GTEST_SKIP() << "needs umockdev-wrapper";
    const samples::Package package = sample("FIRMWARE_90.DPX");
    const Records all = afterHeader(package);
    sim::PrinterScript script;
    script.packageRecords = sim::splitPackage(package.bytes);
    CliFolder folder;
    const std::string log = folder.str() + "/station.log";
    const auto outcomeOf = [](const std::optional<std::string>& line) {
        const Json j = Json::parse(line.value_or(""), nullptr, false);
        return j.is_object() ? j.value("where", "") + ": " + j.value("outcome", "") : "none";
    };

    PluggedPrinter first(bed, "A1", script);
    const auto station = folder.start({"station", folder.add(package), "--watch", "--usb", "all",
                                       "--count", "4", "--json", "--log", log});
    EXPECT_EQ(outcomeOf(station->nextLine(60s)), "USB A1: Download Success.");
    PluggedPrinter second(bed, "B2", script);
    EXPECT_EQ(outcomeOf(station->nextLine(60s)), "USB B2: Download Success.");
    bed.unplug(first.number);
    PluggedPrinter replugged(bed, "A1", script);
    EXPECT_EQ(outcomeOf(station->nextLine(60s)), "USB A1: Download Success.");
    sim::PrinterScript holding = script;
    holding.lateAckRecord = 3;
    holding.lateAck = 30s;
    PluggedPrinter pulled(bed, "C3", holding);
    for (auto until = std::chrono::steady_clock::now() + 60s;
         pulled.sim->records().size() < 3 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(5ms);
    bed.unplug(pulled.number);
    EXPECT_EQ(outcomeOf(station->nextLine(60s)), "USB C3: Communication Error.");

    const CliRun r = station->finish();
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_EQ(stationJson(r.out).summary.value("printers", 0), 4);
    EXPECT_TRUE(first.sim->records() == all) << first.sim->records().size();
    EXPECT_TRUE(second.sim->records() == all) << second.sim->records().size();
    EXPECT_EQ(second.sim->queries(), 1);
    EXPECT_TRUE(replugged.sim->records() == all) << replugged.sim->records().size();
    EXPECT_EQ(pulled.sim->records().size(), 3u);
    EXPECT_EQ(logLines(log).size(), 4u);
}

// One log, many writers: a station of eight printers and eight downloads
// beside it append to it at once; every line comes out whole.
TEST(StationLog, OneWholeLinePerSessionWithManyWriters)
{
    samples::Package package = sample("FONT_PLAIN.DPX");
    package.name = std::string(150, 'L') + ".DPX"; // long lines
    CliFolder folder;
    const auto printers = printersOn(folder, 16, package);
    const std::string path = folder.add(package);
    const std::string log = folder.str() + "/station.log";
    std::vector<std::thread> downloads;
    std::vector<int> codes(9, -1);
    downloads.emplace_back([&] {
        codes[0] = folder
                       .run({"station", path, "--serial", "COM1,COM2,COM3,COM4,COM5,COM6,COM7,COM8",
                             "--log", log})
                       .code;
    });
    for (int n = 9; n <= 16; ++n)
        downloads.emplace_back([&, n] {
            codes[static_cast<std::size_t>(n - 8)] =
                folder
                    .run({"download", path, "--serial", "COM" + std::to_string(n), "-q", "--log",
                          log})
                    .code;
        });
    for (std::thread& t : downloads)
        t.join();
    EXPECT_EQ(codes, std::vector<int>(9, 0));
    std::set<std::string> ports;
    for (const Json& line : logLines(log)) {
        EXPECT_EQ(line.value("outcome", ""), "Download Success.");
        ports.insert(line.value("port", ""));
    }
    EXPECT_EQ(ports.size(), 16u);
}

// Ctrl+C ends every session under way at its next record boundary, as it
// ends a download, and the station still writes each printer's line, its
// log line and the summary.
TEST(StationInterrupt, CtrlCEndsEverySessionAtARecordBoundary)
{
    const samples::Package package = longPackage();
    CliFolder folder;
    std::vector<std::unique_ptr<SimulatedPrinter>> printers;
    for (int n = 1; n <= 4; ++n)
        printers.push_back(std::make_unique<SimulatedPrinter>(folder, slowPrinter(package), n));
    const std::string log = folder.str() + "/station.log";
    const CliRun r = folder.run(
        {"station", folder.add(package), "--serial", "COM1,COM2,COM3,COM4", "--log", log},
        [&](pid_t pid) {
            for (const auto& p : printers)
                waitForRecords(**p, 5);
            ::kill(pid, SIGINT);
        });
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_EQ(r.lastLine(), "4 printers: 4 Interrupted. (COM1, COM2, COM3, COM4)");
    for (const auto& p : printers) {
        EXPECT_GE((*p)->records().size(), 5u);
        EXPECT_LT((*p)->records().size(), 3000u);
        expectWholeRecords(**p);
    }
    const std::vector<Json> lines = logLines(log);
    EXPECT_EQ(lines.size(), 4u);
    for (const Json& l : lines)
        EXPECT_EQ(l.value("outcome", ""), "Interrupted.");
}

// Two stations never open one printer: the second one's rows say why, and
// it sends nothing, on a serial port as on a USB printer.
TEST(Station, APrinterIsFlashedByOneStationAtATime)
{
    UsbTestbed bed;
    if (!bed.available())
        GTEST_SKIP() << "needs umockdev-wrapper";
    const samples::Package package = longPackage();
    CliFolder folder;
    SimulatedPrinter serial(folder, slowPrinter(package), 1);
    PluggedPrinter usb(bed, "X9", slowPrinter(package));
    const std::vector<std::string> args{
        "station", folder.add(package), "--serial", "COM1", "--usb-serial", "X9", "--json"};
    const auto first = folder.start(args);
    waitForRecords(*serial, 2);
    waitForRecords(*usb.sim, 2);

    const CliRun second = folder.run(args);
    EXPECT_EQ(second.code, 7) << second.err;
    const StationJson refused = stationJson(second.out);
    for (const std::string where : {"COM1", "USB X9"}) {
        SCOPED_TRACE(where);
        ASSERT_TRUE(refused.printers.count(where)) << second.out;
        const Json& row = refused.printers.at(where);
        EXPECT_EQ(row.value("outcome", ""), "Communication Error.");
        EXPECT_NE(row.value("reason", "")
                      .find("another firmware-cli station is flashing this "
                            "printer (process "),
                  std::string::npos)
            << row.dump();
    }

    ::kill(first->pid(), SIGINT);
    EXPECT_EQ(first->finish().code, 130);
    // The first station's query was the only one either printer got.
    EXPECT_EQ(serial->queries(), 1);
    EXPECT_EQ(usb.sim->queries(), 1);
    expectWholeRecords(*serial);
}

} // namespace
} // namespace fw::test
