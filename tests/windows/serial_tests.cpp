// The serial channel on Windows under Wine: COM1 is the printer simulator on
// a pseudo-terminal (printer_service.sh links it as dosdevices/com1).

#include "channels/serial_channel.h"
#include "channel_polling.h"
#include "channels/serial_port_names.h"

#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <setupapi.h>

#include <algorithm>
#include <chrono>
#include <thread>

namespace fw::test {
namespace {

using namespace std::chrono_literals;

const Bytes kModelQuery{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};

class WindowsSerial : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        if (!PrinterService::available(why))
            FAIL() << why;
    }
    void TearDown() override { channel.close(); }

    Result<> open(int port = 1, SerialLine line = {})
    {
        return channel.open(ChannelSettings{port, line, "", ""});
    }

    Bytes readUntil(std::size_t n, std::chrono::milliseconds limit = 3000ms)
    {
        return test::readUntil(channel, n, limit, 2ms);
    }

    SerialChannel channel{""};
};

// Every byte value goes out and comes in unchanged: the port is set up as a
// raw line whatever the system's defaults (no line editing, no CR
// translation, no XON/XOFF, no signal characters).
TEST_F(WindowsSerial, AllByteValuesPassUnchangedBothWays)
{
    std::string answer; // NUL cannot be an argument of the simulator
    for (int i = 1; i < 256; ++i)
        answer.push_back(static_cast<char>(i));
    PrinterService::start({"--answer", answer});
    ASSERT_TRUE(open().ok());
    ASSERT_TRUE(channel.write(kModelQuery).ok());
    EXPECT_EQ(readUntil(answer.size()), Bytes(answer.begin(), answer.end()));

    Bytes record{0x01};
    for (int i = 0; i < 256; ++i)
        record.push_back(static_cast<std::uint8_t>(i));
    ASSERT_TRUE(channel.write(record).ok());
    EXPECT_EQ(readUntil(1), Bytes{0x06});
    channel.close();

    Bytes expected = kModelQuery;
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(PrinterService::stop(), expected);
}

// The typed line settings reach the line, as the system shows them to the
// simulator's side. A pseudo-terminal keeps 8 data bits and no parity
// enable, so those two cannot be seen here.
TEST_F(WindowsSerial, LineSettingsReachTheLine)
{
    struct Case {
        SerialLine line;
        const char* speed;
        const char* parodd;
        const char* cstopb;
    } cases[] = {
        {{9600, 'N', 8, 1}, "speed 9600 baud", "-parodd", "-cstopb"},
        {{19200, 'E', 7, 2}, "speed 19200 baud", "-parodd", "cstopb"},
        {{115200, 'O', 8, 1}, "speed 115200 baud", "parodd", "-cstopb"},
        {{2400, 'N', 8, 2}, "speed 2400 baud", "-parodd", "cstopb"},
    };
    PrinterService::start({});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        ASSERT_TRUE(open(1, c.line).ok());
        std::string stty = " " + PrinterService::line() + " ";
        std::replace(stty.begin(), stty.end(), '\n', ' ');
        for (const char* want :
             {c.speed, c.parodd, c.cstopb, "-crtscts", "-ixon", "-ixoff", "-icrnl", "-inlcr",
              "-istrip", "-icanon", "-echo", "-isig", "-opost"}) {
            const std::string word =
                std::string(want).starts_with("speed") ? want : " " + std::string(want) + " ";
            EXPECT_NE(stty.find(word), std::string::npos) << want << " in\n" << stty;
        }
    }
}

// A port that cannot be had is refused at the open with the reason, and
// every later use of the channel fails with a report. (Wine does
// not keep a serial port to its first user, so a port in use cannot be
// shown here.)
TEST_F(WindowsSerial, RefusedOpensSayWhy)
{
    PrinterService::start({});

    struct Case {
        int port;
        SerialLine line;
        std::vector<std::string> mentions;
        std::string later; // what each later use's report names
    } cases[] = {
        {0, {}, {"No serial port"}, "No serial port"},     // no COM0 in any report
        {200, {}, {"COM200", "does not exist"}, "COM200"}, // no such port in the prefix
        {1, {9600, 'N', 9, 1}, {"data bits"}, "COM1"},     // refused before the port is tried
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        const Result<> s = open(c.port, c.line);
        ASSERT_TRUE(s.failed());
        for (const std::string& m : c.mentions)
            EXPECT_NE(s.error().find(m), std::string::npos) << s.error();
        EXPECT_FALSE(channel.isOpen());
        int count = 0;
        Bytes bytes;
        for (const Result<>& r :
             {channel.write(kModelQuery), channel.waitingCount(count, 1ms), channel.read(bytes)}) {
            ASSERT_TRUE(r.failed());
            EXPECT_NE(r.error().find(c.later), std::string::npos) << r.error();
            EXPECT_EQ(r.error().find("COM0"), std::string::npos) << r.error();
        }
    }

    EXPECT_TRUE(open().ok()) << "the same channel opens a port that is there";
}

