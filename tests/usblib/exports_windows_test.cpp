// TAVLIB.dll through its six exports under Wine, as the program meets it.

#include "capture.h"
#include "expected_lines.h"
#include "tavlib.h"
#include "windows_printers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace fw::usb::test {
namespace {

const std::string kPipe = "\\\\.\\pipe\\tavlib-exports-printer";

struct Exports : testing::Test {
    void SetUp() override { removeAllPrinters(); }
    void TearDown() override
    {
        EXPECT_EQ(usb_close(), 0);
        removeAllPrinters();
    }
};

TEST_F(Exports, DiscoveryThroughTheDll)
{
    registerPrinter("USB\\VID_0483&PID_7C30\\A1");
    const std::string second = registerPrinter("USB\\VID_067B&PID_2305\\B2");
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_find_devices(), 2); }),
              acceptedLines("USB\\VID_0483&PID_7C30\\A1") +
                  acceptedLines("USB\\VID_067B&PID_2305\\B2") + deviceCountLine(2).text());

    char name[257];
    std::memset(name, ' ', 256);
    name[256] = '\0';
    EXPECT_EQ(usb_device_name(1, name), 0);
    EXPECT_EQ(std::string(name), second);
}

TEST_F(Exports, TransferThroughTheDll)
{
    PipePrinter printer(kPipe);
    ASSERT_EQ(usb_open(kPipe.c_str()), 0);
    const std::uint8_t query[10] = {0x1B, 0x40, 0x1D, 0x49, 0x01, 0x00, 0x00, 0x00, 0x00, 0x0D};
    EXPECT_EQ(usb_write(query, 10), 0);
    EXPECT_EQ(printer.receive(10, 2000), std::vector<std::uint8_t>(query, query + 10));

    printer.send({0x06});
    std::uint8_t answer[256];
    std::memset(answer, ' ', sizeof answer);
    EXPECT_EQ(usb_read(answer), 1);
    EXPECT_EQ(answer[0], 0x06);
    EXPECT_EQ(answer[1], ' ');

    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_read(answer), -1); }), receiveTimeoutLine().text());
    const ULONGLONG waited = GetTickCount64() - start;
    EXPECT_GE(waited + 20, static_cast<ULONGLONG>(TAVLIB_RECEIVE_TIMEOUT_MS));
    EXPECT_LT(waited, static_cast<ULONGLONG>(TAVLIB_RECEIVE_TIMEOUT_MS + 1000));
}

TEST_F(Exports, BlankPathFromNoPrinterFailsCleanly)
{
    char blanks[257];
    std::memset(blanks, ' ', 256);
    blanks[256] = '\0';
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_open(blanks), -1); }),
              pipeFailedLines(ERROR_FILENAME_EXCED_RANGE));
    const std::uint8_t byte = 0x06;
    EXPECT_EQ(printedBy([&] { EXPECT_EQ(usb_write(&byte, -1), -1); }), "");
}

} // namespace
} // namespace fw::usb::test
