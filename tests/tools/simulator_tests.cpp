// The printer simulator as the demo runs it: knowing every sample package, it
// frames each record by its bytes, whichever package is sent and however the
// bytes arrive, and it serves one session after another.

#include "printer_sim.h"
#include "sample_packages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace fw::sim {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class Printer {
public:
    explicit Printer(PrinterScript script)
    {
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends_), 0);
        sim_ = std::make_unique<PrinterSimulator>(ends_[1], std::move(script));
        thread_ = std::thread([this] { sim_->run(); });
    }
    ~Printer()
    {
        sim_->stop();
        thread_.join();
        ::close(ends_[0]);
        ::close(ends_[1]);
    }
    void send(const Bytes& b)
    {
        ASSERT_EQ(::write(ends_[0], b.data(), b.size()), static_cast<ssize_t>(b.size()));
    }
    // What the printer answers within `limit`, once `n` bytes came.
    Bytes reply(std::size_t n, std::chrono::milliseconds limit)
    {
        Bytes got;
        const auto until = std::chrono::steady_clock::now() + limit;
        while (got.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            pollfd p{ends_[0], POLLIN, 0};
            if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            std::uint8_t buf[64];
            const ssize_t r = ::read(ends_[0], buf, sizeof buf);
            if (r <= 0)
                break;
            got.insert(got.end(), buf, buf + r);
        }
        return got;
    }
    PrinterSimulator& sim() { return *sim_; }

private:
    int ends_[2] = {-1, -1};
    std::unique_ptr<PrinterSimulator> sim_;
    std::thread thread_;
};

PrinterScript knowingTheSamples()
{
    PrinterScript script;
    for (const samples::Package& p : samples::shipped())
        script.knownPackages.push_back(splitPackage(p.bytes));
    // Long enough to tell a record that waited for silence.
    script.quietGap = 500ms;
    return script;
}

TEST(PrinterSimulator, AcknowledgesEachRecordOfAnySampleAtOnceSessionAfterSession)
{
    Printer printer(knowingTheSamples());
    std::size_t sent = 0;
    // Two sessions in a row, as firmware-cli in a shell loop runs them: each
    // begins with the model query and sends a different package from where
    // the answer "K20_T" makes it start.
    for (const char* name : {"FIRMWARE_90.DPX", "FONT_MODEL_93.DPX", "FIRMWARE_PLAIN.DPX"}) {
        SCOPED_TRACE(name);
        samples::Package package;
        for (const samples::Package& p : samples::shipped())
            if (p.name == name)
                package = p;
        printer.send(modelQuery());
        const std::string answer = "K20_T";
        EXPECT_EQ(printer.reply(answer.size(), 1s), Bytes(answer.begin(), answer.end()));
        const std::size_t from = std::string(name).find("PLAIN") != std::string::npos
                                     ? 0
                                     : samples::offsetAfterHeader(package.bytes);
        const auto records = samples::recordsFrom(package.bytes, from);
        // A record that a longer record of another sample begins with may
        // wait for silence when nothing before it tells the package apart.
        int waited = 0;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const auto sentAt = std::chrono::steady_clock::now();
            const Bytes& r = records[i];
            if (i == 1) { // one record in two pieces, with a pause between
                printer.send(Bytes(r.begin(), r.begin() + 3));
                std::this_thread::sleep_for(50ms);
                printer.send(Bytes(r.begin() + 3, r.end()));
            } else {
                printer.send(r);
            }
            ASSERT_EQ(printer.reply(1, 2s), Bytes{kAck})
                << "record " << i + 1 << " of " << records.size();
            if (std::chrono::steady_clock::now() - sentAt > 300ms + (i == 1 ? 50ms : 0ms))
                ++waited;
        }
        EXPECT_LE(waited, 1) << "records waited for silence";
        sent += records.size();
    }
    EXPECT_EQ(printer.sim().queries(), 3);
    EXPECT_EQ(printer.sim().records().size(), sent);
}

// Bytes of no known package still make records, after the quiet gap.
TEST(PrinterSimulator, UnknownRecordsEndAfterTheQuietGap)
{
    PrinterScript script = knowingTheSamples();
    script.quietGap = 300ms;
    Printer printer(std::move(script));
    const std::string unknown = "\x01"
                                "91\x02"
                                "NOT A SAMPLE\x03"
                                "00";
    printer.send(Bytes(unknown.begin(), unknown.end()));
    EXPECT_EQ(printer.reply(1, 100ms), Bytes{}) << "acknowledged before the quiet gap";
    EXPECT_EQ(printer.reply(1, 1s), Bytes{kAck});
    ASSERT_EQ(printer.sim().records().size(), 1u);
    EXPECT_EQ(printer.sim().records()[0], Bytes(unknown.begin(), unknown.end()));
}

} // namespace
} // namespace fw::sim
