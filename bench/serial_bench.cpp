// Serial download speed: the serial channel against a minimal write/poll/read
// loop, both over a pseudo-terminal with the printer simulator acknowledging
// at once. Prints records per second, acknowledgement-to-next-record latency
// and processor time per record.

#include "serial_reference.h"

#include "channels/serial_channel.h"

#include "printer_sim.h"
#include "pseudo_terminal.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

struct Package {
    Bytes bytes;
    std::vector<std::size_t> starts, lengths; // each record up to its CR
};

Package makePackage(std::size_t records)
{
    static const char hex[] = "0123456789ABCDEF";
    Package p;
    std::uint32_t seed = 12345;
    for (std::size_t r = 0; r < records; ++r) {
        p.starts.push_back(p.bytes.size());
        p.bytes.insert(p.bytes.end(), {0x01, '9', '1', 0x02});
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1103515245u + 12345u;
            p.bytes.push_back(static_cast<std::uint8_t>(hex[(seed >> 16) & 15]));
        }
        if (r + 1 == records)
            p.bytes.push_back(0x17);
        p.bytes.insert(p.bytes.end(), {0x03, '4', '2'});
        p.lengths.push_back(p.bytes.size() - p.starts.back());
        p.bytes.insert(p.bytes.end(), {0x0D, 0x0A});
    }
    return p;
}

double threadCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

struct Measure {
    std::size_t records = 0;
    double wall = 0, cpu = 0;
    std::vector<std::chrono::nanoseconds> latency;
};

template <typename Download>
Measure run(const Package& p, const std::string& programDir, std::chrono::milliseconds ackDelay,
            Download download)
{
    fw::sim::PseudoTerminal pty(false);
    std::string why;
    if (!pty.ok() || !pty.linkAsCom(programDir, 1, why)) {
        std::fprintf(stderr, "serial_bench: no pseudo-terminal: %s %s\n", pty.error().c_str(),
                     why.c_str());
        std::exit(1);
    }
    fw::sim::PrinterScript script;
    script.answer.reset();
    script.packageRecords = fw::sim::splitPackage(p.bytes);
    script.timeAcks = true;
    script.ackDelay = ackDelay;
    fw::sim::PrinterSimulator printer(pty.master(), script);
    std::thread serve([&] { printer.run(); });

    Measure r;
    const double cpu0 = threadCpuSeconds();
    const auto t0 = Clock::now();
    r.records = download(pty.slavePath());
    r.wall = std::chrono::duration<double>(Clock::now() - t0).count();
    r.cpu = threadCpuSeconds() - cpu0;
    printer.stop();
    serve.join();
    r.latency = printer.ackToNextRecord();
    return r;
}

void report(const char* name, const Measure& r)
{
    auto lat = r.latency;
    std::sort(lat.begin(), lat.end());
    auto us = [&](double q) {
        if (lat.empty())
            return 0.0;
        const auto i =
            std::min(lat.size() - 1, static_cast<std::size_t>(q * static_cast<double>(lat.size())));
        return static_cast<double>(lat[i].count()) / 1000.0;
    };
    std::printf(
        "%-10s %7zu records  %9.0f records/s  ack->next record: median %6.1f us, p99 %7.1f us  "
        "cpu %5.2f us/record (%4.1f%% of wall)\n",
        name, r.records, static_cast<double>(r.records) / r.wall, us(0.5), us(0.99),
        r.cpu / static_cast<double>(std::max<std::size_t>(1, r.records)) * 1e6,
        100.0 * r.cpu / r.wall);
}

} // namespace

Measure median(std::vector<Measure> runs)
{
    std::sort(runs.begin(), runs.end(), [](const Measure& a, const Measure& b) {
        return static_cast<double>(a.records) / a.wall < static_cast<double>(b.records) / b.wall;
    });
    return runs[runs.size() / 2];
}

int main(int argc, char** argv)
{
    std::size_t records = 30000;
    int rounds = 3;
    if (argc > 1)
        records = static_cast<std::size_t>(std::max(1, std::atoi(argv[1])));
    if (argc > 2)
        rounds = std::max(1, std::atoi(argv[2]));
    const Package package = makePackage(records);
    char templ[] = "/tmp/fwbench.XXXXXX";
    if (!::mkdtemp(templ))
        return 1;
    const std::string dir = templ;

    auto viaChannel = [&](const Package& pkg) {
        return [&dir, &pkg](const std::string&) -> std::size_t {
            fw::SerialChannel port(dir);
            fw::ChannelSettings settings;
            settings.portNumber = 1;
            settings.line = {115200, 'N', 8, 1};
            const fw::Result<> s = port.open(settings);
            if (!s.ok()) {
                std::fprintf(stderr, "serial_bench: %s\n", s.error().c_str());
                return 0;
            }
            Bytes reply;
            for (std::size_t i = 0; i < pkg.starts.size(); ++i) {
                const auto* rec = pkg.bytes.data() + pkg.starts[i];
                if (!port.write({rec, pkg.lengths[i]}).ok())
                    return i;
                const auto deadline = Clock::now() + std::chrono::seconds(5);
                for (;;) {
                    int count = 0;
                    if (!port.waitingCount(count, std::chrono::milliseconds(10)).ok())
                        return i;
                    if (count != 0) {
                        if (!port.read(reply).ok())
                            return i;
                        if (reply.size() == 1 && reply[0] == 0x06)
                            break;
                    }
                    if (Clock::now() > deadline)
                        return i;
                }
            }
            return pkg.starts.size();
        };
    };
    auto viaReference = [](const Package& pkg) {
        return [&pkg](const std::string& slave) -> std::size_t {
            const long n = fw_reference_download(slave.c_str(), pkg.bytes.data(), pkg.starts.data(),
                                                 pkg.lengths.data(), pkg.starts.size());
            return n < 0 ? 0 : static_cast<std::size_t>(n);
        };
    };

    std::printf("serial download of %zu records (%zu bytes) over a pseudo-terminal, printer "
                "acknowledging at "
                "once; median of %d alternating rounds\n",
                records, package.bytes.size(), rounds);
    std::vector<Measure> channelRuns, referenceRuns;
    for (int r = 0; r < rounds; ++r) {
        channelRuns.push_back(run(package, dir, std::chrono::milliseconds(0), viaChannel(package)));
        referenceRuns.push_back(
            run(package, dir, std::chrono::milliseconds(0), viaReference(package)));
    }
    const Measure channel = median(channelRuns);
    const Measure reference = median(referenceRuns);
    report("channel", channel);
    report("reference", reference);
    const double ratio = (static_cast<double>(channel.records) / channel.wall) /
                         (static_cast<double>(reference.records) / reference.wall);
    std::printf("channel/reference records per second: %.2f (aim >= 0.90)\n", ratio);

    // A printer that takes a moment per record: the wait must sleep, not spin.
    const Package slow = makePackage(500);
    const auto delay = std::chrono::milliseconds(2);
    std::printf("\nthe same with a printer acknowledging after %lld ms, %zu records:\n",
                static_cast<long long>(delay.count()), slow.starts.size());
    const Measure channelSlow = run(slow, dir, delay, viaChannel(slow));
    const Measure referenceSlow = run(slow, dir, delay, viaReference(slow));
    report("channel", channelSlow);
    report("reference", referenceSlow);
    std::printf("channel cpu while waiting: %.1f%% of wall (aim < 5%%)\n",
                100.0 * channelSlow.cpu / channelSlow.wall);

    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    const bool complete = channel.records == records && reference.records == records &&
                          channelSlow.records == slow.starts.size();
    return complete ? 0 : 1;
}
