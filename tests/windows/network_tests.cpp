// The network print path on Windows: \\127.0.0.1\lp1 is a file of the test
// (printer_service.sh links it through the prefix's dosdevices/unc). The job
// is held until it is handed over; one given up on leaves nothing.

#include "channels/network_channel.h"

#include "windows_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace fw::test {
namespace {

struct Patient final : HandOverWatch {
    bool stopRequested() override { return false; }
    void tooLateToStop() override {}
};

TEST(WindowsNetworkPath, OnlyAJobHandedOverReachesThePrinter)
{
    std::string why;
    ASSERT_TRUE(PrinterService::available(why)) << why;
    const std::string share = PrinterService::printShareFile();
    Bytes job;
    for (int i = 0; i < 100000; ++i)
        job.push_back(static_cast<std::uint8_t>(i * 7));
    struct Case {
        const char* name;
        std::string address;
        bool handOver;
        std::string openError; // empty: opens
    } cases[] = {
        {"handed over", "127.0.0.1", true, ""},
        {"given up", "127.0.0.1", false, ""},
        {"no such share", "127.0.0.2", true, "Cannot open \\\\127.0.0.2\\lp1: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile(share, "");
        NetworkChannel channel;
        ChannelSettings settings;
        settings.networkAddress = c.address;
        const Result<> opened = channel.open(settings);
        if (!c.openError.empty()) {
            ASSERT_TRUE(opened.failed());
            EXPECT_EQ(opened.error().find(c.openError), 0u) << opened.error();
            EXPECT_GT(opened.error().size(), c.openError.size()) << "the system's words follow";
            continue;
        }
        ASSERT_TRUE(opened.ok()) << opened.error();
        for (std::size_t at = 0; at < job.size(); at += 1000)
            ASSERT_TRUE(
                channel.write({job.data() + at, std::min<std::size_t>(1000, job.size() - at)})
                    .ok());
        Patient watch;
        if (c.handOver)
            ASSERT_TRUE(channel.handOver(watch).ok());
        else
            channel.close();
        EXPECT_FALSE(channel.isOpen());
        EXPECT_EQ(readFile(share),
                  c.handOver ? std::string(job.begin(), job.end()) : std::string());
    }
}

} // namespace
} // namespace fw::test
