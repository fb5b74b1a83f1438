// The serial channel over a pseudo-terminal, with the printer simulator on the
// other end.

#include "channels/serial_channel.h"
#include "channel_polling.h"

#include "printer_sim.h"
#include "pseudo_terminal.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sys/ioctl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace fw {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

class TempDir {
public:
    TempDir()
    {
        char t[] = "/tmp/fwser.XXXXXX";
        if (::mkdtemp(t))
            path_ = t;
    }
    ~TempDir()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

class SerialChannelTest : public ::testing::Test {
protected:
    void start(sim::PrinterScript script = {})
    {
        ASSERT_TRUE(pty.ok()) << pty.error();
        std::string why;
        ASSERT_TRUE(pty.linkAsCom(dir.path(), 1, why)) << why;
        printer = std::make_unique<sim::PrinterSimulator>(pty.master(), std::move(script));
        thread = std::thread([this] { printer->run(); });
    }
    void TearDown() override
    {
        channel.close();
        if (printer)
            printer->stop();
        if (thread.joinable())
            thread.join();
    }
    Result<> open(int port = 1, SerialLine line = {})
    {
        return channel.open(ChannelSettings{port, line, "", ""});
    }
    Bytes readUntil(std::size_t n, std::chrono::milliseconds limit = 2000ms)
    {
        return test::readUntil(channel, n, limit, 20ms);
    }
    // One read's worth after the first byte shows up: what the session's
    // acknowledgement check sees.
    Bytes nextReply(std::chrono::milliseconds limit = 1000ms)
    {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            int count = 0;
            if (!channel.waitingCount(count, 20ms).ok())
                break;
            if (count == 0)
                continue;
            std::this_thread::sleep_for(5ms); // let a second byte of the same write land
            Bytes part;
            EXPECT_TRUE(channel.read(part).ok());
            return part;
        }
        return {};
    }

    TempDir dir;
    sim::PseudoTerminal pty{false};
    SerialChannel channel{dir.path()};
    std::unique_ptr<sim::PrinterSimulator> printer;
    std::thread thread;
};

TEST_F(SerialChannelTest, ModelQueryGoesOutExactlyAndEachAnswerComesBack)
{
    struct Case {
        std::string answer;
        std::vector<std::size_t> pieces;
    };
    const Case cases[] = {
        {"MDL40", {}}, {"TV-K3", {2, 3}}, {"K20_T", {1, 1, 1, 1, 1}}, {"ABCDEFG", {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        TearDown();
        printer.reset();
        sim::PrinterScript script;
        script.answer = c.answer;
        script.answerPieces = c.pieces;
        script.pieceGap = 30ms;
        start(script);
        ASSERT_TRUE(open().ok());
        ASSERT_TRUE(channel.write(sim::modelQuery()).ok());
        EXPECT_EQ(readUntil(c.answer.size()), bytesOf(c.answer));
        EXPECT_EQ(printer->received(), sim::modelQuery());
    }
}

TEST_F(SerialChannelTest, RecordsArriveExactlyAndEachIsAcknowledged)
{
    Bytes package;
    const std::string texts[] = {"\x01"
                                 "97\x02MODEL\x03"
                                 "AB",
                                 "\x01"
                                 "90\x02"
                                 "008000\x03"
                                 "CD",
                                 "\x01"
                                 "91\x02"
                                 "0123456789ABCDEF\x03"
                                 "EF",
                                 "\x01"
                                 "91\x02"
                                 "END\x17\x03"
                                 "00"};
    for (const auto& t : texts) {
        package.insert(package.end(), t.begin(), t.end());
        package.push_back(0x0D);
        package.push_back(0x0A);
    }
    sim::PrinterScript script;
    script.packageRecords = sim::splitPackage(package);
    start(script);
    ASSERT_TRUE(open().ok());
    for (const auto& t : texts) {
        ASSERT_TRUE(channel.write(bytesOf(t)).ok());
        EXPECT_EQ(nextReply(), Bytes{0x06}) << t;
    }
    const auto records = printer->records();
    ASSERT_EQ(records.size(), std::size(texts));
    for (std::size_t i = 0; i < records.size(); ++i)
        EXPECT_EQ(records[i], bytesOf(texts[i]));
}

TEST_F(SerialChannelTest, AllByteValuesPassUnchangedBothWays)
{
    std::string every;
    for (int i = 0; i < 256; ++i)
        every.push_back(static_cast<char>(i));
    sim::PrinterScript script;
    script.answer = every; // the printer sends all 256 values back
    start(script);
    ASSERT_TRUE(open().ok());
    ASSERT_TRUE(channel.write(sim::modelQuery()).ok());
    EXPECT_EQ(readUntil(256), bytesOf(every));

    Bytes record{0x01};
    for (int i = 0; i < 256; ++i)
        record.push_back(static_cast<std::uint8_t>(i));
    ASSERT_TRUE(channel.write(record).ok());
    EXPECT_EQ(nextReply(), Bytes{0x06});
    Bytes expected = sim::modelQuery();
    expected.insert(expected.end(), record.begin(), record.end());
    EXPECT_EQ(printer->received(), expected);
}

// The kernel's line settings, with the baud rate as a number.
struct LineAsSet {
    tcflag_t cflag = 0;
    speed_t ispeed = 0, ospeed = 0;
};

LineAsSet lineOf(int fd)
{
    // termios2 as the kernel has it; TCGETS2 reads the free rate back.
    struct {
        tcflag_t c_iflag, c_oflag, c_cflag, c_lflag;
        cc_t c_line;
        cc_t c_cc[19];
        speed_t c_ispeed, c_ospeed;
    } t{};
    if (::ioctl(fd, _IOR('T', 0x2A, decltype(t)), &t) != 0)
        return {};
    return {t.c_cflag, t.c_ispeed, t.c_ospeed};
}

TEST_F(SerialChannelTest, LineSettingsReachTheLine)
{
    // A pseudo-terminal forces 8 data bits and clears the parity enable, so
    // those two cannot be seen here; speed (also one the standard table
    // lacks), odd and stick parity, stop bits, the hand-shake and the raw
    // line are.
    struct Case {
        SerialLine line;
        int speed;
        tcflag_t parity; // PARODD | CMSPAR as set
        bool twoStops, rtsCts;
    };
    const Case cases[] = {
        {{9600, 'N', 8, 1}, 9600, 0, false, false},
        {{19200, 'E', 7, 2}, 19200, 0, true, false},
        {{115200, 'O', 8, 1}, 115200, PARODD, false, false},
        {{2400, 'M', 5, 1}, 2400, PARODD | CMSPAR, false, false},
        {{1200, 'S', 6, 2}, 1200, CMSPAR, true, false},
        {{250000, 'N', 8, 1}, 250000, 0, false, false},
        {{31250, 'O', 8, 1, Handshake::RtsCts}, 31250, PARODD, false, true},
    };
    start();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.baud);
        ASSERT_TRUE(open(1, c.line).ok());
        const LineAsSet set = lineOf(pty.master());
        EXPECT_EQ(set.ospeed, static_cast<speed_t>(c.speed));
        EXPECT_EQ(set.ispeed, static_cast<speed_t>(c.speed));
        EXPECT_EQ(set.cflag & (PARODD | CMSPAR), c.parity);
        EXPECT_EQ((set.cflag & CSTOPB) != 0, c.twoStops);
        EXPECT_EQ((set.cflag & CRTSCTS) != 0, c.rtsCts);
        termios t{};
        ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
    }
}

