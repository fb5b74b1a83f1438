// The usblp platform against umockdev printers, through the library's logic
// with a short receive time-out.

#include "capture.h"
#include "connection.h"
#include "discovery.h"
#include "expected_lines.h"
#include "failing_allocation.h"
#include "library.h"
#include "platform_linux.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <string>
#include <vector>

namespace fw::usb::test {
namespace {

using fw::test::UsbTestbed;

constexpr int kShortTimeoutMs = 100;

struct Printers : testing::Test {
    UsbTestbed bed;
    LinuxPlatform platform;
    Connection connection{platform, kShortTimeoutMs};
    int other = -1;
    int printer = -1;

    void SetUp() override
    {
        other = bed.addPrinter({0x04B8, 0x0202, "OTHER1"});
        printer = bed.addPrinter({0x0483, 0x7C10, "TAV0042"});
    }
    void TearDown() override { connection.close(); }

    std::string open(const std::string& path)
    {
        std::int32_t result = 0;
        std::string lines = printedBy([&] { result = connection.open(path.c_str()); });
        EXPECT_EQ(result, 0) << lines;
        return lines;
    }
};

TEST_F(Printers, DiscoveryCountsMatchingAndPositionsCountAll)
{
    std::int32_t count = -2;
    EXPECT_EQ(printedBy([&] { count = findUsbDevice(platform); }),
              mismatchedLines("USB\\VID_04B8&PID_0202\\OTHER1") +
                  acceptedLines("USB\\VID_0483&PID_7C10\\TAV0042") + deviceCountLine(1).text());
    EXPECT_EQ(count, 1);

    for (int index : {0, 1}) {
        char name[257] = "untouched";
        const std::string path = bed.devicePath(index);
        EXPECT_EQ(printedBy([&] { findDeviceName(platform, index, name); }),
                  foundLines(index, path));
        EXPECT_EQ(std::string(name), path);
    }
    char name[257] = "untouched";
    EXPECT_EQ(printedBy([&] { findDeviceName(platform, 2, name); }),
              deviceNameLine(2, "untouched").text());
}

TEST_F(Printers, OtherInterfaceClassesAreNoPrinters)
{
    bed.addPrinter({0x0483, 0x7C20, "DISK", 0x08});
    std::vector<LinuxPlatform::Printer> found;
    ASSERT_TRUE(platform.scan(found));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[1].path, bed.devicePath(printer));
    EXPECT_EQ(found[1].instanceId, "USB\\VID_0483&PID_7C10\\TAV0042");
}

TEST_F(Printers, WriteReachesThePrinterAndItsAnswerIsRead)
{
    open(bed.devicePath(printer));
    const std::vector<std::uint8_t> query{0x1B, 0x1D, 0x49, 0x01, 0x0D,
                                          0x0A, 0x00, 0xFF, 0x80, 0x7F};
    std::int32_t result = -1;
    EXPECT_EQ(printedBy([&] { result = connection.write(query.data(), 10); }),
              writtenLines(query, 10));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(bed.receive(printer, 10, 2000), query);

    bed.send(printer, {0x41, 0x42, 0x43, 0x44, 0x0D});
    std::uint8_t buffer[256];
    std::memset(buffer, ' ', sizeof buffer);
    EXPECT_EQ(printedBy([&] { result = connection.read(buffer); }),
              readLines({0x41, 0x42, 0x43, 0x44, 0x0D}));
    EXPECT_EQ(result, 5);
    EXPECT_EQ(std::memcmp(buffer, "ABCD\r", 5), 0);
    EXPECT_EQ(buffer[5], ' ');
}

TEST_F(Printers, FullBlocksBothWays)
{
    open(bed.devicePath(printer));
    std::vector<std::uint8_t> block(256);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(i);
    std::int32_t result = -1;
    printedBy([&] { result = connection.write(block.data(), 256); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(bed.receive(printer, 256, 2000), block);

    bed.send(printer, block);
    std::vector<std::uint8_t> got;
    std::uint8_t buffer[256];
    for (int i = 0; i < 20 && got.size() < 256; ++i) {
        printedBy([&] { result = connection.read(buffer); });
        ASSERT_GE(result, 0);
        got.insert(got.end(), buffer, buffer + result);
    }
    EXPECT_EQ(got, block);
}

TEST_F(Printers, ReadTimesOutAfterTheReceiveTimeOut)
{
    open(bed.devicePath(printer));
    std::uint8_t buffer[256];
    std::int32_t result = 0;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(printedBy([&] { result = connection.read(buffer); }), receiveTimeoutLine().text());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result, -1);
    EXPECT_GE(waited, std::chrono::milliseconds(kShortTimeoutMs));

    // An answer arriving after the time-out is read by the next call, whole.
    bed.send(printer, {0x06});
    EXPECT_EQ(printedBy([&] { result = connection.read(buffer); }), readLines({0x06}));
    EXPECT_EQ(result, 1);
}

TEST_F(Printers, DeviceInUseCannotBeOpenedButKeepsItsName)
{
    open(bed.devicePath(printer));

    LinuxPlatform second;
    Connection other(second, kShortTimeoutMs);
    std::int32_t result = 0;
    EXPECT_EQ(printedBy([&] { result = other.open(bed.devicePath(printer).c_str()); }),
              pipeFailedLines(EBUSY));
    EXPECT_EQ(result, -1);

    char name[257] = "";
    const std::string path = bed.devicePath(printer);
    EXPECT_EQ(printedBy([&] { findDeviceName(second, 1, name); }), foundInUseLines(1, path));
}

TEST_F(Printers, MissingNodeFailsToOpen)
{
    std::int32_t result = 0;
    EXPECT_EQ(printedBy([&] { result = connection.open("/dev/usb/lp9"); }),
              pipeFailedLines(ENOENT));
    EXPECT_EQ(result, -1);
}

TEST_F(Printers, ReopenAfterCloseWorks)
{
    for (int round = 0; round < 3; ++round) {
        open(bed.devicePath(printer));
        connection.close();
    }
}

TEST_F(Printers, UnpluggedDuringAReadFailsEveryLaterCallAtOnce)
{
    open(bed.devicePath(printer));
    LinuxPlatform slow; // a read that would wait far longer than the test
    Connection waiting(slow, 10000);
    connection.close();
    std::int32_t result = 0;
    printedBy([&] { result = waiting.open(bed.devicePath(printer).c_str()); });
    ASSERT_EQ(result, 0);

    std::thread unplugger([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        bed.unplug(printer);
    });
    std::uint8_t buffer[256];
    const auto start = std::chrono::steady_clock::now();
    printedBy([&] { result = waiting.read(buffer); });
    unplugger.join();
    EXPECT_EQ(result, -1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));

    const auto later = std::chrono::steady_clock::now();
    printedBy([&] { EXPECT_EQ(waiting.read(buffer), -1); });
    const std::uint8_t block[3] = {1, 2, 3};
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(waiting.write(block, 3), -1); }), writeShortLine().text());
    EXPECT_LT(std::chrono::steady_clock::now() - later, std::chrono::milliseconds(500));
    waiting.close();

    std::int32_t count = -2;
    printedBy([&] { count = findUsbDevice(slow); });
    EXPECT_EQ(count, 0);
}