// Polling the waiting count sleeps in the system while nothing comes (the
// session polls for up to five seconds per record) and wakes as soon as a
// byte arrives.
TEST_F(WindowsSerial, WaitingCountSleepsUntilAByteComes)
{
    PrinterService::start({"--silent"});
    ASSERT_TRUE(open().ok());
    ASSERT_TRUE(channel.write(kModelQuery).ok());
    FILETIME created, ended, kernelBefore, userBefore, kernelAfter, userAfter;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernelBefore, &userBefore);
    const auto start = std::chrono::steady_clock::now();
    int polls = 0;
    while (std::chrono::steady_clock::now() - start < 600ms) {
        int count = -1;
        ASSERT_TRUE(channel.waitingCount(count, 2ms).ok());
        EXPECT_EQ(count, 0);
        ++polls;
    }
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernelAfter, &userAfter);
    const auto ticks = [](const FILETIME& t) {
        return (std::uint64_t(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    const auto busyMs =
        (ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore)) / 10000;
    EXPECT_LE(polls, 600) << "each poll waits about its slice";
    EXPECT_LT(busyMs, 300u) << "the process spun for " << busyMs << " ms of 600";
    channel.close();
    PrinterService::stop();

    // A byte that comes ends the wait at once, long before the slice is over.
    PrinterService::start({"--answer", "K20_T"});
    ASSERT_TRUE(open().ok());
    ASSERT_TRUE(channel.write(kModelQuery).ok());
    int count = 0;
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_TRUE(channel.waitingCount(count, 5000ms).ok());
    EXPECT_GT(count, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 2000ms);
    EXPECT_EQ(readUntil(5), (Bytes{'K', '2', '0', '_', 'T'}));
}

// The system's own entries for its ports: COM1 is there (the simulator's
// link), COM9 is not; a USB adapter registered as COM7 in the ports class is
// described by its entry, a port with an entry of its own making up a
// serial number shows none.
TEST(WindowsSerialPorts, PortsAreThoseTheSystemHasAndDescribedByTheirEntries)
{
    const GUID ports = {
        0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
    struct Entry {
        const wchar_t* instance;
        const wchar_t* port;
        const wchar_t* maker;
    } entries[] = {{L"USB\\VID_0403&PID_6001\\FT4Q2X7A", L"COM7", L"FTDI"},
                   {L"USB\\VID_067B&PID_2303\\5&1A2B3C4D&0&2", L"COM8", L"Prolific"}};
    HDEVINFO set = SetupDiCreateDeviceInfoList(&ports, nullptr);
    ASSERT_NE(set, INVALID_HANDLE_VALUE);
    std::vector<SP_DEVINFO_DATA> made;
    for (const Entry& e : entries) {
        SP_DEVINFO_DATA device{};
        device.cbSize = sizeof device;
        ASSERT_TRUE(SetupDiCreateDeviceInfoW(set, e.instance, &ports, L"USB Serial Port", nullptr,
                                             0, &device))
            << GetLastError();
        ASSERT_TRUE(SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr));
        const std::wstring maker = e.maker;
        ASSERT_TRUE(SetupDiSetDeviceRegistryPropertyW(
            set, &device, SPDRP_MFG, reinterpret_cast<const BYTE*>(maker.c_str()),
            static_cast<DWORD>((maker.size() + 1) * sizeof(wchar_t))));
        HKEY key =
            SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
        ASSERT_NE(key, INVALID_HANDLE_VALUE);
        const std::wstring port = e.port;
        RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(port.c_str()),
                       static_cast<DWORD>((port.size() + 1) * sizeof(wchar_t)));
        RegCloseKey(key);
        made.push_back(device);
    }

    struct Case {
        const char* port;
        SerialPortDetails expected;
    } cases[] = {
        {"COM7", {"USB Serial Port", "FTDI", "FT4Q2X7A"}},
        {"com8", {"USB Serial Port", "Prolific", ""}},
        {"COM6", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        const SerialPortDetails d = describeSerialPort(c.port);
        EXPECT_EQ(d.description, c.expected.description);
        EXPECT_EQ(d.manufacturer, c.expected.manufacturer);
        EXPECT_EQ(d.serialNumber, c.expected.serialNumber);
    }
    for (SP_DEVINFO_DATA& device : made)
        SetupDiRemoveDevice(set, &device);
    SetupDiDestroyDeviceInfoList(set);

    PrinterService::start({});
    EXPECT_EQ(resolveSerialPort(1, ""), "COM1");
    EXPECT_EQ(resolveSerialPort(9, ""), "");
    EXPECT_EQ(resolveSerialPort(0, ""), "");
    PrinterService::stop();
}

} // namespace
} // namespace fw::test