// The port is left as it was found: another program that uses it after the
// download sees its own settings again.
TEST_F(SerialChannelTest, ClosingGivesThePortItsSettingsBack)
{
    start();
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.master(), &before), 0);
    ASSERT_TRUE(open(1, {57600, 'O', 8, 2}).ok());
    channel.close();
    termios after{};
    ASSERT_EQ(::tcgetattr(pty.master(), &after), 0);
    EXPECT_EQ(::cfgetospeed(&after), ::cfgetospeed(&before));
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
}

// A port that has no modem lines cannot be asked for DSR: the write says so
// instead of sending unguarded.
TEST_F(SerialChannelTest, DsrHandshakeNeedsModemLines)
{
    start();
    ASSERT_TRUE(open(1, {9600, 'N', 8, 1, Handshake::DtrDsr}).ok());
    const Result<> w = channel.write(sim::modelQuery());
    ASSERT_TRUE(w.failed());
    EXPECT_NE(w.error().find("Write failed on COM1"), std::string::npos) << w.error();
    EXPECT_TRUE(printer->received().empty());
}

TEST_F(SerialChannelTest, RefusedOpensNameThePortAndTheReason)
{
    start();
    std::filesystem::create_symlink("/dev/fw-no-such-port", dir.path() + "/ports/COM7");
    SerialChannel other(dir.path());
    ASSERT_TRUE(other.open(ChannelSettings{1, {}, "", ""}).ok());

    struct Case {
        int port;
        SerialLine line;
        std::vector<std::string> mentions;
        std::string later; // what each later use's report names
    };
    const Case cases[] = {
        {0, {}, {"No serial port"}, "No serial port"}, // no COM0 in any report
        {7, {}, {"COM7", "/dev/fw-no-such-port", "No such file"}, "COM7"},
        {1, {}, {"COM1", pty.slavePath(), "in use"}, "COM1"},
        {1, {9600, 'N', 9, 1}, {"data bits"}, "COM1"}, // checked before the port is tried
    };
    for (const auto& c : cases) {
        const auto s = open(c.port, c.line);
        ASSERT_TRUE(s.failed()) << c.port << " " << c.line.baud;
        for (const auto& m : c.mentions)
            EXPECT_NE(s.error().find(m), std::string::npos) << s.error();
        EXPECT_FALSE(channel.isOpen());
        // Refused, the port fails each later use with a report.
        int count = 0;
        Bytes bytes;
        for (const Result<>& r : {channel.write(sim::modelQuery()),
                                  channel.waitingCount(count, 1ms), channel.read(bytes)}) {
            ASSERT_TRUE(r.failed());
            EXPECT_NE(r.error().find(c.later), std::string::npos) << r.error();
            EXPECT_EQ(r.error().find("COM0"), std::string::npos) << r.error();
        }
    }

    other.close();
    EXPECT_TRUE(open().ok()) << "free again once the other user closed it";
}

