// firmware-cli.exe as a script on Windows runs it, under Wine: a download
// over COM1 to the printer simulator and over \\127.0.0.1\lp1; the exit
// code, the outcome as the last line, and every byte the printer received.

#include "sample_packages.h"
#include "windows_printers.h"
#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <thread>

namespace fw::test {
namespace {

const Bytes kModelQuery{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};

TEST(WindowsCli, DownloadOverCom1AndTheNetworkPath)
{
    std::string why;
    ASSERT_TRUE(PrinterService::available(why)) << why;
    // FIRMWARE_90.DPX and FONT_PLAIN.DPX of the samples.
    const samples::Package firmware = samples::make(samples::Shape::Header90, false);
    const auto afterHeader =
        samples::recordsFrom(firmware.bytes, samples::offsetAfterHeader(firmware.bytes));
    const samples::Package font = samples::make(samples::Shape::Plain, true);
    const auto whole = samples::recordsFrom(font.bytes, 0);
    const std::vector<std::string> serial{"--serial", "COM1", "--baud", "9600"};
    struct Case {
        const char* name;
        const samples::Package& package;
        std::string folder;
        std::vector<std::string> printer; // the simulator's options; empty: the network path
        std::vector<std::string> where;
        int code;
        std::string outcome;
        const std::vector<Bytes>* records; // what the printer receives after the query
    } cases[] = {
        {"serial",
         firmware,
         "K20T",
         {"--answer", "TV-K3"},
         serial,
         0,
         "Download Success.",
         &afterHeader},
        {"serial, a folder outside the code page",
         firmware,
         "K20T-\xC3\x9C\xE6\x97\xA5\xE6\x9C\xAC",
         {"--answer", "K20_T"},
         serial,
         0,
         "Download Success.",
         &afterHeader},
        {"serial, COM1 in the device namespace",
         firmware,
         "K20T",
         {"--answer", "TV-K3"},
         {"--serial", "\\\\.\\COM1", "--baud", "9600"},
         0,
         "Download Success.",
         &afterHeader},
        {"serial, a model the package does not suit",
         firmware,
         "K20T",
         {"--answer", "MDL40"},
         serial,
         5,
         "Invalid Printer model data",
         nullptr},
        {"network print path",
         font,
         "K20T",
         {},
         {"--net", "127.0.0.1"},
         0,
         "Download Success.",
         &whole},
    };
    const std::string exe = fromUnixPath(FIRMWARE_CLI);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder("cli");
        const std::string packages = folder / c.folder;
        ASSERT_TRUE(CreateDirectoryW(wide(packages).c_str(), nullptr));
        const std::string path = packages + "\\" + c.package.name;
        writeFile(path, c.package.bytes);
        writeFile(PrinterService::printShareFile(), "");
        if (!c.printer.empty()) {
            writeFile(PrinterService::folder() + "\\package.DPX", c.package.bytes);
            std::vector<std::string> options = c.printer;
            options.insert(options.end(), {"--package", "package.DPX"});
            PrinterService::start(options);
        }
        std::vector<std::string> args{"download", path, "--quiet"};
        args.insert(args.end(), c.where.begin(), c.where.end());
        const ProgramRun run = runProgram(exe, args);
        EXPECT_EQ(run.code, c.code) << run.out << run.err;
        EXPECT_EQ(run.lastLine(), c.outcome) << run.out << run.err;

        Bytes expected = kModelQuery;
        if (c.records)
            for (const Bytes& r : *c.records)
                expected.insert(expected.end(), r.begin(), r.end());
        if (c.printer.empty()) {
            const std::string printed = readFile(PrinterService::printShareFile());
            EXPECT_EQ(Bytes(printed.begin(), printed.end()), expected);
        } else {
            EXPECT_EQ(PrinterService::stop(), expected);
        }
    }
}

// Over USB, TAVLIB.dll beside the program writes its diagnostic lines to
// standard output; they never reach the results: dropped, or on standard
// error with --verbose. The printer is one the library lists (--usb-path
// takes no other) that does not open, so the outcome is a "Communication
// Error." with the library's listing and its failed open behind it; the
// transfer itself is tested on the library's exports.
TEST(WindowsCli, UsbDownloadKeepsTheLibrarysLinesOffTheResults)
{
    const samples::Package package = samples::make(samples::Shape::Header90, true);
    const std::string exe = fromUnixPath(FIRMWARE_CLI);
    usb::test::removeAllPrinters();
    const std::string device = usb::test::registerPrinter("USB\\VID_0483&PID_7C30\\CLI1");
    for (const bool verbose : {false, true}) {
        SCOPED_TRACE(verbose ? "--verbose" : "quiet library");
        TestFolder folder("usb");
        const std::string path = folder / package.name;
        writeFile(path, package.bytes);
        std::vector<std::string> args{"download", path, "--usb-path", device, "--quiet"};
        if (verbose)
            args.push_back("--verbose");
        const ProgramRun run = runProgram(exe, args);
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_TRUE(run.out == "Communication Error.\r\n")
            << "nothing but the outcome, not " << run.out.substr(0, 300);
        EXPECT_NE(run.err.find("could not be opened"), std::string::npos) << run.err;
        EXPECT_EQ(run.err.find("usb_Open() ERR") != std::string::npos, verbose) << run.err;
    }
    usb::test::removeAllPrinters();
}

// A USB download that never finds its printer still ends with its outcome
// line or JSON object, as one over a serial port does: a printer number the
// library does not list, and a program folder without TAVLIB.dll.
TEST(WindowsCli, EveryUsbDownloadEndsWithItsOutcome)
{
    const samples::Package package = samples::make(samples::Shape::Header90, true);
    usb::test::removeAllPrinters();
    TestFolder alone("alone");
    const std::string lonely = alone / "firmware-cli.exe";
    ASSERT_TRUE(CopyFileW(wide(fromUnixPath(FIRMWARE_CLI)).c_str(), wide(lonely).c_str(), FALSE));
    struct Case {
        const char* name;
        std::string exe;
        bool json;
        std::string said;
    } cases[] = {
        {"no printer 5", fromUnixPath(FIRMWARE_CLI), false, "there is no USB printer 5"},
        {"no printer 5, JSON", fromUnixPath(FIRMWARE_CLI), true, "there is no USB printer 5"},
        {"no TAVLIB.dll", lonely, false, "TAVLIB"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestFolder folder("usb");
        const std::string path = folder / package.name;
        writeFile(path, package.bytes);
        std::vector<std::string> args{"download", path, "--usb", "5", "--quiet"};
        if (c.json)
            args.push_back("--json");
        const ProgramRun run = runProgram(c.exe, args);
        EXPECT_EQ(run.code, 1) << run.err;
        EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
        if (c.json)
            EXPECT_NE(run.lastLine().find("\"outcome\":\"Communication Error.\",\"exitCode\":1"),
                      std::string::npos)
                << run.out;
        else
            EXPECT_EQ(run.lastLine(), "Communication Error.") << run.out;
    }
}

} // namespace
} // namespace fw::test
