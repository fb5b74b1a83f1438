// The Windows platform under Wine: registered devices for discovery, named
// pipes for the printer's pipes, through the library's logic with a short
// receive time-out.

#include "capture.h"
#include "connection.h"
#include "discovery.h"
#include "expected_lines.h"
#include "failing_allocation.h"
#include "platform_win.h"
#include "windows_printers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace fw::usb::test {
namespace {

constexpr int kShortTimeoutMs = 100;

struct Discovery : testing::Test {
    WindowsPlatform platform;
    void SetUp() override { removeAllPrinters(); }
    void TearDown() override { removeAllPrinters(); }
};

TEST_F(Discovery, NoPrinter)
{
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(findUsbDevice(platform), 0); }), deviceCountLine(0).text());
    char name[257] = "caller";
    EXPECT_EQ(printedBy([&] { findDeviceName(platform, 0, name); }),
              deviceNameLine(0, "caller").text());
}

TEST_F(Discovery, CountsMatchingAndPositionsCountAll)
{
    const std::string first = registerPrinter("USB\\VID_0400&PID_0001\\OTHER");
    const std::string second = registerPrinter("USB\\VID_0483&PID_7C10\\TAV1");

    std::int32_t count = -2;
    EXPECT_EQ(printedBy([&] { count = findUsbDevice(platform); }),
              mismatchedLines("USB\\VID_0400&PID_0001\\OTHER") +
                  acceptedLines("USB\\VID_0483&PID_7C10\\TAV1") + deviceCountLine(1).text());
    EXPECT_EQ(count, 1);

    // Nothing stands behind these paths, so the test open fails.
    const std::string paths[] = {first, second};
    for (int index : {0, 1}) {
        char name[257] = "caller";
        const std::string& path = paths[index];
        EXPECT_EQ(printedBy([&] { findDeviceName(platform, index, name); }),
                  foundInUseLines(index, path));
        EXPECT_EQ(std::string(name), path);
    }
    for (int index : {2, -1}) {
        char name[257] = "caller";
        EXPECT_EQ(printedBy([&] { findDeviceName(platform, index, name); }),
                  deviceNameLine(index, "caller").text());
    }
}

// Running out of memory while listing the printers or reading a device path
// is the platform's failure, never an exception.
TEST_F(Discovery, OutOfMemoryIsAFailure)
{
    const std::string registered = registerPrinter("USB\\VID_0483&PID_7C10\\TAV1");
    for (int n = 0;; ++n) {
        std::string path;
        failAllocationAfter(n);
        const auto list = platform.devices();
        const bool found = list && list->interfacePath(0, path);
        if (!stopFailingAllocations()) {
            ASSERT_TRUE(found);
            EXPECT_EQ(path, registered);
            break;
        }
        EXPECT_FALSE(found);
        EXPECT_EQ(platform.lastError(), static_cast<std::uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    }
}

const std::string kPipe = "\\\\.\\pipe\\tavlib-test-printer";

struct Pipes : testing::Test {
    WindowsPlatform platform;
    Connection connection{platform, kShortTimeoutMs};
    PipePrinter printer{kPipe};

    void SetUp() override
    {
        std::int32_t result = -2;
        const std::string lines = printedBy([&] { result = connection.open(kPipe.c_str()); });
        ASSERT_EQ(result, 0) << lines;
        ASSERT_TRUE(areOpenedLines(lines)) << lines;
    }
    void TearDown() override { connection.close(); }
};

TEST_F(Pipes, WriteReachesThePrinterAndItsAnswerIsRead)
{
    const std::vector<std::uint8_t> block{0x1B, 0x00, 0xFF, 0x0D, 0x0A};
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(connection.write(block.data(), 5), 0); }),
              writtenLines(block, 5));
    EXPECT_EQ(printer.receive(5, 2000), block);

    printer.send({0x41, 0x42, 0x43, 0x44, 0x0D});
    std::uint8_t buffer[256];
    std::memset(buffer, ' ', sizeof buffer);
    std::int32_t result = 0;
    EXPECT_EQ(printedBy([&] { result = connection.read(buffer); }),
              readLines({0x41, 0x42, 0x43, 0x44, 0x0D}));
    EXPECT_EQ(result, 5);
    EXPECT_EQ(buffer[5], ' ');
}

TEST_F(Pipes, FullBlock)
{
    std::vector<std::uint8_t> block(256);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::uint8_t>(255 - i);
    printedBy([&] { EXPECT_EQ(connection.write(block.data(), 256), 0); });
    EXPECT_EQ(printer.receive(256, 2000), block);
}

