// firmware-cli as a script runs it: the real program in a program folder of
// its own, against the printer simulator on a pseudo-terminal, the umockdev
// USB test bed and a private Samba share; exit codes, last lines and JSON.

#include "cli_folder.h"
#include "printer_sim.h"
#include "pseudo_terminal.h"
#include "sample_packages.h"
#include "samba_server.h"
#include "throttling_proxy.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fw::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// One download over a serial port, as text and as JSON: the exit code, the
// outcome as the last line, and what the printer received.
// On a terminal the progress is one line redrawn in place: it never wraps,
// whatever the width, and it ends with the outcome where there is room.
TEST(CliDownload, ProgressFitsTheTerminal)
{
    const samples::Package package = sample("FIRMWARE_90.DPX");
    for (const int columns : {40, 60, 80, 132}) {
        SCOPED_TRACE(columns);
        CliFolder folder;
        sim::PrinterScript script;
        script.packageRecords = sim::splitPackage(package.bytes);
        SimulatedPrinter printer(folder, script);
        RunSetup setup;
        setup.errColumns = columns;
        const CliRun r = folder.run({"download", folder.add(package), "--serial", "COM1"}, setup);
        EXPECT_EQ(r.code, 0) << r.err;
        std::vector<std::string> drawn;
        std::string line;
        for (const char ch : r.err + "\r") {
            if (ch != '\r' && ch != '\n') {
                line += ch;
                continue;
            }
            if (const auto erase = line.find("\x1b[K"); erase != std::string::npos)
                line.erase(erase, 3);
            if (!line.empty())
                drawn.push_back(line);
            line.clear();
        }
        ASSERT_FALSE(drawn.empty()) << r.err;
        for (const std::string& d : drawn) {
            EXPECT_LT(d.size(), static_cast<std::size_t>(columns)) << d;
            if (d.find("] 0 records") != std::string::npos || d.rfind("0 records", 0) == 0) {
                EXPECT_NE(d.find(" 0%"), std::string::npos) << d;
            }
        }
        if (columns >= 60) {
            EXPECT_TRUE(drawn.back().ends_with("Download Success.")) << drawn.back();
        }
    }
}