// A device named directly is opened as it stands; the channel tells which
// device it opened and how it was found.
TEST_F(SerialChannelTest, DeviceNamedDirectly)
{
    sim::PrinterScript silent; // nothing to echo back once a close restores the line
    silent.answer.reset();
    start(silent); // links COM1 too
    std::ofstream(dir.path() + "/plain");
    struct Case {
        std::string device;
        const char* refusal; // nullptr: opened
    };
    const Case cases[] = {
        {pty.slavePath(), nullptr},
        {dir.path() + "/ports/COM1", nullptr}, // a link to the device
        {dir.path() + "/plain", "is not a device"},
        {dir.path() + "/absent", "does not exist"},
    };
    for (const Case& c : cases) {
        ChannelSettings s;
        s.serialDevice = c.device;
        const Result<> r = channel.open(s);
        EXPECT_EQ(channel.device(), c.device);
        if (!c.refusal) {
            EXPECT_TRUE(r.ok()) << r.error();
            EXPECT_EQ(channel.choice().source, PortSource::Path);
            ASSERT_TRUE(channel.write(sim::modelQuery()).ok());
            continue;
        }
        ASSERT_TRUE(r.failed()) << c.device;
        EXPECT_NE(r.error().find(c.device + " " + c.refusal), std::string::npos) << r.error();
    }
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (printer->received().size() < 2 * sim::modelQuery().size() &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    const Bytes query = sim::modelQuery();
    Bytes twice = query;
    twice.insert(twice.end(), query.begin(), query.end());
    EXPECT_EQ(printer->received(), twice);
    ASSERT_TRUE(open(1).ok());
    EXPECT_EQ(channel.choice().source, PortSource::Link);
    EXPECT_EQ(channel.device(), pty.slavePath());
}

TEST_F(SerialChannelTest, ReopeningClosesFirstAndAppliesTheNewSettings)
{
    start();
    ASSERT_TRUE(open(1, {9600, 'N', 8, 1}).ok());
    ASSERT_TRUE(open(1, {4800, 'N', 8, 1}).ok());
    termios t{};
    ASSERT_EQ(::tcgetattr(pty.master(), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), speed_t(B4800));
    channel.close();
    EXPECT_FALSE(channel.isOpen());
    channel.close(); // twice is harmless
}

// Bytes taken in while polling and bytes that came after come out in the
// order the printer sent them.
TEST_F(SerialChannelTest, BytesTakenInWhilePollingKeepTheirOrder)
{
    std::string why;
    ASSERT_TRUE(pty.linkAsCom(dir.path(), 1, why)) << why;
    ASSERT_TRUE(open().ok());
    const auto printerSends = [&](char byte) { ASSERT_EQ(::write(pty.master(), &byte, 1), 1); };
    printerSends('A');
    int count = 0;
    ASSERT_TRUE(channel.waitingCount(count, 1000ms).ok());
    ASSERT_EQ(count, 1);
    printerSends('B');
    std::this_thread::sleep_for(10ms);
    EXPECT_EQ(readUntil(2), bytesOf("AB"));
}

TEST_F(SerialChannelTest, MisbehavingPrinterShowsAsTheSessionWouldSeeIt)
{
    sim::PrinterScript script;
    script.answer.reset();
    script.quietGap = 10ms;
    script.nakRecord = 1;
    script.strayRecord = 2;
    script.noAckRecord = 3;
    script.hangUpRecord = 5;
    // Records known by their bytes, so a loaded machine cannot merge or split them.
    const Bytes record = bytesOf("\x01"
                                 "91\x02"
                                 "DATA\x03"
                                 "00");
    script.packageRecords.assign(5, record);
    start(script);
    ASSERT_TRUE(open().ok());
    ASSERT_TRUE(channel.write(sim::modelQuery()).ok());
    EXPECT_EQ(readUntil(1, 200ms), Bytes{}) << "a silent printer";

    const Bytes expected[] = {{0x15}, {0x06, '?'}, {}, {0x06}};
    for (const auto& reply : expected) {
        ASSERT_TRUE(channel.write(record).ok());
        EXPECT_EQ(nextReply(300ms), reply);
    }
    ASSERT_TRUE(channel.write(record).ok());
    // The line is gone: polling ends with a report or with nothing, never a hang.
    const auto until = std::chrono::steady_clock::now() + 2s;
    while (!printer->hungUp() && std::chrono::steady_clock::now() < until) {
        int count = 0;
        if (channel.waitingCount(count, 20ms).ok()) {
            EXPECT_EQ(count, 0);
        }
    }
    EXPECT_TRUE(printer->hungUp());
    EXPECT_EQ(printer->records().size(), 5u);
}

} // namespace
} // namespace fw
