// The rules behind the channels: port numbers to devices, the serial line
// settings a port takes, the printer address.

#include "channels/network_address.h"
#include "channels/serial_channel.h"
#include "channels/serial_port_names.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

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
        const Result r = checkSerialLine(c.line);
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
        const Result r = checkNetworkAddress(c.address, a);
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
