// The diagnostic lines byte for byte: programs and scripts read them, so
// this table is the one place their texts are spelled out. Each line must
// print exactly these bytes to standard output and give them as its text.

#include "capture.h"
#include "diagnostics.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace fw::usb::test {
namespace {

struct GoldenCase {
    const char* name;
    std::function<void()> print;
    std::function<std::string()> text;
    std::string bytes;
};

// A case for the line that `make` returns for `values`.
template <typename Make, typename... Values>
GoldenCase golden(const char* name, std::string bytes, Make make, Values... values)
{
    return {name, [=] { make(values...).print(); }, [=] { return make(values...).text(); },
            std::move(bytes)};
}

void PrintTo(const GoldenCase& c, std::ostream* out)
{
    *out << c.name;
}

class Golden : public testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, PrintsAndGivesExactlyItsBytes)
{
    const GoldenCase& c = GetParam();
    EXPECT_EQ(printedBy(c.print), c.bytes);
    EXPECT_EQ(c.text(), c.bytes);
}

// What a caller left in its buffer is shown whole, however long.
const std::string kLongCallerText(300, 'n');
const std::string kBlanks(256, ' ');

const std::vector<std::uint8_t> kEveryByte = [] {
    std::vector<std::uint8_t> data(256);
    std::iota(data.begin(), data.end(), std::uint8_t{0});
    return data;
}();

// Every byte value as an item, upper-case digits, then the line's end.
std::string everyByteDump()
{
    const char* const digits = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 256; ++i)
        text += std::string("[0x") + digits[i / 16] + digits[i % 16] + "]";
    return text + "\n";
}

const std::uint8_t kRecord[] = {0x1B, 0x0A, 0xFF, 0x00};

INSTANTIATE_TEST_SUITE_P(
    Table, Golden,
    testing::Values(
        golden("DeviceListRefused", "SetupDiGetClassDevs error \n", deviceListRefusedLine),
        golden("InstanceIdUnreadable", ">>SetupDiGetDeviceInstanceId error<<\n",
               instanceIdUnreadableLine),
        golden("InstanceId", "devid = USB\\VID_0483&PID_7C10\\SER0001 \n", instanceIdLine,
               "USB\\VID_0483&PID_7C10\\SER0001"),
        golden("EmptyInstanceId", "devid =  \n", instanceIdLine, ""),
        golden("PrefixMismatch", "Mismatch !!! \n", prefixMismatchLine),
        golden("NoDevice", "nCount = 0 \n", deviceCountLine, 0),
        golden("DeviceCount", "nCount = 12 \n", deviceCountLine, 12),
        golden("DeviceCountFailed", "FindUsbDevice() ERR = -1 \n", deviceCountFailedLine),
        golden("OpeningDevice", "Attempting to open \\\\?\\usb#vid_0483#7&1\n", openingDeviceLine,
               "\\\\?\\usb#vid_0483#7&1"),
        golden("DeviceOpenFailed", "FAILED to open /dev/usb/lp0\n", deviceOpenFailedLine,
               "/dev/usb/lp0"),
        golden("DeviceName", "usb_device_name(1) = /dev/usb/lp0 \n", deviceNameLine, 1,
               "/dev/usb/lp0"),
        golden("DeviceNameNegative", "usb_device_name(-1) = caller \n", deviceNameLine, -1,
               "caller"),
        golden("DeviceNameBlanks", "usb_device_name(1000) = " + kBlanks + " \n", deviceNameLine,
               1000, kBlanks.c_str()),
        golden("DeviceNameLongCallerText", "usb_device_name(2) = " + kLongCallerText + " \n",
               deviceNameLine, 2, kLongCallerText.c_str()),
        golden("ReadEvent", "m_osRead.hEvent  = (1a4) \n", readEventLine, 0x1a4),
        golden("WriteEvent", "m_osWrite.hEvent = (1a5) \n", writeEventLine, 0x1a5),
        golden("EventInLowerCase", "m_osWrite.hEvent = (abcdef) \n", writeEventLine, 0xABCDEF),
        golden("LastError", "GetLastError() Err = 2 \n", lastErrorLine, 2),
        golden("LastErrorAbove16Bits", "GetLastError() Err = 109517 \n", lastErrorLine, 0x0001ABCD),
        golden("LastErrorSigned", "GetLastError() Err = -1 \n", lastErrorLine, 0xFFFFFFFF),
        golden("OpenFailedTwoDigits", "usb_Open() ERR = 0x02 \n", openFailedLine, 2),
        golden("OpenFailedInLowerCase", "usb_Open() ERR = 0xce \n", openFailedLine, 206),
        golden("OpenFailedWidened", "usb_Open() ERR = 0xffff8010 \n", openFailedLine,
               kStatusDriverError),
        golden("OpenFailedBit15Widened", "usb_Open() ERR = 0xffffabcd \n", openFailedLine,
               static_cast<Status>(0xABCD)),
        golden("OpenFailedIoError", "usb_Open() ERR = 0xffffffff \n", openFailedLine,
               kStatusIoError),
        golden("NoWritePipe", "m_hPipeOut Invalid Handle \n", noWritePipeLine),
        golden("NotInitialized", "FC_NOT_INITIALIZED \n", notInitializedLine),
        golden("NoWriteEvent", "FC_DRIVER_ERROR (hEvent = Null) \n", noWriteEventLine),
        golden("WriteIncomplete", "IO ERROR_IO_INCOMPLETE...\n", writeIncompleteLine),
        golden("WriteFailedNoPipe", "-E- Write operation to device failed (Err = 0xffff8000) \n",
               writeFailedLine, kStatusInvalidHandle),
        golden("WriteFailedNotInitialized",
               "-E- Write operation to device failed (Err = 0xffff8080) \n", writeFailedLine,
               kStatusNotInitialized),
        golden("WriteFailedNoEvent", "-E- Write operation to device failed (Err = 0xffff8010) \n",
               writeFailedLine, kStatusDriverError),
        golden("WriteShort", "-E- Write operation to device failed\n", writeShortLine),
        golden("Written", "write length = 3 (3) \n", writtenLine, 3, 3),
        golden("WrittenNothing", "write length = 0 (30) \n", writtenLine, 0, 30),
        golden("WrittenFullBlock", "write length = 256 (1280) \n", writtenLine, 256, 1280),
        golden("ReceiveTimeout", "receive time over \n", receiveTimeoutLine),
        golden("ReadLength", "read length = 5 \n", readLengthLine, 5),
        golden("ReadFullBlock", "read length = 256 \n", readLengthLine, 256),
        golden("EmptyByteDump", "\n", byteDumpLine, kRecord, 0),
        golden("ByteDumpInUpperCase", "[0x1B][0x0A][0xFF][0x00]\n", byteDumpLine, kRecord, 4),
        golden("ByteDumpOfEveryByte", everyByteDump(), byteDumpLine, kEveryByte.data(),
               kEveryByte.size())),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace fw::usb::test
