// The six exports' calls over the fake platform: a platform that runs out of
// memory gives the call's failure result, never an exception (the caller is
// C), and leaves the library usable.

#include "capture.h"
#include "expected_lines.h"
#include "fake_platform.h"
#include "library.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace fw::usb::test {
namespace {

enum class Call { FindDevices, DeviceName, Open, Write, Read, Close };

struct OutOfMemoryCase {
    const char* name;
    Call call;
    const char* in; // the platform call that runs out of memory
    int after;      // times it succeeds first
    std::int32_t result;
    std::string lines;
    std::size_t pipesLeftOpen;
};

class OutOfMemory : public testing::TestWithParam<OutOfMemoryCase> {};

const char* const kPath = "\\\\?\\usb#printer";

TEST_P(OutOfMemory, FailsTheCallAndNothingEscapes)
{
    const OutOfMemoryCase& c = GetParam();
    FakePlatform platform;
    platform.printers = {{"USB\\VID_0483&PID_7C10\\1", kPath}};
    Library library(platform, 5);
    std::int32_t result = -2;
    if (c.call == Call::Write || c.call == Call::Read || c.call == Call::Close) {
        printedBy([&] { result = library.open(kPath); });
        ASSERT_EQ(result, 0);
    }
    platform.outOfMemoryIn = c.in;
    platform.outOfMemoryAfter = c.after;

    char name[257] = "caller";
    const std::uint8_t block[3] = {1, 2, 3};
    std::uint8_t buffer[256];
    const std::string lines = printedBy([&] {
        switch (c.call) {
        case Call::FindDevices: result = library.findDevices(); break;
        case Call::DeviceName: result = library.deviceName(0, name); break;
        case Call::Open: result = library.open(kPath); break;
        case Call::Write: result = library.write(block, 3); break;
        case Call::Read: result = library.read(buffer); break;
        case Call::Close: result = library.close(); break;
        }
    });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(lines, c.lines);
    EXPECT_STREQ(name, "caller");
    EXPECT_EQ(platform.liveLists(), 0);
    EXPECT_EQ(platform.openPipes(), c.pipesLeftOpen);

    platform.outOfMemoryIn.clear();
    printedBy([&] { result = library.open(kPath); });
    EXPECT_EQ(result, 0) << "the library must stay usable";
    EXPECT_EQ(platform.openPipes(), 2u);
    library.close();
}

INSTANTIATE_TEST_SUITE_P(
    Table, OutOfMemory,
    testing::Values(OutOfMemoryCase{"FindDevicesList", Call::FindDevices, "devices", 0, -1,
                                    deviceCountFailedLine().text(), 0},
                    OutOfMemoryCase{"DeviceNameList", Call::DeviceName, "devices", 0, 0,
                                    deviceNameLine(0, "caller").text(), 0},
                    OutOfMemoryCase{"DeviceNamePath", Call::DeviceName, "interfacePath", 0, 0,
                                    deviceNameLine(0, "caller").text(), 0},
                    OutOfMemoryCase{"OpenReadPipe", Call::Open, "openPipe", 0, -1, "", 0},
                    OutOfMemoryCase{"OpenWritePipe", Call::Open, "openPipe", 1, -1, "", 0},
                    OutOfMemoryCase{"Write", Call::Write, "startWrite", 0, -1, "", 2},
                    OutOfMemoryCase{"Read", Call::Read, "startRead", 0, -1, "", 2},
                    OutOfMemoryCase{"Close", Call::Close, "closePipe", 0, 0, "", 2}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace fw::usb::test
