// The printer side of the engine: the model query and the record exchange on
// a scripted in-memory channel with a fake clock.

#include "engine/protocol.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

namespace fw::test {
namespace {

const Bytes kQuery{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};

struct Piece {
    Clock::duration after;
    std::string bytes;
};

class ProtocolTest : public ::testing::Test {
protected:
    FakeClock clock;
    FakeChannels channels{clock};
    RecordingHost host;
    Clock::duration elapsedSince(Clock::duration t) const { return clock.t - t; }
};

// --- the model query ---

TEST_F(ProtocolTest, SerialModelAnswers)
{
    struct Case {
        const char* name;
        std::vector<Piece> pieces;
        int code;
        Clock::duration answeredBy; // at most this long after the query
        Clock::duration notBefore;
        std::string waiting = {}; // in the line before the query is written
    } cases[] = {
        {"MDL40", {{10ms, "MDL40"}}, 2, 10ms, 10ms},
        {"TV-K3", {{10ms, "TV-K3"}}, 3, 10ms, 10ms},
        {"K20_T", {{10ms, "K20_T"}}, 4, 10ms, 10ms},
        {"joined from two reads", {{10ms, "TV"}, {30ms, "-K3"}}, 3, 30ms, 30ms},
        {"joined from five reads",
         {{1ms, "K"}, {2ms, "2"}, {3ms, "0"}, {4ms, "_"}, {5ms, "T"}},
         4,
         5ms,
         5ms},
        {"answer at the deadline", {{1000ms, "MDL40"}}, 2, 1000ms, 1000ms},
        {"answer after the deadline", {{1003ms, "MDL40"}}, 5, 1003ms, 1000ms},
        // The deadline is looked at after each read: a piece at the deadline
        // itself still lets the rest come.
        {"last piece after one at the deadline",
         {{1000ms, "TV-"}, {1001ms, "K3"}},
         3,
         1001ms,
         1001ms},
        {"silence", {}, 5, 1005ms, 1000ms},
        {"too short", {{10ms, "MDL4"}}, 5, 1005ms, 1000ms},
        {"case matters", {{10ms, "tv-k3"}}, 5, 1005ms, 1000ms},
        {"unknown five waits for the deadline", {{10ms, "ABCDE"}}, 5, 1005ms, 1000ms},
        {"sixth byte ends at once", {{10ms, "ABCDE"}, {300ms, "F"}}, 5, 300ms, 300ms},
        {"six in one read", {{10ms, "TV-K3X"}}, 5, 10ms, 10ms},
        // Nothing that came before the query answers it.
        {"stray byte in the line", {{10ms, "MDL40"}}, 2, 10ms, 10ms, "\x11"},
        {"a late acknowledgement in the line", {{10ms, "K20_T"}}, 4, 10ms, 10ms, "\x06"},
        {"a late acknowledgement ahead of the answer",
         {{5ms, "\x06"}, {10ms, "MDL40"}},
         2,
         10ms,
         10ms},
        {"acknowledgements with the answer", {{10ms, "\x06\x06TV-K3"}}, 3, 10ms, 10ms},
        {"an acknowledgement inside the answer",
         {{10ms, "MDL\x06"
                 "40"}},
         5,
         10ms,
         10ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel ch(ChannelKind::Serial, clock);
        ch.reply(bytesOf(c.waiting));
        ch.printer = [&](ScriptedChannel& self, const Bytes&) {
            for (const Piece& p : c.pieces)
                self.reply(bytesOf(p.bytes), p.after);
        };
        const Clock::duration t0 = clock.t;
        EXPECT_EQ(queryPrinterModel(ch, clock, host), c.code);
        EXPECT_EQ(ch.writes, std::vector<Bytes>{kQuery});
        EXPECT_LE(elapsedSince(t0), c.answeredBy);
        EXPECT_GE(elapsedSince(t0), c.notBefore);
        EXPECT_TRUE(host.reports.empty());
        // A poll blocks until a byte comes or the time is up: one poll per
        // arrival and one for the deadline, never a spin.
        EXPECT_LE(ch.polls, static_cast<int>(c.pieces.size()) + 2);
    }
}

TEST_F(ProtocolTest, UsbModelAnswerMustComeInOneReadOfFive)
{
    struct Case {
        const char* name;
        std::vector<std::string> reads;
        int code;
        int readsMade = 1;
    } cases[] = {
        {"MDL40", {"MDL40"}, 2},
        {"TV-K3", {"TV-K3"}, 3},
        {"K20_T", {"K20_T"}, 4},
        {"split answer", {"TV-", "K3"}, 5},
        {"six bytes", {"K20_T "}, 5},
        {"nothing", {}, 5},
        {"other answer", {"HELLO"}, 5},
        // Late acknowledgements of earlier records are not the answer's read.
        {"late acknowledgement, then the answer", {"\x06", "MDL40"}, 2, 2},
        {"late acknowledgements with the answer", {"\x06\x06K20_T"}, 4},
        {"only acknowledgements", {"\x06", "\x06"}, 5, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel ch(ChannelKind::Usb, clock);
        ch.printer = [&](ScriptedChannel& self, const Bytes&) {
            for (const std::string& r : c.reads)
                self.reply(bytesOf(r), 1ms);
        };
        EXPECT_EQ(queryPrinterModel(ch, clock, host), c.code);
        EXPECT_EQ(ch.writes, std::vector<Bytes>{kQuery});
        EXPECT_EQ(ch.reads, c.readsMade);
    }
}

TEST_F(ProtocolTest, NetworkQueryIsWrittenAndAnsweredByWaiting)
{
    ScriptedChannel& ch = channels.network;
    const Clock::duration t0 = clock.t;
    EXPECT_EQ(queryPrinterModel(ch, clock, host), 4);
    EXPECT_EQ(ch.writes, std::vector<Bytes>{kQuery});
    EXPECT_EQ(clock.sleeps, std::vector<std::chrono::milliseconds>{1000ms});
    EXPECT_EQ(elapsedSince(t0), 1000ms);
    EXPECT_EQ(ch.reads + ch.polls, 0);
}

TEST_F(ProtocolTest, FailedChannelOperationDuringQueryGivesOne)
{
    const Result<> bad = Result<>::failure("Port COM9 does not exist.");
    struct Case {
        const char* name;
        ChannelKind kind;
        bool failWrite, failPoll, failRead;
    } cases[] = {
        {"serial write", ChannelKind::Serial, true, false, false},
        {"serial poll", ChannelKind::Serial, false, true, false},
        {"serial read", ChannelKind::Serial, false, false, true},
        {"usb write", ChannelKind::Usb, true, false, false},
        {"usb read", ChannelKind::Usb, false, false, true},
        {"network write", ChannelKind::Network, true, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel ch(c.kind, clock);
        host.reports.clear();
        ch.printer = printerAnswering("TV-K3");
        if (c.failWrite)
            ch.writeStatus = [&](const Bytes&) { return bad; };
        if (c.failPoll)
            ch.pollStatus = bad;
        if (c.failRead)
            ch.readStatus = bad;
        EXPECT_EQ(queryPrinterModel(ch, clock, host), 1);
        EXPECT_EQ(host.reports, std::vector<std::string>{bad.error()});
    }
}

TEST_F(ProtocolTest, UsbQueryOnAnAbsentPrinterIsQuietAndGivesFive)
{
    ScriptedChannel& ch = channels.usb;
    ch.writeStatus = [](const Bytes&) { return Result<>::refusal(); };
    ch.emptyUsbRead = Result<>::refusal();
    EXPECT_EQ(queryPrinterModel(ch, clock, host), 5);
    EXPECT_TRUE(host.reports.empty());
}

// --- the record exchange ---

const std::string kPackage = "\x01"
                             "00AB\r\n"
                             "\x01"
                             "00CD\x17\r\n";
constexpr std::size_t kSecond = 7;
const Bytes kFirstOnWire = bytesOf("\x01"
                                   "00AB");

TEST_F(ProtocolTest, EveryChannelAndModelCodeRow)
{
    struct Row {
        ChannelKind kind;
        std::uint8_t code;
        bool awaitsAck;
        bool pauses;
        bool updatesWithoutAck;
    } rows[] = {
        {ChannelKind::Serial, 0, true, false, false},
        {ChannelKind::Serial, 2, true, false, false},
        {ChannelKind::Serial, 3, true, false, false},
        {ChannelKind::Serial, 4, true, false, false},
        {ChannelKind::Serial, 5, true, false, false},
        {ChannelKind::Usb, 0, true, false, false},
        {ChannelKind::Usb, 3, true, false, false},
        {ChannelKind::Usb, 4, true, false, false},
        {ChannelKind::Usb, 2, false, true, false},
        {ChannelKind::Usb, 5, false, false, false},
        {ChannelKind::Network, 0, false, false, true},
        {ChannelKind::Network, 4, false, false, true},
    };
    const Bytes data = bytesOf(kPackage);
    for (const Row& row : rows) {
        SCOPED_TRACE("channel " + std::to_string(static_cast<int>(row.kind)) + ", model code " +
                     std::to_string(row.code));
        ScriptedChannel ch(row.kind, clock);
        ch.printer = printerAnswering("", 3ms);
        clock.sleeps.clear();
        host.updates.clear();
        const Clock::duration t0 = clock.t;

        const ExchangeResult r = exchangeRecord(data, 0, {ch, row.code, true}, clock, host);
        EXPECT_FALSE(r.fault);
        EXPECT_EQ(r.next, kSecond);
        EXPECT_FALSE(r.endMark);
        EXPECT_TRUE(r.delivered);
        EXPECT_FALSE(r.ackMissing);
        // One write: the record up to its CR, nothing added.
        EXPECT_EQ(ch.writes, std::vector<Bytes>{kFirstOnWire});
        EXPECT_EQ(ch.reads > 0, row.awaitsAck);
        if (row.awaitsAck) {
            EXPECT_EQ(elapsedSince(t0), 3ms);
        }
        EXPECT_EQ(clock.sleeps, row.pauses ? std::vector<std::chrono::milliseconds>{100ms}
                                           : std::vector<std::chrono::milliseconds>{});
        const bool updates = row.awaitsAck || row.updatesWithoutAck;
        EXPECT_EQ(host.updates,
                  updates ? std::vector<std::size_t>{kSecond} : std::vector<std::size_t>{});

        // The last record: its ETB goes out, its CR and LF do not.
        ch.writes.clear();
        const ExchangeResult last =
            exchangeRecord(data, kSecond, {ch, row.code, true}, clock, host);
        EXPECT_TRUE(last.endMark);
        EXPECT_EQ(last.next, data.size());
        EXPECT_EQ(ch.writes, std::vector<Bytes>{bytesOf("\x01"
                                                        "00CD\x17")});
    }
}

TEST_F(ProtocolTest, OnlyASingleAckWithinFiveSecondsIsAccepted)
{
    struct Case {
        const char* name;
        std::vector<Piece> replies;
        bool accepted;
        Clock::duration doneAfter; // from the write
    } cases[] = {
        {"ACK at once", {{0ms, "\x06"}}, true, 0ms},
        {"ACK after noise in its own read", {{1ms, "\x15"}, {20ms, "\x06"}}, true, 20ms},
        {"ACK just inside the wait", {{5000ms, "\x06"}}, true, 5000ms},
        {"ACK plus another byte", {{1ms, std::string("\x06\x06", 2)}}, false, 5000ms},
        {"ACK then noise in one read", {{1ms, "\x06\x15"}}, false, 5000ms},
        {"NAK", {{1ms, "\x15"}}, false, 5000ms},
        {"silence", {}, false, 5000ms},
        {"ACK too late", {{5100ms, "\x06"}}, false, 5000ms},
    };
    const Bytes data = bytesOf(kPackage);
    for (ChannelKind kind : {ChannelKind::Serial, ChannelKind::Usb}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (kind == ChannelKind::Usb ? " (USB)" : " (serial)"));
            ScriptedChannel ch(kind, clock);
            ch.printer = [&](ScriptedChannel& self, const Bytes&) {
                for (const Piece& p : c.replies)
                    self.reply(bytesOf(p.bytes), p.after);
            };
            host.updates.clear();
            const Clock::duration t0 = clock.t;
            const ExchangeResult r = exchangeRecord(data, 0, {ch, 3, true}, clock, host);
            EXPECT_EQ(r.ackMissing, !c.accepted);
            EXPECT_EQ(host.updates.size(), c.accepted ? 1u : 0u);
            EXPECT_GE(elapsedSince(t0), c.doneAfter);
            // Given up on within one poll or read of the deadline.
            EXPECT_LE(elapsedSince(t0), c.doneAfter + ch.usbReadWait + 5ms);
            EXPECT_EQ(ch.writes.size(), 1u); // never sent again
        }
    }
}

TEST_F(ProtocolTest, RefusedRecords)
{
    const Bytes data = bytesOf(kPackage);
    const auto refuse = [](Result<> s) { return [s](const Bytes&) { return s; }; };
    const Result<> failed = Result<>::failure("The network path was not found.");
    const Result<> quiet = Result<>::refusal();
    struct Case {
        const char* name;
        ChannelKind kind;
        std::uint8_t code;
        Result<> write;
        bool usbOpened;
        std::size_t writes;
        bool ackWait;
        std::vector<std::string> reports;
    } cases[] = {
        {"USB code 5, printer not opened",
         ChannelKind::Usb,
         5,
         Result<>::success(),
         false,
         0,
         false,
         {}},
        {"USB code 5, write refused", ChannelKind::Usb, 5, quiet, true, 1, false, {}},
        {"USB code 2, write refused", ChannelKind::Usb, 2, quiet, true, 1, false, {}},
        {"USB code 0, write refused", ChannelKind::Usb, 0, quiet, false, 1, true, {}},
        {"network write failed", ChannelKind::Network, 0, failed, true, 1, false, {failed.error()}},
        {"network write failed after a query",
         ChannelKind::Network,
         4,
         failed,
         true,
         1,
         false,
         {failed.error()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel ch(c.kind, clock);
        ch.writeStatus = refuse(c.write);
        host.reports.clear();
        host.updates.clear();
        clock.sleeps.clear();
        const Clock::duration t0 = clock.t;
        const ExchangeResult r = exchangeRecord(data, 0, {ch, c.code, c.usbOpened}, clock, host);
        EXPECT_FALSE(r.delivered);
        EXPECT_EQ(ch.writes.size(), c.writes);
        EXPECT_EQ(r.ackMissing, c.ackWait);
        EXPECT_EQ(elapsedSince(t0) >= 5000ms, c.ackWait);
        EXPECT_EQ(host.reports, c.reports);
        EXPECT_TRUE(host.updates.empty());
        EXPECT_TRUE(clock.sleeps.empty() || c.ackWait); // no 100 ms pause after a refusal
    }
}

TEST_F(ProtocolTest, AcknowledgementInTheLineBeforeTheRecordIsNotItsAcknowledgement)
{
    ScriptedChannel& ch = channels.serial;
    ch.reply(bytesOf("\x06"));
    const ExchangeResult r = exchangeRecord(bytesOf(kPackage), 0, {ch, 3, true}, clock, host);
    EXPECT_TRUE(r.ackMissing);
    EXPECT_TRUE(host.updates.empty());
    EXPECT_EQ(ch.discards, 1);
}

// A channel that fails while a record's acknowledgement is awaited (a port
// that is not open, an adapter unplugged, a library that cannot be called)
// will not answer: each failing step is reported once and the wait ends.
TEST_F(ProtocolTest, ChannelThatFailsDuringTheWaitEndsItAtOnce)
{
    const Result<> closed = Result<>::failure("The serial port COM3 is not open.");
    const Result<> gone = Result<>::failure("Read failed on COM1: The device is gone");
    struct Case {
        const char* name;
        ChannelKind kind;
        Result<> write, poll, read;
        std::vector<std::string> reports;
    } cases[] = {
        {"serial port not open",
         ChannelKind::Serial,
         closed,
         closed,
         closed,
         {closed.error(), closed.error(), closed.error()}},
        {"serial device gone", ChannelKind::Serial, {}, gone, {}, {gone.error()}},
        {"serial read fails", ChannelKind::Serial, {}, {}, gone, {gone.error()}},
        {"USB library cannot be called", ChannelKind::Usb, {}, {}, closed, {closed.error()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel ch(c.kind, clock);
        ch.writeStatus = [&](const Bytes&) { return c.write; };
        ch.pollStatus = c.poll;
        ch.readStatus = c.read;
        ch.printer = [](ScriptedChannel& self, const Bytes&) { self.reply(bytesOf("\x15"), 10ms); };
        host.reports.clear();
        const Clock::duration t0 = clock.t;
        // The last record: a wait the channel ended is no success either.
        const ExchangeResult r =
            exchangeRecord(bytesOf(kPackage), kSecond, {ch, 0, true}, clock, host);
        EXPECT_TRUE(r.endMark);
        EXPECT_TRUE(r.channelLost);
        EXPECT_EQ(host.reports, c.reports);
        EXPECT_LT(elapsedSince(t0), 1000ms);
    }
}

// Only a read that brought nothing is followed by the pause: after noise the
// acknowledgement that is already there is read at once.
TEST_F(ProtocolTest, UsbReadThatBroughtBytesIsFollowedAtOnce)
{
    ScriptedChannel& ch = channels.usb;
    ch.printer = [](ScriptedChannel& self, const Bytes&) {
        self.reply(bytesOf("\x15"));
        self.reply(bytesOf("\x06"));
    };
    const ExchangeResult r = exchangeRecord(bytesOf(kPackage), 0, {ch, 4, true}, clock, host);
    EXPECT_FALSE(r.ackMissing);
    EXPECT_EQ(ch.reads, 2);
    EXPECT_TRUE(clock.sleeps.empty());
}

TEST_F(ProtocolTest, UsbReadsThatReturnAtOnceDoNotSpin)
{
    ScriptedChannel& ch = channels.usb;
    ch.usbReadWait = 0ms;
    ch.emptyUsbRead = Result<>::refusal();
    const ExchangeResult r = exchangeRecord(bytesOf(kPackage), 0, {ch, 4, true}, clock, host);
    EXPECT_TRUE(r.ackMissing);
    EXPECT_LE(ch.reads, 5002);
    EXPECT_FALSE(clock.sleeps.empty());
    EXPECT_TRUE(host.reports.empty());
}

TEST_F(ProtocolTest, RecordRunningOutOfPackageIsNotSent)
{
    ScriptedChannel& ch = channels.serial;
    const Bytes data = bytesOf("\x01"
                               "00AB\x17");
    const ExchangeResult r = exchangeRecord(data, 0, {ch, 3, true}, clock, host);
    ASSERT_TRUE(r.fault);
    EXPECT_EQ(*r.fault, (PackageFault{PackageFault::Kind::NoLineEnd, 0}));
    EXPECT_TRUE(ch.writes.empty());
}

} // namespace
} // namespace fw::test
