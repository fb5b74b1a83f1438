// The rules behind the channels: port numbers to devices, the serial line
// settings a port takes, the printer address.

#include "channels/network_address.h"
#include "channels/serial_channel.h"
#include "channels/serial_port_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

namespace fw {
namespace {

namespace fs = std::filesystem;

class PortNamesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char t[] = "/tmp/fwports.XXXXXX";
        ASSERT_NE(::mkdtemp(t), nullptr);
        root = t;
        fs::create_directories(root / "sys");
        fs::create_directories(root / "dev");
        fs::create_directories(root / "app");
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    // A tty as sysfs shows it; `uartType` only for ttyS ports.
    void addTty(const std::string& name, bool device = true, int uartType = 4, bool node = true)
    {
        fs::create_directories(root / "sys" / name);
        if (device)
            fs::create_directories(root / "sys" / name / "device");
        if (name.rfind("ttyS", 0) == 0)
            std::ofstream(root / "sys" / name / "type") << uartType << "\n";
        if (node)
            std::ofstream(root / "dev" / name);
    }
    std::string resolve(int n)
    {
        return resolveSerialPortIn(n, (root / "app").string(), (root / "sys").string(),
                                   (root / "dev").string());
    }
    std::string dev(const std::string& name) { return (root / "dev" / name).string(); }