TEST(CliDownload, OverSerialAgainstTheSimulator)
{
    const samples::Package package = sample("FIRMWARE_90.DPX");
    const std::size_t afterHeader = samples::offsetAfterHeader(package.bytes);
    const auto all = samples::recordsFrom(package.bytes, afterHeader);
    struct Case {
        const char* name;
        std::string answer;
        int noAck;
        int hangUp;
        bool fromSettings;
        int code;
        std::string outcome;
        std::string model;
        std::size_t records; // what the printer received whole
    } cases[] = {
        {"success", "TV-K3", 0, 0, false, 0, "Download Success.", "TV-K3", all.size()},
        {"success, settings from a Firmware.ini", "K20_T", 0, 0, true, 0, "Download Success.",
         "K20_T", all.size()},
        {"missing acknowledgement", "K20_T", 3, 0, false, 1, "Communication Error.", "K20_T", 3},
        // An adapter unplugged mid-download: said once, and the end at once.
        {"printer hangs up", "K20_T", 0, 3, false, 1, "Communication Error.", "K20_T", 3},
        {"model that does not suit the package", "MDL40", 0, 0, false, 5,
         "Invalid Printer model data", "MDL40", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (bool json : {false, true}) {
            CliFolder folder;
            const std::string path = folder.add(package);
            sim::PrinterScript script;
            script.answer = c.answer;
            script.noAckRecord = c.noAck;
            script.hangUpRecord = c.hangUp;
            script.packageRecords = sim::splitPackage(package.bytes);
            SimulatedPrinter printer(folder, script, 3);
            std::vector<std::string> args{"download", path};
            if (c.fromSettings)
                args.insert(args.end(),
                            {"--settings",
                             folder.write("Firmware.ini",
                                          "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=2\r\n"
                                          "BaudRate=2\r\n")});
            else
                args.insert(args.end(), {"--serial", "COM3", "--baud", "9600"});
            const std::string log = folder.str() + "/bench.log";
            args.insert(args.end(), {"--log", log});
            if (json)
                args.push_back("--json");
            const CliRun r = folder.run(args);
            EXPECT_EQ(r.code, c.code) << r.err;
            std::size_t reports = 0;
            for (std::size_t at = r.err.find("firmware-cli: "); at != std::string::npos;
                 at = r.err.find("firmware-cli: ", at + 1))
                ++reports;
            EXPECT_LE(reports, c.hangUp ? 1u : 0u) << r.err.substr(0, 2000);
            if (json) {
                EXPECT_EQ(r.field("outcome"), c.outcome);
                EXPECT_EQ(r.field("model"), c.model);
                EXPECT_EQ(r.field("port"), "COM3");
                EXPECT_EQ(r.field("device"), printer.device());
                EXPECT_EQ(r.field("exitCode"), std::to_string(c.code));
                EXPECT_EQ(r.field("records"), std::to_string(c.records));
            } else {
                EXPECT_EQ(r.lastLine(), c.outcome);
            }
            // Byte for byte: the records from the one after the header.
            const auto got = printer->records();
            ASSERT_EQ(got.size(), c.records);
            for (std::size_t k = 0; k < got.size(); ++k)
                EXPECT_EQ(got[k], all[k]) << "record " << k;
            // The bench's log: one line, with the package's SHA-256.
            std::ifstream in(log);
            std::string line, extra;
            std::getline(in, line);
            EXPECT_FALSE(std::getline(in, extra));
            EXPECT_NE(line.find("\"outcome\":\"" + c.outcome + "\""), std::string::npos) << line;
            EXPECT_NE(line.find("\"sha256\":\""), std::string::npos) << line;
        }
    }
}

// The printer as a sequence of sessions sees it: each session's answer and
// records are those of the printer's own replies, never bytes that were in
// the line before the session wrote its query (noise at power-up, or an
// acknowledgement an earlier session never read or gave up on).
TEST(CliDownload, BytesFromBeforeTheQueryAnswerNothing)
{
    UsbTestbed bed;
    const samples::Package header = sample("FIRMWARE_90.DPX");
    const samples::Package modelHeader = sample("FIRMWARE_MODEL_93.DPX");
    const std::size_t second = samples::recordsFrom(modelHeader.bytes, 0).front().size() + 2;
    const auto fromSecond = samples::recordsFrom(modelHeader.bytes, second);
    const samples::Package plain = sample("FIRMWARE_PLAIN.DPX");
    const auto whole = samples::recordsFrom(plain.bytes, 0);
    struct Session {
        int code;
        std::size_t records; // the printer received, in this session
    };
    struct Case {
        const char* name;
        bool usb;
        samples::Package package;
        sim::PrinterScript script;
        std::vector<Session> sessions;
    };
    const auto afterHeader =
        samples::recordsFrom(header.bytes, samples::offsetAfterHeader(header.bytes));
    sim::PrinterScript noise;
    noise.answer = "MDL40";
    noise.leftInLine = {0x11};
    // The first session's last acknowledgement comes after it stopped
    // waiting (on USB after its last read, which may outlast the wait), while
    // the next session waits for its model answer.
    sim::PrinterScript lateSerial;
    lateSerial.answer = "MDL40";
    lateSerial.lateAckRecord = static_cast<int>(fromSecond.size());
    lateSerial.lateAck = 5500ms;
    sim::PrinterScript lateUsb;
    lateUsb.answer = "K20_T";
    lateUsb.lateAckRecord = static_cast<int>(afterHeader.size());
    lateUsb.lateAck = 7000ms;
    lateUsb.noAckRecord = lateUsb.lateAckRecord + 2;
    // A session that reads no acknowledgements leaves them all in the line.
    sim::PrinterScript unread;
    unread.answersInTurn = {"HELLO"};
    unread.answer = "K20_T";
    unread.noAckRecord = static_cast<int>(whole.size()) + 2;
    const Case cases[] = {
        {"noise in the line, serial", false, header, noise, {{5, 0}}},
        {"noise in the line, USB", true, header, noise, {{5, 0}}},
        {"late last acknowledgement, serial",
         false,
         modelHeader,
         lateSerial,
         {{0, fromSecond.size()}, {0, fromSecond.size()}}},
        // The next session's acknowledgements are awaited: its unanswered second record ends it.
        {"late last acknowledgement, USB",
         true,
         header,
         lateUsb,
         {{0, afterHeader.size()}, {1, 2}}},
        {"unread acknowledgements, USB", true, plain, unread, {{0, whole.size()}, {1, 2}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.usb && !bed.available()) {
            ADD_FAILURE() << "needs umockdev-wrapper";
            continue;
        }
        CliFolder folder;
        const std::string path = folder.add(c.package);
        sim::PrinterScript script = c.script;
        script.packageRecords = sim::splitPackage(c.package.bytes);
        std::vector<std::string> args{"download", path, "--quiet"};
        std::optional<SimulatedPrinter> serial;
        std::unique_ptr<sim::PrinterSimulator> usb;
        std::thread usbThread;
        if (c.usb) {
            const int printer = bed.addPrinter({0x0483, 0x7C10, c.name});
            usb = std::make_unique<sim::PrinterSimulator>(bed.printerFd(printer), script);
            usbThread = std::thread([&] { usb->run(); });
            args.insert(args.end(), {"--usb-path", bed.devicePath(printer)});
        } else {
            serial.emplace(folder, script, 1, !script.leftInLine.empty());
            args.insert(args.end(), {"--serial", "COM1"});
        }
        sim::PrinterSimulator& printer = c.usb ? *usb : **serial;
        std::size_t before = 0;
        for (const Session& expected : c.sessions) {
            const CliRun r = folder.run(args);
            EXPECT_EQ(r.code, expected.code) << r.err;
            // A session that reads no acknowledgements may end before the
            // printer has taken its last records out of the device.
            const auto deadline = std::chrono::steady_clock::now() + 10s;
            auto got = printer.records();
            while (got.size() - before < expected.records &&
                   std::chrono::steady_clock::now() < deadline) {
                std::this_thread::sleep_for(10ms);
                got = printer.records();
            }
            EXPECT_EQ(got.size() - before, expected.records) << r.out << r.err;
            before = got.size();
        }
        if (usb) {
            usb->stop();
            usbThread.join();
        }
    }
}

// A download is never cut by the tool's own output failing, and the terminal
// closing ends it at a record boundary as Ctrl+C does.
TEST(CliDownload, SignalsEndItOnlyAtARecordBoundary)
{
    const samples::Package package = sample("FIRMWARE_90.DPX");
    const auto all = samples::recordsFrom(package.bytes, samples::offsetAfterHeader(package.bytes));
    constexpr int kHeldBack = 5; // its acknowledgement comes late: the signal lands meanwhile
    struct Case {
        const char* name;
        int signal; // 0: none; standard error's reader goes away instead
        int code;
        std::string outcome;
        std::size_t records;
    } cases[] = {
        {"standard error closed", 0, 0, "Download Success.", all.size()},
        {"terminal closed", SIGHUP, 129, "Interrupted.", kHeldBack},
        {"termination request", SIGTERM, 130, "Interrupted.", kHeldBack},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder folder;
        sim::PrinterScript script;
        script.packageRecords = sim::splitPackage(package.bytes);
        script.lateAckRecord = kHeldBack;
        script.lateAck = 1500ms;
        SimulatedPrinter printer(folder, script);
        const auto signal = [&](pid_t pid) {
            while (c.signal && printer->records().size() < kHeldBack)
                std::this_thread::sleep_for(5ms);
            if (c.signal)
                ::kill(pid, c.signal);
        };
        const CliRun r =
            folder.run({"download", folder.add(package), "--serial", "COM1"}, signal, !c.signal);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.lastLine(), c.outcome);
        EXPECT_EQ(printer->records().size(), c.records);
    }
}

// --usb-path takes only a printer the USB library lists, and a printer that
// cannot be opened is said to be so, whatever the package would have asked.
TEST(CliDownload, UsbPathMustNameAPrinterThatOpens)
{
    UsbTestbed bed;
    if (!bed.available())
        GTEST_SKIP() << "needs umockdev-wrapper";
    const int printer = bed.addPrinter({0x0483, 0x7C10, "BUSY"});
    // Another program holds the printer.
    const int holder = ::open(bed.devicePath(printer).c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    struct Case {
        const char* name;
        std::string option;
        std::string value;
        std::string said; // on standard error
    } cases[] = {
        {"not a printer", "--usb-path", "/dev/null", "/dev/null is not a USB printer"},
        {"nothing there", "--usb-path", "/nonexistent", "/nonexistent is not a USB printer"},
        {"a printer in use", "--usb-path", bed.devicePath(printer), "could not be opened"},
        {"a printer in use, by its serial number", "--usb-serial", "BUSY", "could not be opened"},
        {"no printer of that serial number", "--usb-serial", "BUS",
         "no USB printer with the serial number BUS"},
        {"no printer of that number", "--usb", "2", "there is no USB printer 2"},
    };
    CliFolder folder;
    // Without the model record's answer this package would be "Invalid Printer model data".
    const std::string path = folder.add(sample("FONT_MODEL.DPX"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliRun r = folder.run({"download", path, c.option, c.value, "--quiet"});
        EXPECT_EQ(r.code, 1) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        // Every download ends with its outcome, found or not.
        EXPECT_EQ(r.lastLine(), "Communication Error.");
    }
    const CliRun json = folder.run({"download", path, "--usb-serial", "BUSY", "-q", "-j"});
    EXPECT_EQ(json.field("usbSerial"), "BUSY") << json.out;
    ::close(holder);
}

// What inspect says a download sends is what a download sends; a damaged
// package is reported the same way by both and sends nothing at all.
TEST(CliInspect, AgreesWithWhatADownloadSends)
{
    std::vector<samples::Package> packages = samples::shipped();
    std::erase_if(packages,
                  [](const samples::Package& p) { return p.name == "FIRMWARE_LARGE.DPX"; });
    for (const samples::Package& p : samples::damaged())
        packages.push_back(p);
    for (const samples::Package& package : packages) {
        SCOPED_TRACE(package.name);
        CliFolder folder;
        const std::string path = folder.add(package);
        const CliRun inspected = folder.run({"inspect", path, "--json"});
        const bool damaged = package.name.starts_with("DAMAGED");
        EXPECT_EQ(inspected.code, damaged ? 4 : 0) << inspected.err;

        sim::PrinterScript script;
        script.answer = "K20_T";
        script.packageRecords = sim::splitPackage(package.bytes);
        SimulatedPrinter printer(folder, script);
        const CliRun sent = folder.run({"download", path, "--serial", "COM1", "--json", "--quiet"});
        if (damaged) {
            EXPECT_EQ(sent.code, 4);
            EXPECT_NE(inspected.out.find(sent.field("outcome")), std::string::npos) << sent.out;
            EXPECT_TRUE(printer->received().empty()); // not even the model query
            continue;
        }
        EXPECT_EQ(sent.code, 0) << sent.err;
        // The K20_T answer's plan in inspect's answers.
        const auto at = inspected.out.find("\"answer\":\"K20_T\"");
        ASSERT_NE(at, std::string::npos) << inspected.out;
        const std::string plan = inspected.out.substr(at, inspected.out.find('}', at) - at);
        std::size_t bytes = 0;
        for (const Bytes& r : printer->records())
            bytes += r.size();
        EXPECT_NE(plan.find("\"records\":" + std::to_string(printer->records().size()) + ","),
                  std::string::npos)
            << plan;
        EXPECT_NE(plan.find("\"bytes\":" + std::to_string(bytes)), std::string::npos) << plan;
        EXPECT_EQ(sent.field("records"), std::to_string(printer->records().size()));
    }
}

// The ports as links in the program folder say, and the printers of the USB
// test bed as TAVLIB finds them.
TEST(CliList, PortsAndUsbPrinters)
{
    UsbTestbed bed;
    if (!bed.available())
        GTEST_SKIP() << "needs umockdev-wrapper";
    bed.addPrinter({0x0483, 0x7C10, "A1"});
    bed.addPrinter({0x067B, 0x2305, "B2"});
    CliFolder folder;
    SimulatedPrinter printer(folder, {}, 3);
    const CliRun r = folder.run({"list", "--json"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("{\"port\":\"COM3\",\"device\":\"" + printer.device() + "\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"found\":2"), std::string::npos) << r.out;
    for (int k : {0, 1})
        EXPECT_NE(r.out.find("{\"position\":" + std::to_string(k + 1) + ",\"name\":\"USB00" +
                             std::to_string(k + 1) + "\",\"device\":\"" + bed.devicePath(k) +
                             "\",\"manufacturer\":\"\",\"product\":\"\",\"serialNumber\":\"" +
                             (k == 0 ? "A1" : "B2") + "\"}"),
                  std::string::npos)
            << r.out;
    // Nothing but the one JSON object: TAVLIB's own lines stay off standard output.
    EXPECT_EQ(r.out.find('\n'), r.out.size() - 1) << r.out;
    const CliRun text = folder.run({"list"});
    EXPECT_NE(text.out.find("USB002  " + bed.devicePath(1) + "  serial B2"), std::string::npos)
        << text.out;
}

// Every ports/COMn link, up to COM255, with what is wrong with it.
TEST(CliList, EveryLinkWithItsMark)
{
    CliFolder folder;
    SimulatedPrinter printer(folder, {}, 2);
    const fs::path ports = fs::path(folder.str()) / "ports";
    fs::create_symlink(folder.str() + "/nothing", ports / "COM20");
    fs::create_symlink(folder.str(), ports / "COM200");
    const CliRun text = folder.run({"list"});
    EXPECT_EQ(text.code, 0) << text.err;
    for (const std::string& line :
         {"  COM2   " + printer.device() + "\n",
          "  COM20  " + folder.str() + "/nothing  (the link ports/COM20 -> " + folder.str() +
              "/nothing is dangling)\n",
          "  COM200 " + folder.str() + "  (the link ports/COM200 -> " + folder.str() +
              " is a directory)\n"})
        EXPECT_NE(text.out.find(line), std::string::npos) << line << text.out;
    const CliRun json = folder.run({"list", "--json"});
    EXPECT_NE(json.out.find("\"port\":\"COM20\",\"device\":\"" + folder.str() +
                            "/nothing\",\"description\":\"\",\"manufacturer\":\"\","
                            "\"serialNumber\":\"\",\"source\":\"link\",\"link\":{\"target\":\"" +
                            folder.str() + "/nothing\",\"state\":\"dangling\"}"),
              std::string::npos)
        << json.out;
}

// The report names the device the session opened: a device named directly,
// and COMn whose link goes away while the download runs.
TEST(CliDownload, ReportNamesTheDeviceOpened)
{
    const samples::Package package = sample("FIRMWARE_PLAIN.DPX");
    for (const bool direct : {true, false}) {
        SCOPED_TRACE(direct ? "a device path" : "a link that goes away");
        CliFolder folder;
        const std::string path = folder.add(package);
        sim::PrinterScript script;
        script.packageRecords = sim::splitPackage(package.bytes);
        // Time for the link to go while the session still runs.
        script.lateAckRecord = direct ? 0 : 1;
        script.lateAck = 2s;
        SimulatedPrinter printer(folder, script, 3);
        const std::string where = direct ? printer.device() : "COM3";
        const CliRun r =
            folder.run({"download", path, "--serial", where, "--json", "--quiet"}, [&](pid_t) {
                if (direct)
                    return;
                // Once the first bytes arrive the port is open.
                const auto until = std::chrono::steady_clock::now() + 20s;
                while (printer->received().empty() && std::chrono::steady_clock::now() < until)
                    std::this_thread::sleep_for(1ms);
                fs::remove(fs::path(folder.str()) / "ports" / "COM3");
            });
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.field("port"), where);
        EXPECT_EQ(r.field("device"), printer.device());
        EXPECT_EQ(r.out.find("stableName"), std::string::npos) << r.out;
    }
}

// Ctrl+C during a download to a network printer ends it the way closing the
// window does: exit code 130, and the print share receives nothing.
TEST(CliInterrupt, DuringANetworkDownloadNothingIsPrinted)
{
    if (!SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    SambaServer share;
    const Result<> started = share.start();
    ASSERT_TRUE(started.ok()) << started.error();
    CliFolder folder;
    const samples::Package package = sample("FIRMWARE_LARGE.DPX");
    const std::string path = folder.add(package);
    const CliRun r =
        folder.run({"download", path, "--net", share.address(), "--quiet"}, [](pid_t pid) {
            // The session waits a second for the printer after its model query.
            waitUntilCaught(pid, SIGINT);
            std::this_thread::sleep_for(500ms);
            ::kill(pid, SIGINT);
        });
    EXPECT_EQ(r.code, 130) << r.err;
    EXPECT_EQ(r.lastLine(), "Interrupted.");
    std::this_thread::sleep_for(1500ms);
    EXPECT_TRUE(share.capture().empty());

    // The share still prints a whole job, and only that one.
    const samples::Package small = sample("FONT_PLAIN.DPX");
    const CliRun whole =
        folder.run({"download", folder.add(small), "--net", share.address(), "--quiet"});
    EXPECT_EQ(whole.code, 0) << whole.err;
    Bytes expected = {0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};
    for (const Bytes& rec : samples::recordsFrom(small.bytes, 0))
        expected.insert(expected.end(), rec.begin(), rec.end());
    EXPECT_EQ(share.waitForCapture(expected.size(), 10s), expected);
}

// A network download through a slow or stuck link to the share: the outcome
// is what the printer got. Ctrl+C stops a job the server does not yet hold
// (nothing is printed); once it may hold it, Ctrl+C, even twice, no longer
// ends the program: it says so, waits for the server and tells the outcome.
TEST(CliNetworkHandOver, OutcomeIsWhatThePrinterGot)
{
    if (!SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    const samples::Package package = samples::make(samples::Shape::Header90, false, 3000, 100);
    Bytes job = {0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};
    for (const Bytes& rec :
         samples::recordsFrom(package.bytes, samples::offsetAfterHeader(package.bytes)))
        job.insert(job.end(), rec.begin(), rec.end());
    constexpr std::size_t kHeld = 64 * 1024;
    struct Case {
        const char* name;
        std::size_t rate; // bytes per second to the server; 0: unlimited
        bool holdJob;     // the link stops 64 KiB into the job
        bool holdReplies; // the link stops the server's answers once the job is there
        int interrupts;   // Ctrl+C once the link holds
        int code;
        const char* outcome;
        bool printed;
    } cases[] = {
        {"slow link", 50000, false, false, 0, 0, "Download Success.", true},
        {"Ctrl+C while the link holds the job", 0, true, false, 1, 130, "Interrupted.", false},
        {"Ctrl+C twice once the server holds the job", 0, false, true, 2, 0, "Download Success.",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SambaServer share;
        const Result<> started = share.start();
        ASSERT_TRUE(started.ok()) << started.error();
        ThrottlingProxy link(share.port());
        ASSERT_NE(link.port(), 0);
        link.setRate(c.rate);
        if (c.holdJob)
            link.holdUploadAfter(kHeld);
        if (c.holdReplies)
            link.holdRepliesAfter(job.size());
        CliFolder folder;
        const std::string path = folder.add(package);
        const CliRun r =
            folder.run({"download", path, "--net", link.address(), "--quiet"}, [&](pid_t pid) {
                if (c.interrupts == 0 || !link.waitUploaded(c.holdJob ? kHeld : job.size(), 30s))
                    return;
                for (int i = 0; i < c.interrupts; ++i) {
                    ::kill(pid, SIGINT);
                    std::this_thread::sleep_for(300ms);
                }
                link.release();
            });
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.lastLine(), c.outcome) << r.err;
        if (c.interrupts == 2) {
            EXPECT_NE(r.err.find("cannot be stopped now"), std::string::npos) << r.err;
        }
        link.release();
        if (c.printed) {
            EXPECT_EQ(share.waitForCapture(job.size(), 10s), job);
            continue;
        }
        // Nothing of it follows the next job.
        const samples::Package small = sample("FONT_PLAIN.DPX");
        ASSERT_EQ(
            folder.run({"download", folder.add(small), "--net", link.address(), "--quiet"}).code,
            0);
        Bytes next = {0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};
        for (const Bytes& rec : samples::recordsFrom(small.bytes, 0))
            next.insert(next.end(), rec.begin(), rec.end());
        EXPECT_EQ(share.waitForCapture(next.size(), 10s), next);
        for (auto until = std::chrono::steady_clock::now() + 10s;
             share.spooledJobs() > 0 && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(20ms);
        EXPECT_EQ(share.capture(), next);
    }
}

// A package name that is no package file ends at once with "Firmware file
// not open." and says why, for a download as for inspect: the file is
// looked at once, through the session's own checks, and never read again.
TEST(CliRobustness, WhatIsNoPackageEndsAtOnce)
{
    CliFolder folder;
    const std::string dir = folder.str() + "/folder.DPX";
    fs::create_directory(dir);
    const std::string fifo = folder.str() + "/fifo.DPX";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string sparse = folder.str() + "/sparse.DPX";
    {
        std::ofstream(sparse, std::ios::binary).put('\x01');
        fs::resize_file(sparse, 5ull << 30); // a hole: nothing on disk
    }
    struct Case {
        const char* name;
        std::string path;
        std::string said;
    } cases[] = {
        {"a folder", dir, "it is not a file"},
        {"an endless device", "/dev/zero", "it is not a file"},
        {"a pipe without a writer", fifo, "it is not a file"},
        {"a sparse 5 GiB file", sparse, "too large (5368709120 bytes)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"download", c.path, "--serial", "COM1", "--json"},
              std::vector<std::string>{"inspect", c.path, "--json"}}) {
            const CliRun r = folder.run(args);
            EXPECT_EQ(r.code, 3) << r.err;
            EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
            EXPECT_EQ(r.field("outcome"), "Firmware file not open.");
        }
    }
}

// The exit code says whether the record a factory keeps was written: a log
// that cannot be opened stops the download before anything is sent, and a
// result or log line lost after it gives exit code 6 with the outcome on
// standard error.
TEST(CliExitCodes, ALostRecordIsNeverASuccess)
{
    const samples::Package package = sample("FONT_PLAIN.DPX");
    struct Case {
        const char* name;
        std::string log;
        bool outGone;
        std::string outFile;
        int code;
        std::string said;
        bool sent;
    } cases[] = {
        {"log in a folder that does not exist", "/nonexistent/bench.log", false, "", 2,
         "cannot open the log", false},
        {"full disk under the log", "/dev/full", false, "", 6, "the outcome: Download Success.",
         true},
        {"standard output on a full disk", "", false, "/dev/full", 6, "Download Success.", true},
        {"standard output's reader gone", "", true, "", 6, "Download Success.", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder folder;
        sim::PrinterScript script;
        script.answer = "K20_T";
        script.packageRecords = sim::splitPackage(package.bytes);
        SimulatedPrinter printer(folder, script);
        std::vector<std::string> args{"download", folder.add(package), "--serial", "COM1", "-q"};
        if (!c.log.empty())
            args.insert(args.end(), {"--log", c.log});
        RunSetup setup;
        setup.outGone = c.outGone;
        setup.outFile = c.outFile;
        const CliRun r = folder.run(args, setup);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(printer->received().empty(), !c.sent);
    }
}

// Options as command-line flashers take them; line settings are checked
// when they are read. A package that is not there ends the download before
// any port is opened, and its JSON object still tells the settings.
TEST(CliOptions, UnderstoodAsWritten)
{
    CliFolder folder;
    const std::string ini = folder.write(
        "Firmware.ini", "[PRINTFirmware]\r\nInterface=1\r\nInterfaceSel=2\r\nBaudRate=2\r\n");
    struct Case {
        std::vector<std::string> args;
        int code;
        std::string out; // in standard output, or in standard error for a code of 2
    } cases[] = {
        {{"download", "x.DPX", "--serial", "COM1", "--baud", "0"}, 2, "--baud"},
        {{"download", "x.DPX", "--serial", "COM1", "--baud", "-5"}, 2, "--baud"},
        {{"download", "x.DPX", "--serial", "COM1", "--parity", "X"}, 2, "{N,E,O}"},
        {{"download", "x.DPX", "--serial", "COM1", "--data", "12"}, 2, "--data"},
        {{"download", "x.DPX", "--serial", "COM1", "--stop", "7"}, 2, "--stop"},
        {{"download", "x.DPX", "--serial", "COM0"}, 2, "COM1 to COM255"},
        {{"download", "x.DPX", "--serial", "COM1", "--usb", "1"}, 2, "exactly one of"},
        {{"--json", "download", "--serial=COM2", "--baud=1200", "--parity=e", "--", "x.DPX"},
         3,
         R"("port":"COM2","line":{"baud":1200,"parity":"E","dataBits":8,"stopBits":1})"},
        {{"download", "x.DPX", "--settings", ini, "--baud", "1200", "-j"},
         3,
         R"("port":"COM3","line":{"baud":1200,"parity":"N","dataBits":8,"stopBits":1})"},
        {{"-V"}, 0, "firmware-cli 4.61"},
        {{"help", "download"}, 0, "download [OPTIONS] PACKAGE"},
        {{"download", "--help"}, 0, "download [OPTIONS] PACKAGE"},
        {{"--help"}, 0, "  6    the outcome could not be written"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.front() + " " + (c.args.size() > 1 ? c.args[1] : ""));
        const CliRun r = folder.run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        const std::string& where = c.code == 2 ? r.err : r.out;
        EXPECT_NE(where.find(c.out), std::string::npos) << r.out << r.err;
    }
}

// Valid JSON whatever the locale and whatever bytes a file name holds:
// standard output, the log line and inspect, under a comma-decimal locale
// made for the test, for a package whose name is Latin-1.
TEST(CliJson, ValidInEveryLocaleAndForEveryName)
{
    CliFolder folder;
    const std::string locales = folder.str() + "/locales";
    fs::create_directory(locales);
    ASSERT_EQ(std::system(
                  ("localedef -i de_DE -f UTF-8 " + locales + "/de_DE.UTF-8 2>/dev/null").c_str()) &
                  0xff00,
              0)
        << "localedef (Debian package locales) could not make de_DE.UTF-8";
    samples::Package package = sample("FONT_PLAIN.DPX");
    package.name = "caf\xe9.DPX";
    const std::string path = folder.add(package);
    const std::string log = folder.str() + "/bench.log";
    sim::PrinterScript script;
    script.answer = "K20_T";
    script.packageRecords = sim::splitPackage(package.bytes);
    SimulatedPrinter printer(folder, script);
    RunSetup german;
    german.env = {"LOCPATH=" + locales, "LC_ALL=de_DE.UTF-8"};
    const CliRun sent =
        folder.run({"download", path, "--serial", "COM1", "-q", "-j", "--log", log}, german);
    const CliRun inspected = folder.run({"inspect", path, "-j"}, german);
    std::ifstream in(log);
    std::string logLine;
    std::getline(in, logLine);
    for (const std::string& text : {sent.out, inspected.out, logLine}) {
        SCOPED_TRACE(text);
        nlohmann::json j;
        ASSERT_NO_THROW(j = nlohmann::json::parse(text));
        // Each byte that is not UTF-8 is U+FFFD.
        EXPECT_NE(j["package"].get<std::string>().find("caf\xef\xbf\xbd.DPX"), std::string::npos);
    }
    const nlohmann::json result = nlohmann::json::parse(sent.out);
    EXPECT_EQ(result["outcome"], "Download Success.");
    EXPECT_TRUE(result["seconds"].is_number());
    EXPECT_TRUE(result["durationMs"].is_number_integer());
    EXPECT_EQ(result["exitCode"], 0);
    EXPECT_EQ(nlohmann::json::parse(logLine)["sha256"], result["sha256"]);
}

// --verbose shows the wire: each record's offset and length and the
// printer's answer, the record that failed, and a success whose end-mark
// record was never acknowledged, which the JSON flags too.
TEST(CliVerbose, ShowsTheWire)
{
    const samples::Package package = sample("FONT_PLAIN.DPX");
    const auto records = samples::recordsFrom(package.bytes, 0);
    const int last = static_cast<int>(records.size());
    const std::string second = "record 2 at offset " + std::to_string(records[0].size() + 2) +
                               ", " + std::to_string(records[1].size()) + " bytes: ";
    struct Case {
        const char* name;
        int noAck;
        int nak;
        int code;
        std::string said;
        std::string acknowledged;
    } cases[] = {
        {"all acknowledged", 0, 0, 0, second + "ACK\n", "true"},
        {"NAK", 0, 2, 1, second + "NAK; no acknowledgement within 5 s; the download fails here",
         "null"},
        {"end mark unacknowledged", last, 0, 0,
         "the end mark's record was not acknowledged (counted as a success)", "false"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder folder;
        sim::PrinterScript script;
        script.answer = "K20_T";
        script.noAckRecord = c.noAck;
        script.nakRecord = c.nak;
        script.packageRecords = sim::splitPackage(package.bytes);
        SimulatedPrinter printer(folder, script);
        const CliRun r =
            folder.run({"download", folder.add(package), "--serial", "COM1", "-v", "-j"});
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(r.field("endMarkAcknowledged"), c.acknowledged) << r.out;
    }
}

// inspect tells what the chosen channel's download would do with a file:
// a record USB refuses, bytes after the end mark, a file that is no package
// at all, which download then refuses unless --force.
TEST(CliInspect, ViewsAndWarnings)
{
    samples::Package trailing = sample("FONT_PLAIN.DPX");
    trailing.bytes.insert(trailing.bytes.end(), {'J', 'U', 'N', 'K'});
    samples::Package junk{"JUNK.DPX", {}};
    std::uint32_t seed = 12345; // the same bytes every run
    for (int k = 0; k < 3000; ++k) {
        seed = seed * 1103515245 + 12345;
        junk.bytes.push_back(static_cast<std::uint8_t>(seed >> 16));
    }
    const samples::Package wide = samples::make(samples::Shape::Plain, false, 5, 300);
    struct Case {
        const char* name;
        samples::Package package;
        std::vector<std::string> options;
        std::string said; // in inspect's JSON
        int downloadCode; // without --force, to a printer that answers K20_T
    } cases[] = {
        {"bytes after the end mark", trailing, {}, R"("bytesAfterEndMark":4)", 0},
        {"no package at all", junk, {}, R"("warning":"the file does not look like a package)", 4},
        {"a record over 256 bytes over USB",
         wide,
         {"--usb"},
         R"("usbRefusedRecord":{"offset":0,"bytes":)",
         0},
        {"network: one answer", wide, {"--net"}, R"("answers":[{"answer":"K20_T")", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CliFolder folder;
        const std::string path = folder.add(c.package);
        std::vector<std::string> args{"inspect", path, "-j"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const CliRun inspected = folder.run(args);
        EXPECT_EQ(inspected.code, 0) << inspected.err;
        EXPECT_NE(inspected.out.find(c.said), std::string::npos) << inspected.out;

        for (const bool force : {false, true}) {
            sim::PrinterScript script;
            script.packageRecords = sim::splitPackage(c.package.bytes);
            SimulatedPrinter printer(folder, script);
            std::vector<std::string> download{"download", path, "--serial", "COM1", "-q"};
            if (force)
                download.push_back("--force");
            const CliRun sent = folder.run(download);
            if (force) {
                // Understood, and sent whatever the file holds.
                EXPECT_NE(sent.code, 2) << sent.err;
                EXPECT_FALSE(printer->received().empty());
                continue;
            }
            if (c.downloadCode == 0)
                continue;
            EXPECT_EQ(sent.code, c.downloadCode) << sent.err;
            EXPECT_TRUE(printer->received().empty());
            EXPECT_NE(sent.lastLine().find("--force sends it all the same"), std::string::npos);
        }
    }
}

} // namespace
} // namespace fw::test