// The timed-out request is cancelled: an answer that comes later is not
// lost into it but read whole by the next call.
TEST_F(Pipes, TimedOutReadIsWithdrawn)
{
    std::uint8_t buffer[256];
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(connection.read(buffer), -1); }),
              receiveTimeoutLine().text());
    printer.send({0x06});
    std::memset(buffer, 0, sizeof buffer);
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(connection.read(buffer), 1); }), readLines({0x06}));
    EXPECT_EQ(buffer[0], 0x06);
}

// An answer that completes the read as its wait runs out is not cancelled
// away: withdrawing the finished read gives its bytes.
TEST(PipesWithdraw, ReadThatFinishedFirstKeepsItsBytes)
{
    const std::string path = kPipe + "-withdraw";
    PipePrinter printer(path);
    WindowsPlatform platform;
    const Handle pipe = platform.openPipe((path + "\\PIPE01").c_str(), Direction::Read);
    ASSERT_NE(pipe, kInvalidHandle);
    const Event event = platform.createEvent();
    std::uint8_t buffer[256] = {};
    std::uint32_t moved = 0;
    ASSERT_EQ(platform.startRead(pipe, event, buffer, sizeof buffer, moved), Issue::Pending);

    printer.send({0x06});
    ASSERT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(event), 2000), WAIT_OBJECT_0);
    EXPECT_EQ(platform.withdrawRead(pipe, moved), Collect::Done);
    EXPECT_EQ(moved, 1u);
    EXPECT_EQ(buffer[0], 0x06);

    platform.closeEvent(event);
    platform.closePipe(pipe);
}

// What waits in the read pipe is dropped without a read left behind: what
// the printer sends next is the next read's, whole.
TEST(PipesDiscard, DropsWhatWaitsAndLeavesNoReadOutstanding)
{
    const std::string path = kPipe + "-discard";
    PipePrinter printer(path);
    WindowsPlatform platform;
    const Handle pipe = platform.openPipe((path + "\\PIPE01").c_str(), Direction::Read);
    ASSERT_NE(pipe, kInvalidHandle);
    const Event event = platform.createEvent();
    printer.send(std::vector<std::uint8_t>(600, 0x06));
    platform.discardReceived(pipe, event);

    printer.send({'K', '2', '0', '_', 'T'});
    std::uint8_t buffer[256] = {};
    std::uint32_t moved = 0;
    Issue issued = platform.startRead(pipe, event, buffer, sizeof buffer, moved);
    if (issued == Issue::Pending) {
        ASSERT_EQ(platform.waitRead(pipe, event, 2000), Wait::Signalled);
        ASSERT_EQ(platform.finishRead(pipe, moved), Collect::Done);
        issued = Issue::Done;
    }
    EXPECT_EQ(issued, Issue::Done);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), moved), "K20_T");

    platform.closeEvent(event);
    platform.closePipe(pipe);
}

TEST_F(Pipes, InUseCannotBeOpenedTwice)
{
    WindowsPlatform second;
    Connection other(second, kShortTimeoutMs);
    std::int32_t result = 0;
    const std::string lines = printedBy([&] { result = other.open(kPipe.c_str()); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(lines, pipeFailedLines(second.lastError()));
}

TEST_F(Pipes, UnpluggedPrinterFailsEveryLaterCallAtOnce)
{
    printer.unplug();
    const ULONGLONG start = GetTickCount64();
    std::uint8_t buffer[256];
    const std::uint8_t block[3] = {1, 2, 3};
    for (int i = 0; i < 3; ++i) {
        printedBy([&] { EXPECT_EQ(connection.read(buffer), -1); });
        EXPECT_EQ(printedBy([&] { EXPECT_EQ(connection.write(block, 3), -1); }),
                  writeShortLine().text());
    }
    EXPECT_LT(GetTickCount64() - start, 1000u);
}

TEST(PipesMissing, OpenFailsWithThePlatformError)
{
    WindowsPlatform platform;
    Connection connection(platform, kShortTimeoutMs);
    std::int32_t result = 0;
    const std::string lines =
        printedBy([&] { result = connection.open("\\\\.\\pipe\\tavlib-nobody"); });
    EXPECT_EQ(result, -1);
    // Wine answers 2 or 3 depending on the name; the lines agree with each other.
    EXPECT_TRUE(lines == pipeFailedLines(ERROR_FILE_NOT_FOUND) ||
                lines == pipeFailedLines(ERROR_PATH_NOT_FOUND))
        << lines;
    EXPECT_EQ(printedBy([&] { connection.write(nullptr, 0); }), writeWithoutPipeLines());
}

} // namespace
} // namespace fw::usb::test
