// Start-up from the settings file and the USB printers found, and "&OK"
// storing the settings for the next run.

#include "form/startup.h"
#include "form_run.h"
#include "settings/settings_store.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fw {
namespace {

using test::kNoLibrary;

// One run of the program on the headless window, from `programDir`.
struct ProgramRun : test::FormRun {
    ProgramRun(int printers, const std::string& programDir) : FormRun(printers, programDir) {}
    void start() { form.startUp(); }
};

std::vector<std::string> items(const test::FakeToolkit& ui, Ctl list)
{
    return ui.ctl(list).items;
}

TEST(StartUp, FillsTheListsWithTheirFixedEntries)
{
    test::TempDir dir;
    ProgramRun run(0, dir.path());
    run.start();
    const test::FakeToolkit& ui = run.ui;
    EXPECT_EQ(items(ui, Ctl::cboPORT),
              (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7",
                                        "COM8", "COM9", "COM10"}));
    EXPECT_EQ(items(ui, Ctl::CboUSB), std::vector<std::string>{"LPT1"});
    EXPECT_EQ(items(ui, Ctl::cboBaudRate),
              (std::vector<std::string>{"2400 bps", "4800 bps", "9600 bps", "19200 bps",
                                        "38400 bps", "57600 bps", "115200 bps"}));
    EXPECT_EQ(items(ui, Ctl::cboBitLength), std::vector<std::string>{"8 bit"});
    EXPECT_EQ(items(ui, Ctl::cboParity), (std::vector<std::string>{"NONE", "EVEN", "ODD"}));
    EXPECT_EQ(items(ui, Ctl::cboStopBit), std::vector<std::string>{"1 bit"});
    EXPECT_EQ(items(ui, Ctl::cboHandShake), std::vector<std::string>{"DTR/DSR"});
    EXPECT_EQ(run.usb.findCalls, 1);
}

struct ListingCase {
    int printers;
    std::vector<std::string> firstEntries; // the first entries of CboUSB
    std::string last;
    bool listed;
};

class UsbListingTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(UsbListingTest, ListsThePrintersFound)
{
    const ListingCase& c = GetParam();
    test::TempDir dir;
    ProgramRun run(c.printers, dir.path());
    run.start();
    const auto entries = items(run.ui, Ctl::CboUSB);
    ASSERT_GE(entries.size(), c.firstEntries.size());
    EXPECT_EQ(std::vector<std::string>(entries.begin(),
                                       entries.begin() + static_cast<long>(c.firstEntries.size())),
              c.firstEntries);
    EXPECT_EQ(entries.back(), c.last);
    EXPECT_EQ(run.state().usbPrintersListed, c.listed);
    EXPECT_EQ(run.ui.isEnabled(Ctl::OptUSB), c.listed);
    if (c.listed) {
        EXPECT_EQ(entries.size(), static_cast<size_t>(c.printers));
        EXPECT_TRUE(run.ui.isEnabled(Ctl::CboUSB));
        EXPECT_EQ(run.ui.listIndex(Ctl::CboUSB), 0);
        EXPECT_EQ(run.state().usbDevicePath,
                  test::devicePathField(test::FakeUsbLibrary::pathOf(0)));
    } else {
        EXPECT_EQ(run.ui.listIndex(Ctl::CboUSB), -1);
        EXPECT_TRUE(run.state().usbDevicePath.empty());
        EXPECT_TRUE(run.usb.nameCalls.empty());
    }
    EXPECT_TRUE(run.ui.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Counts, UsbListingTest,
                         ::testing::Values(ListingCase{2, {"USB001", "USB002"}, "USB002", true},
                                           ListingCase{12,
                                                       {"USB001", "USB002", "USB003", "USB004",
                                                        "USB005", "USB006", "USB007", "USB008",
                                                        "USB009", "USB010", "USB011", "USB012"},
                                                       "USB012",
                                                       true},
                                           ListingCase{99, {"USB001"}, "USB099", true},
                                           ListingCase{0, {"LPT1"}, "LPT1", false},
                                           ListingCase{-1, {"LPT1"}, "LPT1", false},
                                           ListingCase{100, {"LPT1"}, "LPT1", false},
                                           ListingCase{kNoLibrary, {"LPT1"}, "LPT1", false}));

enum class Chosen { None, Serial, USB, Ethernet };

struct StartCase {
    const char* what;
    int printers;
    std::optional<std::string> file; // nullopt: first run, no file
    Chosen chosen;
    bool frameSerial, frameUsb, frameEthernet;
    int port, usbIndex;
    std::optional<int> devicePath; // position of the device path; nullopt: empty or blanks
    bool box;
    int baud = 0, parity = 0;
    std::string address = "192.168.0.10";
};

std::ostream& operator<<(std::ostream& os, const StartCase& c)
{
    return os << c.what;
}

class StartUpTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(StartUpTest, RestoresTheStoredInterface)
{
    const StartCase& c = GetParam();
    test::TempDir dir;
    if (c.file)
        test::writeBytes(settingsFilePath(dir.path()), *c.file);
    ProgramRun run(c.printers, dir.path());
    bool serialChosenAtBox = false;
    run.ui.onMessageBox = [&](const test::ShownBox&) {
        serialChosenAtBox = run.ui.isSelected(Ctl::OptSerial);
    };
    run.start();
    const test::FakeToolkit& ui = run.ui;

