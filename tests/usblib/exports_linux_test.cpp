// libTAVLIB.so through its six exports against umockdev printers, as the
// program meets it.

#include "capture.h"
#include "expected_lines.h"
#include "tavlib.h"
#include "usb_testbed.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

namespace {

using fw::test::UsbTestbed;
using namespace fw::usb;
using namespace fw::usb::test;

struct Exports : testing::Test {
    UsbTestbed bed;
    int other = -1;
    int printer = -1;

    void SetUp() override
    {
        other = bed.addPrinter({0x1234, 0x5678, "X1"});
        printer = bed.addPrinter({0x067B, 0x2305, "A9"});
    }
    void TearDown() override { EXPECT_EQ(usb_close(), 0); }
};

TEST_F(Exports, ProgramSequence)
{
    std::int32_t result = -2;
    EXPECT_EQ(printedBy([&] { result = usb_find_devices(); }),
              mismatchedLines("USB\\VID_1234&PID_5678\\X1") +
                  acceptedLines("USB\\VID_067B&PID_2305\\A9") + deviceCountLine(1).text());
    EXPECT_EQ(result, 1);

    // The program's 256 blanks and a terminator.
    char name[257];
    std::memset(name, ' ', 256);
    name[256] = '\0';
    EXPECT_EQ(usb_device_name(1, name), 0);
    EXPECT_EQ(std::string(name), bed.devicePath(printer));

    const std::string opened = printedBy([&] { result = usb_open(name); });
    EXPECT_TRUE(areOpenedLines(opened)) << opened;
    ASSERT_EQ(result, 0);

    const std::uint8_t record[] = {'S', '0', '1', 0x0D};
    EXPECT_EQ(printedBy([&] { result = usb_write(record, 4); }),
              writtenLines(std::vector<std::uint8_t>(record, record + 4), 4));
    EXPECT_EQ(result, 0);
    EXPECT_EQ(bed.receive(printer, 4, 2000), std::vector<std::uint8_t>(record, record + 4));

    bed.send(printer, {0x06});
    std::uint8_t answer[256];
    std::memset(answer, ' ', sizeof answer);
    EXPECT_EQ(usb_read(answer), 1);
    EXPECT_EQ(answer[0], 0x06);
    EXPECT_EQ(answer[1], ' ');
}

// Acknowledgements an earlier session never read, or that came after it gave
// up, must not be taken for the answer to what this session writes.
TEST_F(Exports, OpenDropsWhatThePrinterSentBeforeIt)
{
    char name[257] = {};
    usb_device_name(1, name);
    bed.send(printer, std::vector<std::uint8_t>(600, 0x06));
    ASSERT_EQ(usb_open(name), 0);
    bed.send(printer, {'K', '2', '0', '_', 'T'});
    std::uint8_t answer[256];
    EXPECT_EQ(usb_read(answer), 5);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(answer), 5), "K20_T");
}

TEST_F(Exports, ReadTimeOutIsBounded)
{
    char name[257] = {};
    usb_device_name(1, name);
    ASSERT_EQ(usb_open(name), 0);
    std::uint8_t answer[256];
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_read(answer), -1); }), receiveTimeoutLine().text());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(TAVLIB_RECEIVE_TIMEOUT_MS));
    EXPECT_LT(waited, std::chrono::milliseconds(TAVLIB_RECEIVE_TIMEOUT_MS + 1000));
}

TEST_F(Exports, BlankPathFromNoPrinterFailsCleanly)
{
    char blanks[257];
    std::memset(blanks, ' ', 256);
    blanks[256] = '\0';
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_open(blanks), -1); }), pipeFailedLines(ENAMETOOLONG));
    const std::uint8_t byte = 0x06;
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_write(&byte, 1), -1); }), writeWithoutPipeLines());
}

TEST_F(Exports, LengthsOutsideABlockAreRefused)
{
    char name[257] = {};
    usb_device_name(1, name);
    ASSERT_EQ(usb_open(name), 0);
    std::vector<std::uint8_t> big(300, 0x55);
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_write(big.data(), 257), -1); }), "");
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_write(big.data(), -5), -1); }), "");
    EXPECT_EQ(bed.receive(printer, 1, 50).size(), 0u);
}

} // namespace