// Running out of memory anywhere while listing the printers or opening a
// pipe is the platform's failure: no exception, nothing left open or held.
TEST_F(Printers, OutOfMemoryIsAFailure)
{
    for (int n = 0;; ++n) {
        failAllocationAfter(n);
        const auto list = platform.devices();
        if (!stopFailingAllocations()) {
            ASSERT_TRUE(list);
            break;
        }
        EXPECT_FALSE(list);
        EXPECT_EQ(platform.lastError(), static_cast<std::uint32_t>(ENOMEM));
    }

    const std::string readPipe = bed.devicePath(printer) + "\\PIPE01";
    const std::string writePipe = bed.devicePath(printer) + "\\PIPE00";
    for (const bool shared : {false, true}) { // the node's first opening, then its second pipe
        for (int n = 0;; ++n) {
            const Handle first =
                shared ? platform.openPipe(readPipe.c_str(), Direction::Read) : kInvalidHandle;
            failAllocationAfter(n);
            const Handle pipe = platform.openPipe(writePipe.c_str(), Direction::Write);
            const bool failed = stopFailingAllocations();
            for (const Handle open : {first, pipe}) {
                if (open != kInvalidHandle)
                    platform.closePipe(open);
            }
            if (!failed) {
                ASSERT_NE(pipe, kInvalidHandle);
                break;
            }
            EXPECT_EQ(pipe, kInvalidHandle);
            EXPECT_EQ(platform.lastError(), static_cast<std::uint32_t>(ENOMEM));
        }
    }
    // Nobody holds the printer any more.
    LinuxPlatform other;
    const Handle pipe = other.openPipe(readPipe.c_str(), Direction::Read);
    EXPECT_NE(pipe, kInvalidHandle) << other.lastError();
    other.closePipe(pipe);
}

// Calls from two threads take turns: with both opening and closing the one
// printer while one of them also writes and reads, the platform's record of
// open nodes is never changed under the other's feet.
TEST_F(Printers, CallsFromTwoThreadsTakeTurns)
{
    Library library(platform, 1);
    const std::string path = bed.devicePath(printer);
    std::size_t written = 0;
    const auto hammer = [&](bool transfer) {
        for (int i = 0; i < 200; ++i) {
            library.open(path.c_str());
            if (transfer) {
                const std::uint8_t byte = 0x55;
                std::uint8_t buffer[256];
                written += library.write(&byte, 1) == 0 ? 1 : 0;
                library.read(buffer);
            }
            library.close();
        }
    };
    printedBy([&] {
        std::thread opener(hammer, false);
        hammer(true);
        opener.join();
    });
    // What was reported written reached the printer, and nothing else did.
    EXPECT_EQ(bed.receive(printer, written + 1, 300), std::vector<std::uint8_t>(written, 0x55));
}

} // namespace
} // namespace fw::usb::test