    EXPECT_EQ(ui.isSelected(Ctl::OptSerial), c.chosen == Chosen::Serial);
    EXPECT_EQ(ui.isSelected(Ctl::OptUSB), c.chosen == Chosen::USB);
    EXPECT_EQ(ui.isSelected(Ctl::OptEthernet), c.chosen == Chosen::Ethernet);
    EXPECT_EQ(ui.isVisible(Ctl::FrameSerial), c.frameSerial);
    EXPECT_EQ(ui.isVisible(Ctl::FrameUSB), c.frameUsb);
    EXPECT_EQ(ui.isVisible(Ctl::FrameEthernet), c.frameEthernet);
    EXPECT_EQ(ui.listIndex(Ctl::cboPORT), c.port);
    EXPECT_EQ(ui.listIndex(Ctl::CboUSB), c.usbIndex);
    if (c.devicePath)
        EXPECT_EQ(run.state().usbDevicePath,
                  test::devicePathField(test::FakeUsbLibrary::pathOf(*c.devicePath)));
    else
        EXPECT_EQ(run.state().usbDevicePath.find_first_not_of(' '), std::string::npos);
    if (c.box) {
        ASSERT_EQ(ui.boxes.size(), 1u);
        EXPECT_EQ(ui.boxes[0].text, "Not Connect USB Device and Power off!");
        EXPECT_TRUE(ui.boxes[0].exclamation);
        EXPECT_EQ(ui.boxes[0].title, "Firmware Downloader");
        EXPECT_FALSE(serialChosenAtBox) << "the box comes before Serial is chosen";
    } else {
        EXPECT_TRUE(ui.boxes.empty());
    }
    EXPECT_EQ(ui.listIndex(Ctl::cboBaudRate), c.baud);
    EXPECT_EQ(ui.listIndex(Ctl::cboBitLength), 0);
    EXPECT_EQ(ui.listIndex(Ctl::cboParity), c.parity);
    EXPECT_EQ(ui.listIndex(Ctl::cboStopBit), 0);
    EXPECT_EQ(ui.listIndex(Ctl::cboHandShake), 0);
    EXPECT_EQ(ui.text(Ctl::TextEthernet), c.address);
}

std::string ini(const std::string& body)
{
    return "[PRINTFirmware]\r\n" + body;
}

// what, printers, file, chosen, frames (serial, USB, Ethernet), cboPORT, CboUSB, device path, box
INSTANTIATE_TEST_SUITE_P(
    SettingsFiles, StartUpTest,
    ::testing::Values(
        StartCase{"first run, two printers", 2, std::nullopt, Chosen::None, true, true, true, -1, 0,
                  0, false},
        StartCase{"first run, no printer", 0, std::nullopt, Chosen::None, true, true, true, -1, -1,
                  std::nullopt, false},
        StartCase{"first run, file without the section", 2, "[Other]\nInterface=2\n", Chosen::None,
                  true, true, true, -1, 0, 0, false},
        StartCase{"serial", 2, ini("Interface=1\r\nInterfaceSel=2\r\nBaudRate=2\r\nParity=1\r\n"),
                  Chosen::Serial, true, false, false, 2, 0, 0, false, 2, 1},
        StartCase{"serial, no printer: LPT1 selected, no path", 0,
                  ini("Interface=1\r\nInterfaceSel=9\r\n"), Chosen::Serial, true, false, false, 9,
                  0, std::nullopt, false},
        StartCase{"serial, no library", kNoLibrary, ini("Interface=1\r\nInterfaceSel=9\r\n"),
                  Chosen::Serial, true, false, false, 9, 0, std::nullopt, false},
        StartCase{"USB, two printers", 2, ini("Interface=2\r\nInterfaceSel=1\r\n"), Chosen::USB,
                  false, true, false, 0, 1, 1, false},
        StartCase{"USB, position past the list", 2, ini("Interface=2\r\nInterfaceSel=2\r\n"),
                  Chosen::USB, false, true, false, 0, 0, 0, false},
        StartCase{"USB, no printer", 0, ini("Interface=2\r\nInterfaceSel=3\r\n"), Chosen::Serial,
                  true, false, false, 3, -1, std::nullopt, true},
        StartCase{"USB, search failed", -1, ini("Interface=2\r\nInterfaceSel=3\r\n"),
                  Chosen::Serial, true, false, false, 3, -1, std::nullopt, false},
        StartCase{"USB, too many printers", 100, ini("Interface=2\r\nInterfaceSel=3\r\n"),
                  Chosen::Serial, true, false, false, 3, -1, std::nullopt, false},
        StartCase{"USB, no library", kNoLibrary, ini("Interface=2\r\nInterfaceSel=3\r\n"),
                  Chosen::Serial, true, false, false, 3, -1, std::nullopt, false},
        StartCase{"Ethernet, no printer", 0,
                  ini("Interface=3\r\nInterfaceSel=5\r\nTcpIp=10.0.0.7\r\n"), Chosen::Ethernet,
                  false, false, true, 0, 0, std::nullopt, false, 0, 0, "10.0.0.7"},
        StartCase{"Ethernet, two printers", 2, ini("Interface=3\r\n"), Chosen::Ethernet, false,
                  false, true, 0, 0, 0, false},
        StartCase{"interface with blanks around", 2, ini("Interface = 1 \r\n"), Chosen::Serial,
                  true, false, false, 0, 0, 0, false},
        StartCase{"interface 01", 2, ini("Interface=01\r\nInterfaceSel=2\r\n"), Chosen::None, true,
                  true, true, -1, 0, 0, false},
        StartCase{"interface 4", 2, ini("Interface=4\r\n"), Chosen::None, true, true, true, -1, 0,
                  0, false},
        StartCase{"garbage positions", 2,
                  ini("Interface=1\r\nInterfaceSel=x\r\nBaudRate=7\r\nParity=-1\r\nBitLength="
                      "3\r\nStopBit=abc\r\n"
                      "HandShake=1e400\r\n"),
                  Chosen::Serial, true, false, false, 0, 0, 0, false},
        StartCase{"baud rate x", 2, ini("BaudRate=x\r\n"), Chosen::None, true, true, true, -1, 0, 0,
                  false},
        StartCase{"position 9.6", 2,
                  ini("Interface=1\r\nInterfaceSel=9.6\r\nBaudRate=6.2\r\nParity=1.5\r\n"),
                  Chosen::Serial, true, false, false, 9, 0, 0, false, 6, 2},
        StartCase{"empty address", 2, ini("TcpIp=\r\n"), Chosen::None, true, true, true, -1, 0, 0,
                  false},
        StartCase{"address as stored", 2, ini("TcpIp=  printer-7 \r\n"), Chosen::None, true, true,
                  true, -1, 0, 0, false, 0, 0, "printer-7"}));

// The settings file "&OK" leaves behind, starting from `before`.
std::string storedAfter(const std::optional<std::string>& before,
                        const std::function<void(test::FakeToolkit&)>& user, int printers = 2)
{
    test::TempDir dir;
    const std::string path = settingsFilePath(dir.path());
    if (before)
        test::writeBytes(path, *before);
    ProgramRun run(printers, dir.path());
    run.start();
    user(run.ui);
    run.form.storeSettings();
    return test::readBytes(path);
}

TEST(StoreSettings, SerialOnAFreshFile)
{
    const std::string file = storedAfter(std::nullopt, [](test::FakeToolkit& ui) {
        ui.select(Ctl::OptSerial);
        ui.setListIndex(Ctl::cboPORT, 2);     // COM3
        ui.setListIndex(Ctl::cboBaudRate, 2); // 9600 bps
    });
    EXPECT_EQ(file, "[PRINTFirmware]\nInterface=1\nInterfaceSel=2\nBaudRate=2\nBitLength=0\nParity="
                    "0\nStopBit=0\n"
                    "HandShake=0\nTcpIp=192.168.0.10\n");
}

TEST(StoreSettings, UsbWritesTheUsbPosition)
{
    const std::string file = storedAfter(std::nullopt, [](test::FakeToolkit& ui) {
        ui.select(Ctl::OptUSB);
        ui.setListIndex(Ctl::CboUSB, 1);
        ui.setListIndex(Ctl::cboParity, 2);
        ui.setText(Ctl::TextEthernet, "\xE9-host");
    });
    EXPECT_EQ(file, "[PRINTFirmware]\nInterface=2\nInterfaceSel=1\nBaudRate=0\nBitLength=0\nParity="
                    "2\nStopBit=0\n"
                    "HandShake=0\nTcpIp=\xE9-host\n");
}

const std::string kStored = "; kept by hand\r\n"
                            "[PRINTFirmware]\r\n"
                            "Interface=1\r\n"
                            "InterfaceSel=5\r\n"
                            "BaudRate=3\r\n"
                            "tcpip = 10.9.9.9\r\n"
                            "Extra=keep\r\n"
                            "\r\n"
                            "[Other]\r\n"
                            "Interface=7\r\n";

TEST(StoreSettings, EthernetWithEmptyAddressLeavesSelAndAddress)
{
    const std::string file = storedAfter(kStored, [](test::FakeToolkit& ui) {
        ui.select(Ctl::OptEthernet);
        ui.setText(Ctl::TextEthernet, "");
    });
    EXPECT_EQ(file, "; kept by hand\r\n"
                    "[PRINTFirmware]\r\n"
                    "Interface=3\r\n"
                    "InterfaceSel=5\r\n"
                    "BaudRate=3\r\n"
                    "tcpip = 10.9.9.9\r\n"
                    "Extra=keep\r\n"
                    "BitLength=0\r\n"
                    "Parity=0\r\n"
                    "StopBit=0\r\n"
                    "HandShake=0\r\n"
                    "\r\n"
                    "[Other]\r\n"
                    "Interface=7\r\n");
}

TEST(StoreSettings, NoOptionWritesNeitherInterfaceKey)
{
    const std::string before = "[PRINTFirmware]\nInterface=9\nInterfaceSel=4\n";
    const std::string file = storedAfter(before, [](test::FakeToolkit&) {});
    EXPECT_EQ(file, "[PRINTFirmware]\nInterface=9\nInterfaceSel=4\nBaudRate=0\nBitLength=0\nParity="
                    "0\nStopBit=0\n"
                    "HandShake=0\nTcpIp=192.168.0.10\n");
}

TEST(StoreSettings, ListsWithoutSelectionWriteMinusOne)
{
    test::TempDir dir;
    test::FakeToolkit ui; // never started: every list empty
    ui.select(Ctl::OptSerial);
    ui.setText(Ctl::TextEthernet, "");
    EXPECT_TRUE(storeSettings(ui, dir.path()).ok());
    EXPECT_EQ(test::readBytes(settingsFilePath(dir.path())),
              "[PRINTFirmware]\nInterface=1\nInterfaceSel=-1\nBaudRate=-1\nBitLength=-1\nParity=-"
              "1\nStopBit=-1\n"
              "HandShake=-1\n");
}

TEST(StoreSettings, UnwritableFolderIsNoFailure)
{
    test::TempDir dir;
    const std::string notAFolder = dir.file("plain");
    test::writeBytes(notAFolder, "x");
    ProgramRun run(2, notAFolder);
    run.start();
    run.ui.select(Ctl::OptSerial);
    run.form.storeSettings();
    EXPECT_EQ(test::readBytes(notAFolder), "x");
    EXPECT_TRUE(run.ui.boxes.empty());
}

// "&OK" in one run, the next run shows what it stored; a run left any other
// way stores nothing.
TEST(StoreSettings, NextRunShowsTheStoredSettings)
{
    test::TempDir dir;
    {
        ProgramRun first(2, dir.path());
        first.start();
        first.ui.select(Ctl::OptUSB);
        first.ui.setListIndex(Ctl::CboUSB, 1);
        first.ui.setListIndex(Ctl::cboBaudRate, 4);
        first.ui.setListIndex(Ctl::cboParity, 1);
        first.ui.setText(Ctl::TextEthernet, "10.20.30.40");
        first.form.storeSettings();
    }
    {
        ProgramRun cancelled(2, dir.path());
        cancelled.start();
        cancelled.ui.select(Ctl::OptEthernet);
        cancelled.ui.setListIndex(Ctl::cboBaudRate, 1);
        // "Cancel": nothing stored
    }
    ProgramRun next(2, dir.path());
    next.start();
    EXPECT_TRUE(next.ui.isSelected(Ctl::OptUSB));
    EXPECT_FALSE(next.ui.isVisible(Ctl::FrameSerial));
    EXPECT_TRUE(next.ui.isVisible(Ctl::FrameUSB));
    EXPECT_EQ(next.ui.listIndex(Ctl::CboUSB), 1);
    EXPECT_EQ(next.state().usbDevicePath, test::devicePathField(test::FakeUsbLibrary::pathOf(1)));
    EXPECT_EQ(next.ui.listIndex(Ctl::cboPORT), 0);
    EXPECT_EQ(next.ui.listIndex(Ctl::cboBaudRate), 4);
    EXPECT_EQ(next.ui.listIndex(Ctl::cboParity), 1);
    EXPECT_EQ(next.ui.text(Ctl::TextEthernet), "10.20.30.40");
}

} // namespace
} // namespace fw
