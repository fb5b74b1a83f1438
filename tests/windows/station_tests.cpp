// firmware-cli.exe station under Wine: four printer simulators on COM1 to
// COM4 at once, one of them hanging up, and a USB printer found through
// TAVLIB.dll; each printer's bytes, JSON object and log line, and the exit
// code.

#include "sample_packages.h"
#include "windows_printers.h"
#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sstream>

namespace fw::test {
namespace {

const Bytes kModelQuery{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};

// Each line of `text` that holds `field`.
std::vector<std::string> linesWith(const std::string& text, const std::string& field)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find(field) != std::string::npos)
            lines.push_back(line);
    return lines;
}

TEST(WindowsStation, FourComPortsAtOnce)
{
    std::string why;
    ASSERT_TRUE(PrinterService::available(why)) << why;
    const samples::Package firmware = samples::make(samples::Shape::Header90, false);
    const auto records =
        samples::recordsFrom(firmware.bytes, samples::offsetAfterHeader(firmware.bytes));
    constexpr int kFaulty = 3;
    writeFile(PrinterService::folder() + "\\package.DPX", firmware.bytes);
    for (int com = 1; com <= 4; ++com) {
        std::vector<std::string> options{"--answer", "K20_T", "--package", "package.DPX"};
        if (com == kFaulty)
            options.insert(options.end(), {"--hang-up", "3"});
        PrinterService::start(options, com);
    }
    TestFolder folder("station");
    const std::string path = folder / firmware.name;
    writeFile(path, firmware.bytes);
    const std::string log = folder / "station.log";
    const ProgramRun run =
        runProgram(fromUnixPath(FIRMWARE_CLI),
                   {"station", path, "--serial", "COM1,COM2,COM3,COM4", "--json", "--log", log});
    EXPECT_EQ(run.code, 7) << run.out << run.err;
    for (int com = 1; com <= 4; ++com) {
        SCOPED_TRACE(com);
        const std::string where = "\"where\":\"COM" + std::to_string(com) + "\"";
        const std::vector<std::string> objects = linesWith(run.out, where);
        ASSERT_EQ(objects.size(), 1u) << run.out;
        const std::string outcome = com == kFaulty ? "Communication Error." : "Download Success.";
        EXPECT_NE(objects[0].find("\"outcome\":\"" + outcome + "\""), std::string::npos)
            << objects[0];
        EXPECT_EQ(linesWith(readFile(log), where).size(), 1u);

        Bytes expected = kModelQuery;
        for (std::size_t k = 0; k < (com == kFaulty ? 3 : records.size()); ++k)
            expected.insert(expected.end(), records[k].begin(), records[k].end());
        EXPECT_EQ(PrinterService::stop(com), expected);
    }
    EXPECT_NE(run.lastLine().find("\"printers\":4"), std::string::npos) << run.out;
}

// A USB printer the library lists gets its row; this one does not open, and
// its row says so.
TEST(WindowsStation, UsbPrintersThroughTheLibrary)
{
    const samples::Package firmware = samples::make(samples::Shape::Header90, false);
    usb::test::removeAllPrinters();
    usb::test::registerPrinter("USB\\VID_0483&PID_7C30\\ST1");
    TestFolder folder("station");
    const std::string path = folder / firmware.name;
    writeFile(path, firmware.bytes);
    const ProgramRun run =
        runProgram(fromUnixPath(FIRMWARE_CLI), {"station", path, "--usb", "all", "--json"});
    EXPECT_EQ(run.code, 7) << run.out << run.err;
    // The serial number as the interface path has it (lower case under Wine).
    const std::vector<std::string> rows = linesWith(run.out, "\"where\":\"USB ");
    ASSERT_EQ(rows.size(), 1u) << run.out;
    EXPECT_NE(rows[0].find("could not be opened"), std::string::npos) << rows[0];
    usb::test::removeAllPrinters();
}

} // namespace
} // namespace fw::test
