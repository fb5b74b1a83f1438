// The network print path against a private Samba server on 127.0.0.1.

#include "channels/network_channel.h"

#include "channels/network_sink.h"
#include "samba_server.h"
#include "throttling_proxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>

namespace fw {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

ChannelSettings at(const std::string& address)
{
    return ChannelSettings{0, {}, "", address};
}

// Waits on a hand-over; asks to stop once `stopWhen` says so.
struct Watch final : HandOverWatch {
    bool stopRequested() override { return stopWhen && stopWhen(); }
    void tooLateToStop() override { tooLate = true; }
    std::function<bool()> stopWhen;
    bool tooLate = false;
};

class SambaTest : public ::testing::Test {
protected:
    void startServer(const std::string& share = "lp1")
    {
        if (!test::SambaServer::available())
            GTEST_SKIP() << "smbd is not installed";
        const Result<> started = server.start(share);
        ASSERT_TRUE(started.ok()) << started.error();
    }
    test::SambaServer server;
    NetworkChannel channel;
    Watch watch;
};

TEST_F(SambaTest, BytesArriveCompleteAndInOrderAsOneJob)
{
    startServer();
    Bytes sent;
    ASSERT_TRUE(channel.open(at(server.address())).ok());
    const Bytes query{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};
    ASSERT_TRUE(channel.write(query).ok());
    sent = query;
    Bytes every{0x01};
    for (int i = 0; i < 256; ++i)
        every.push_back(static_cast<std::uint8_t>(i));
    for (int r = 0; r < 200; ++r) {
        Bytes record{0x01, '9', '1', 0x02};
        for (int i = 0; i < 100; ++i)
            record.push_back(static_cast<std::uint8_t>('A' + (r + i) % 26));
        ASSERT_TRUE(channel.write(record).ok()) << r;
        sent.insert(sent.end(), record.begin(), record.end());
    }
    ASSERT_TRUE(channel.write(every).ok());
    sent.insert(sent.end(), every.begin(), every.end());
    EXPECT_TRUE(server.capture().empty()) << "the job goes to the printer when the path is closed";
    EXPECT_TRUE(channel.handOver(watch).ok());
    EXPECT_FALSE(channel.isOpen());
    EXPECT_EQ(server.waitForCapture(sent.size(), 10s), sent);

    // A second session is a second job, appended after the first.
    ASSERT_TRUE(channel.open(at(server.address())).ok());
    ASSERT_TRUE(channel.write(query).ok());
    EXPECT_TRUE(channel.handOver(watch).ok());
    sent.insert(sent.end(), query.begin(), query.end());
    EXPECT_EQ(server.waitForCapture(sent.size(), 10s), sent);
}

// Every end of a job other than a hand-over: the printer must receive none of
// it, and the window must not wait for a server that has stopped answering.
struct Abandon {
    const char* name;
    long long freeKiB;  // room the share reports; -1: its disk's own
    bool pause;         // the server stops answering before the job ends
    const char* report; // the job is handed over and fails with this; nullptr: closed
};

void PrintTo(const Abandon& a, std::ostream* os)
{
    *os << a.name;
}

class AbandonedJob : public SambaTest, public ::testing::WithParamInterface<Abandon> {};

TEST_P(AbandonedJob, ReachesNoPrinter)
{
    const Abandon& a = GetParam();
    if (!test::SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    const Result<> started = server.start("lp1", a.freeKiB);
    ASSERT_TRUE(started.ok()) << started.error();
    ASSERT_TRUE(channel.open(at(server.address())).ok());
    for (int r = 0; r < 300; ++r) {
        Bytes record(700, static_cast<std::uint8_t>('A' + r % 26));
        record[0] = 0x01;
        ASSERT_TRUE(channel.write(record).ok()) << r;
    }
    if (a.pause)
        server.pause();

    const auto start = Clock::now();
    if (a.report) {
        const Result<> s = channel.handOver(watch);
        EXPECT_LT(Clock::now() - start, 1500ms);
        ASSERT_TRUE(s.failed());
        EXPECT_NE(s.error().find("\\\\" + server.address() + "\\lp1"), std::string::npos)
            << s.error();
        EXPECT_NE(s.error().find(a.report), std::string::npos) << s.error();
    } else {
        channel.close();
        EXPECT_LT(Clock::now() - start, 200ms);
    }
    EXPECT_FALSE(channel.isOpen());
    EXPECT_TRUE(channel.handOver(watch).ok()); // nothing left to hand over
    if (a.pause) {
        std::this_thread::sleep_for(300ms);
        server.resume();
    }

    // The next job reaches the printer alone, and once the share holds no job
    // any more nothing of the abandoned one has followed it.
    const Bytes next{0x01, '9', '1', 0x02, 'O', 'K', 0x17};
    ASSERT_TRUE(channel.open(at(server.address())).ok());
    ASSERT_TRUE(channel.write(next).ok());
    ASSERT_TRUE(channel.handOver(watch).ok());
    EXPECT_EQ(server.waitForCapture(next.size(), 10s), next);
    for (auto until = Clock::now() + 10s; server.spooledJobs() > 0 && Clock::now() < until;)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server.spooledJobs(), 0u);
    EXPECT_EQ(server.capture(), next) << server.log();
}

INSTANTIATE_TEST_SUITE_P(
    Ends, AbandonedJob,
    ::testing::Values(Abandon{"ClosedAfterWrites", -1, false, nullptr},
                      Abandon{"ClosedWhileTheServerIsPaused", -1, true, nullptr},
                      Abandon{"HandedOverToAPausedServer", -1, true, "did not answer in time"},
                      Abandon{"HandedOverToAShareWithoutRoom", 64, false, "room for 65536 bytes"}),
    [](const ::testing::TestParamInfo<Abandon>& i) { return std::string(i.param.name); });

// A hand-over through a slow or stuck link: it waits as long as the job
// keeps moving, however slowly; on a server that takes nothing more it gives
// up and says what the printer gets, which is what it then gets once the link
// lets go (or breaks, for a server that takes the job in pieces and holds
// some of them).
enum class Printed { Nothing, Whole, Part };

struct Link {
    const char* name;
    std::size_t rate;      // bytes per second to the server; 0: unlimited
    std::size_t maxWrite;  // the server's largest write; 0: Samba's own (8 MiB)
    std::size_t holdJobAt; // the link stops this far into the job; 0: never
    bool holdReplies;      // the link stops the server's answers once the job is there
    const char* report;    // nullptr: handed over
    Printed printed;
};

void PrintTo(const Link& l, std::ostream* os)
{
    *os << l.name;
}

class SambaHandOver : public ::testing::TestWithParam<Link> {};

TEST_P(SambaHandOver, WaitsWhileTheJobMovesAndTellsWhatThePrinterGets)
{
    const Link& l = GetParam();
    if (!test::SambaServer::available())
        GTEST_SKIP() << "smbd is not installed";
    test::SambaServer server;
    const Result<> started = server.start("lp1", -1, l.maxWrite);
    ASSERT_TRUE(started.ok()) << started.error();
    test::ThrottlingProxy link(server.port());
    ASSERT_NE(link.port(), 0);
    constexpr auto kStall = 2000ms;
    NetworkChannel channel(makeNetworkSink(kStall));
    ASSERT_TRUE(channel.open(at(link.address())).ok());
    Bytes job(l.rate ? 120000 : 300000);
    for (std::size_t i = 0; i < job.size(); ++i)
        job[i] = static_cast<std::uint8_t>('A' + i % 26);
    ASSERT_TRUE(channel.write(job).ok());
    link.setRate(l.rate);
    if (l.holdJobAt)
        link.holdUploadAfter(link.uploaded() + l.holdJobAt);
    if (l.holdReplies)
        link.holdRepliesAfter(link.uploaded() + job.size());

    Watch watch;
    const auto start = Clock::now();
    const Result<> r = channel.handOver(watch);
    const auto took = Clock::now() - start;
    if (l.report) {
        ASSERT_TRUE(r.failed());
        EXPECT_NE(r.error().find(l.report), std::string::npos) << r.error();
        EXPECT_LT(took, kStall + 1500ms);
    } else {
        EXPECT_TRUE(r.ok()) << r.error();
        // Slower than a second for each 64 KiB.
        EXPECT_GT(took, 1s * static_cast<double>(job.size()) / (64 * 1024));
    }
    EXPECT_EQ(watch.tooLate, l.printed != Printed::Nothing);
    EXPECT_FALSE(channel.isOpen());

    if (l.printed == Printed::Part)
        link.dropConnections();
    link.release();
    Bytes expected;
    if (l.printed == Printed::Whole) {
        expected = job;
        EXPECT_EQ(server.waitForCapture(job.size(), 10s), job);
    } else {
        // What it left, then the next job.
        if (l.printed == Printed::Part) {
            const std::size_t part = l.holdJobAt / l.maxWrite * l.maxWrite;
            expected.assign(job.begin(), job.begin() + static_cast<std::ptrdiff_t>(part));
            EXPECT_EQ(server.waitForCapture(part, 10s), expected);
        }
        const Bytes next{0x01, '9', '1', 0x02, 'O', 'K', 0x17};
        ASSERT_TRUE(channel.open(at(link.address())).ok());
        ASSERT_TRUE(channel.write(next).ok());
        ASSERT_TRUE(channel.handOver(watch).ok());
        expected.insert(expected.end(), next.begin(), next.end());
        EXPECT_EQ(server.waitForCapture(expected.size(), 10s), expected);
    }
    for (auto until = Clock::now() + 10s; server.spooledJobs() > 0 && Clock::now() < until;)
        std::this_thread::sleep_for(20ms);
    EXPECT_EQ(server.spooledJobs(), 0u);
    EXPECT_EQ(server.capture(), expected) << server.log();
}

INSTANTIATE_TEST_SUITE_P(
    Links, SambaHandOver,
    ::testing::Values(Link{"SlowButMoving", 50000, 0, 0, false, nullptr, Printed::Whole},
                      Link{"StuckBeforeTheServerHasTheJob", 0, 0, 64 * 1024, false,
                           "the printer receives none of it", Printed::Nothing},
                      Link{"StuckOnceTheServerHasTheJob", 0, 0, 0, true, "may hold the whole job",
                           Printed::Whole},
                      Link{"StuckOnceTheServerHoldsPiecesOfTheJob", 0, 64 * 1024, 150000, false,
                           "the printer may print that part", Printed::Part}),
    [](const ::testing::TestParamInfo<Link>& i) { return std::string(i.param.name); });

TEST_F(SambaTest, ShareOtherThanLp1FailsFastWithAReport)
{
    startServer("lp2");
    const auto start = Clock::now();
    const auto s = channel.open(at(server.address()));
    ASSERT_TRUE(s.failed());
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_NE(s.error().find("lp1"), std::string::npos) << s.error();
    EXPECT_TRUE(channel.write(Bytes{1, 2, 3}).failed());
}

TEST(NetworkChannelTest, NoServerFailsFastWithTheReason)
{
    NetworkChannel channel;
    Watch watch;
    const int port = test::freeLoopbackPort();
    const auto start = Clock::now();
    const auto s = channel.open(at("127.0.0.1:" + std::to_string(port)));
    ASSERT_TRUE(s.failed());
    EXPECT_LT(Clock::now() - start, 5s);
    EXPECT_NE(s.error().find("\\\\127.0.0.1:" + std::to_string(port) + "\\lp1"), std::string::npos)
        << s.error();
    EXPECT_NE(s.error().find("refused"), std::string::npos) << s.error();
    EXPECT_FALSE(channel.isOpen());
    const auto w = channel.write(Bytes{0x01});
    EXPECT_TRUE(w.failed());
    channel.close();
}

TEST(NetworkChannelTest, UnsafeAddressesAreRefusedBeforeAnyConnection)
{
    const std::string unsafe[] = {"",
                                  "127.0.0.1/IPC$",
                                  "127.0.0.1\\other",
                                  "guest@127.0.0.1",
                                  "127.0.0.1?share=x",
                                  "127.0.0.1#x",
                                  std::string("127.0.0.1\r\n"),
                                  "127.0.0.1:99999",
                                  ":445"};
    NetworkChannel channel;
    for (const auto& a : unsafe) {
        const auto start = Clock::now();
        const auto s = channel.open(at(a));
        ASSERT_TRUE(s.failed()) << a;
        EXPECT_LT(Clock::now() - start, 100ms) << a;
        EXPECT_NE(s.error().find("printer address"), std::string::npos) << s.error();
        EXPECT_FALSE(channel.isOpen());
    }
}

} // namespace
} // namespace fw

// libsmbclient keeps a few process-wide allocations of its own until exit.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libtalloc.so\nleak:libsmbclient.so\nleak:libsamba\nleak:libsmbconf.so\n";
}