    fs::path root;
};

TEST_F(PortNamesTest, UsbAdaptersComeBeforeBuiltInPortsEachInNumberOrder)
{
    addTty("ttyS0");
    addTty("ttyS1", true, 0); // no UART behind it
    addTty("ttyS2");
    addTty("ttyUSB10");
    addTty("ttyUSB2");
    addTty("ttyACM0");
    addTty("ttyUSB3", true, 4, false); // gone from /dev
    addTty("tty5", false);             // a console, not a serial port
    addTty("ttyUSBx");
    const std::string expected[] = {dev("ttyUSB2"), dev("ttyUSB10"), dev("ttyACM0"),
                                    dev("ttyS0"),   dev("ttyS2"),    ""};
    for (int n = 1; n <= 6; ++n)
        EXPECT_EQ(resolve(n), expected[n - 1]) << "COM" << n;
    EXPECT_EQ(resolve(0), "");
    EXPECT_EQ(resolve(-3), "");
}

TEST_F(PortNamesTest, LinkInProgramFolderWins)
{
    addTty("ttyS0");
    std::ofstream(root / "dev" / "pts-7");
    fs::create_directories(root / "app" / "ports");
    fs::create_symlink(root / "dev" / "pts-7", root / "app" / "ports" / "COM1");
    fs::create_symlink("/dev/fw-absent-adapter", root / "app" / "ports" / "COM2");
    std::ofstream(root / "app" / "ports" / "COM3"); // a plain file is no link
    EXPECT_EQ(resolve(1), dev("pts-7"));
    EXPECT_EQ(resolve(2),
              "/dev/fw-absent-adapter"); // named, so the failure can say what is missing
    EXPECT_EQ(resolve(3), "");           // only one port present
    EXPECT_EQ(resolveSerialPortIn(1, "", (root / "sys").string(), (root / "dev").string()),
              dev("ttyS0"));
}

// A port found by enumeration carries the name that does not move with it; a
// link does not need one.
TEST_F(PortNamesTest, EnumeratedPortsCarryTheirStableName)
{
    addTty("ttyUSB0");
    addTty("ttyUSB1");
    addTty("ttyS0");
    fs::create_directories(root / "dev" / "serial" / "by-id");
    fs::create_directories(root / "dev" / "serial" / "by-path");
    fs::create_symlink("../../ttyUSB1", root / "dev" / "serial" / "by-id" / "usb-Maker_B-if00");
    fs::create_symlink(root / "dev" / "ttyUSB1", root / "dev" / "serial" / "by-path" / "pci-1");
    fs::create_symlink(root / "dev" / "ttyUSB0", root / "dev" / "serial" / "by-path" / "pci-0");
    fs::create_directories(root / "app" / "ports");
    fs::create_symlink(root / "dev" / "ttyS0", root / "app" / "ports" / "COM3");
    struct Case {
        int port;
        PortSource source;
        std::string device, stable;
    };
    const Case cases[] = {
        {1, PortSource::Enumeration, dev("ttyUSB0"), dev("serial/by-path/pci-0")},
        {2, PortSource::Enumeration, dev("ttyUSB1"), dev("serial/by-id/usb-Maker_B-if00")},
        {3, PortSource::Link, dev("ttyS0"), ""},
        {4, PortSource::None, "", ""},
    };
    for (const Case& c : cases) {
        const PortChoice p = findSerialPortIn(c.port, (root / "app").string(),
                                              (root / "sys").string(), (root / "dev").string());
        EXPECT_EQ(p.source, c.source) << "COM" << c.port;
        EXPECT_EQ(p.device, c.device) << "COM" << c.port;
        EXPECT_EQ(p.stableName, c.stable) << "COM" << c.port;
    }
}

TEST_F(PortNamesTest, EveryLinkIsListedWithWhatItPointsAt)
{
    const fs::path ports = root / "app" / "ports";
    fs::create_directories(ports);
    fs::create_directories(root / "adir");
    std::ofstream(root / "afile");
    ::mkfifo((root / "afifo").c_str(), 0600);
    fs::create_symlink("/dev/null", ports / "COM1");
    fs::create_symlink(root / "nothing", ports / "COM2");
    fs::create_symlink("COM5", ports / "COM4"); // COM4 -> COM5 -> COM4
    fs::create_symlink("COM4", ports / "COM5");
    fs::create_symlink(root / "adir", ports / "COM20");
    fs::create_symlink(root / "afile", ports / "COM100");
    fs::create_symlink(root / "afifo", ports / "COM255");
    fs::create_symlink("/dev/null", ports / "COM256"); // beyond any port
    fs::create_symlink("/dev/null", ports / "COM07");  // no port is named so
    std::ofstream(ports / "COM9");                     // not a link
    struct Expected {
        int port;
        std::string target;
        LinkState state;
    };
    const Expected expected[] = {
        {1, "/dev/null", LinkState::Usable},
        {2, (root / "nothing").string(), LinkState::Dangling},
        {4, "COM5", LinkState::Loop},
        {5, "COM4", LinkState::Loop},
        {20, (root / "adir").string(), LinkState::Directory},
        {100, (root / "afile").string(), LinkState::RegularFile},
        {255, (root / "afifo").string(), LinkState::NotCharacterDevice},
    };
    const std::vector<PortLink> links = listPortLinks((root / "app").string());
    ASSERT_EQ(links.size(), std::size(expected));
    for (std::size_t i = 0; i < links.size(); ++i) {
        EXPECT_EQ(links[i].portNumber, expected[i].port);
        EXPECT_EQ(links[i].target, expected[i].target) << expected[i].port;
        EXPECT_EQ(links[i].state, expected[i].state) << expected[i].port;
    }
    EXPECT_TRUE(listPortLinks("").empty());
}

// Without the udev database the USB adapter's strings come from sysfs, from
// the USB device above the tty.
TEST_F(PortNamesTest, AdapterDetailsComeFromTheUsbDeviceAboveTheTty)
{
    const fs::path usb = root / "devices" / "usb1" / "1-2";
    fs::create_directories(usb / "1-2:1.0" / "ttyUSB0");
    for (const auto& [name, text] :
         {std::pair{"idVendor", "0403\n"}, std::pair{"product", "FT232R USB UART\n"},
          std::pair{"manufacturer", "FTDI\n"}, std::pair{"serial", "A10K_Z9\n"}})
        std::ofstream(usb / name) << text;
    fs::create_directories(root / "sys" / "ttyUSB0");
    fs::create_symlink(usb / "1-2:1.0" / "ttyUSB0", root / "sys" / "ttyUSB0" / "device");
    addTty("ttyS0");
    std::ofstream(root / "dev" / "ttyUSB0");
    fs::create_symlink(root / "dev" / "ttyUSB0", root / "dev" / "by-id-link");

    const SerialPortDetails d =
        describeSerialPortIn((root / "dev" / "by-id-link").string(), (root / "sys").string());
    EXPECT_EQ(d.description, "FT232R USB UART");
    EXPECT_EQ(d.manufacturer, "FTDI");
    EXPECT_EQ(d.serialNumber, "A10K_Z9");
    const SerialPortDetails builtIn = describeSerialPortIn(dev("ttyS0"), (root / "sys").string());
    EXPECT_EQ(builtIn.description + builtIn.manufacturer + builtIn.serialNumber, "");
}

TEST(SerialPortNameTest, PortsAndDevicePathsAsAnOptionNamesThem)
{
    struct Case {
        std::string text;
        bool ok;
        int port;
        std::string path;
    };
    const Case cases[] = {
        {"COM1", true, 1, ""},
        {"com12", true, 12, ""},
        {"COM255", true, 255, ""},
        {"7", true, 7, ""},
        {"COM007", true, 7, ""},
        {"/dev/ttyUSB0", true, 0, "/dev/ttyUSB0"},
        {"/dev/serial/by-id/usb-X-if00", true, 0, "/dev/serial/by-id/usb-X-if00"},
        {"./ttyS1", true, 0, "./ttyS1"},
        {"COM0", false, 0, ""},
        {"COM256", false, 0, ""},
        {"COM", false, 0, ""},
        {"COM1a", false, 0, ""},
        {"ttyUSB0", false, 0, ""},
        {"", false, 0, ""},
        {"\\\\.\\COM12", false, 0, ""}, // the Windows form, not a Linux one
    };
    for (const Case& c : cases) {
        SerialPortName n;
        EXPECT_EQ(parseSerialPortName(c.text, n), c.ok) << c.text;
        if (!c.ok)
            continue;
        EXPECT_EQ(n.portNumber, c.port) << c.text;
        EXPECT_EQ(n.devicePath, c.path) << c.text;
    }
}

TEST(SerialLineTest, OnlySettingsASerialPortTakesPass)
{
    struct Case {
        SerialLine line;
        const char* refusal; // words of the report; nullptr: taken
    };
    const Case cases[] = {
        {{9600, 'N', 8, 1}, nullptr},
        {{115200, 'E', 7, 2}, nullptr},
        {{1, 'O', 5, 1}, nullptr},
        {{1200, 'M', 6, 1}, nullptr},
        {{1200, 'S', 8, 2}, nullptr},
        {{0, 'N', 8, 1}, "baud rate 0"},
        {{-9600, 'N', 8, 1}, "baud rate -9600"},
        {{9600, 'X', 8, 1}, "parity 'X'"},
        {{9600, '\0', 8, 1}, "parity"}, // '\0': no list entry
        {{9600, 'N', 4, 1}, "data bits 4"},
        {{9600, 'N', 9, 1}, "data bits 9"},
        {{9600, 'N', 8, 0}, "stop bits 0"},
        {{9600, 'N', 8, 3}, "stop bits 3"},
    };
    for (const auto& c : cases) {
        const Result<> r = checkSerialLine(c.line);
        const std::string shown =
            std::to_string(c.line.baud) + "," + std::string(1, c.line.parity) + "," +
            std::to_string(c.line.dataBits) + "," + std::to_string(c.line.stopBits);
        if (!c.refusal) {
            EXPECT_TRUE(r.ok()) << shown << ": " << r.error();
            continue;
        }
        ASSERT_TRUE(r.failed()) << shown;
        EXPECT_NE(r.error().find(c.refusal), std::string::npos) << r.error();
    }
}

TEST(NetworkAddressTest, PathIsBuiltFromTheAddressAsTyped)
{
    EXPECT_EQ(networkPrintPath("192.168.1.20"), "\\\\192.168.1.20\\lp1");
    EXPECT_EQ(networkPrintPath(" printer "), "\\\\ printer \\lp1");
    EXPECT_EQ(networkPrintPath(""), "\\\\\\lp1");
}

TEST(NetworkAddressTest, OnlyOneHostWithAnOptionalPortPasses)
{
    struct Case {
        std::string address;
        bool ok;
        std::string host;
        int port;
    };
    const Case cases[] = {
        {"192.168.1.20", true, "192.168.1.20", 0},
        {"printer.local:4450", true, "printer.local", 4450},
        {"[::1]:445", true, "[::1]", 445},
        {"[fe80::1]", true, "[fe80::1]", 0},
        {" printer ", true, " printer ", 0},
        {"", false, "", 0},
        {":445", false, "", 0},
        {"host:", false, "", 0},
        {"host:0", false, "", 0},
        {"host:65536", false, "", 0},
        {"host:44a", false, "", 0},
        {"::1", false, "", 0},
        {"host/other", false, "", 0},
        {"host\\other", false, "", 0},
        {"user@host", false, "", 0},
        {"host?x=1", false, "", 0},
        {"host#frag", false, "", 0},
        {"host%2Fother", false, "", 0},
        {std::string("host\nother"), false, "", 0},
        {std::string("host\0x", 6), false, "", 0},
        {"host\x7f", false, "", 0},
    };
    for (const auto& c : cases) {
        NetworkAddress a;
        const Result<> r = checkNetworkAddress(c.address, a);
        ASSERT_EQ(r.ok(), c.ok) << c.address;
        if (r.ok()) {
            EXPECT_EQ(a.host, c.host);
            EXPECT_EQ(a.port, c.port);
        } else {
            EXPECT_TRUE(r.failed()) << c.address; // reported, not refused quietly
            EXPECT_FALSE(r.error().empty());
        }
    }
}

} // namespace
} // namespace fw
