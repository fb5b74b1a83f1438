// usb_find_devices and usb_device_name over the fake platform: results,
// buffer contents and every diagnostic line.

#include "capture.h"
#include "discovery.h"
#include "fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace fw::usb::test {
namespace {

FakeDevice id(const char* instanceId)
{
    return {std::string(instanceId), std::string("/dev/usb/lp0"), true};
}
FakeDevice unreadable()
{
    return {std::nullopt, std::string("/dev/usb/lp0"), true};
}

struct CountCase {
    const char* name;
    std::vector<FakeDevice> devices;
    bool refuse;
    Member enumerationEnd;
    std::int32_t result;
    std::string lines;
};

class CountDevices : public testing::TestWithParam<CountCase> {};

TEST_P(CountDevices, CountsAcceptedPrefixesAndPrintsEachDevice)
{
    const CountCase& c = GetParam();
    FakePlatform platform;
    platform.printers = c.devices;
    platform.refuseList = c.refuse;
    platform.enumerationEnd = c.enumerationEnd;

    std::int32_t result = 0;
    const std::string lines = printedBy([&] { result = findUsbDevice(platform); });

    EXPECT_EQ(result, c.result);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(platform.liveLists(), 0) << "the device list must be released";
}

INSTANTIATE_TEST_SUITE_P(
    Table, CountDevices,
    testing::Values(
        CountCase{"None", {}, false, Member::End, 0, "nCount = 0 \n"},
        CountCase{"MatchingWithSerial",
                  {id("USB\\VID_0483&PID_7C10\\SER0001")},
                  false,
                  Member::End,
                  1,
                  "devid = USB\\VID_0483&PID_7C10\\SER0001 \nnCount = 1 \n"},
        CountCase{"LowerCaseIsNotCounted",
                  {id("usb\\vid_0483&pid_7c10\\SER0001")},
                  false,
                  Member::End,
                  0,
                  "devid = usb\\vid_0483&pid_7c10\\SER0001 \nMismatch !!! \nnCount = 0 \n"},
        CountCase{"LowerCaseHexIsNotCounted",
                  {id("USB\\VID_067b&PID_2305\\1")},
                  false,
                  Member::End,
                  0,
                  "devid = USB\\VID_067b&PID_2305\\1 \nMismatch !!! \nnCount = 0 \n"},
        CountCase{"EveryPrefixRow",
                  {id("USB\\VID_0483&PID_7C10\\A"), id("USB\\VID_0483&PID_7C20\\B"),
                   id("USB\\VID_0483&PID_7C30\\C"), id("USB\\VID_067B&PID_2305\\D")},
                  false,
                  Member::End,
                  4,
                  "devid = USB\\VID_0483&PID_7C10\\A \ndevid = USB\\VID_0483&PID_7C20\\B \n"
                  "devid = USB\\VID_0483&PID_7C30\\C \ndevid = USB\\VID_067B&PID_2305\\D \nnCount "
                  "= 4 \n"},
        CountCase{"ExactlyTwentyOneCharacters",
                  {id("USB\\VID_067B&PID_2305")},
                  false,
                  Member::End,
                  1,
                  "devid = USB\\VID_067B&PID_2305 \nnCount = 1 \n"},
        CountCase{"ShorterThanAPrefix",
                  {id("USB\\VID_0483&PID_7C1")},
                  false,
                  Member::End,
                  0,
                  "devid = USB\\VID_0483&PID_7C1 \nMismatch !!! \nnCount = 0 \n"},
        CountCase{"OnlyTheFirst21CharactersCount",
                  {id("USB\\VID_0483&PID_7C30&MI_00\\7&1")},
                  false,
                  Member::End,
                  1,
                  "devid = USB\\VID_0483&PID_7C30&MI_00\\7&1 \nnCount = 1 \n"},
        CountCase{"OtherPrinterBeforeMatching",
                  {id("USB\\VID_04B8&PID_0202\\X"), id("USB\\VID_0483&PID_7C20\\Y")},
                  false,
                  Member::End,
                  1,
                  "devid = USB\\VID_04B8&PID_0202\\X \nMismatch !!! \ndevid = "
                  "USB\\VID_0483&PID_7C20\\Y \n"
                  "nCount = 1 \n"},
        CountCase{"UnreadableIdIsSkipped",
                  {id("USB\\VID_0483&PID_7C10\\A"), unreadable(), id("USB\\VID_0483&PID_7C10\\B")},
                  false,
                  Member::End,
                  2,
                  "devid = USB\\VID_0483&PID_7C10\\A \n>>SetupDiGetDeviceInstanceId error<<\n"
                  "devid = USB\\VID_0483&PID_7C10\\B \nnCount = 2 \n"},
        CountCase{"ListRefused",
                  {id("USB\\VID_0483&PID_7C10\\A")},
                  true,
                  Member::End,
                  -1,
                  "SetupDiGetClassDevs error \nFindUsbDevice() ERR = -1 \n"},
        CountCase{"EnumerationEndsWithError",
                  {id("USB\\VID_0483&PID_7C10\\A")},
                  false,
                  Member::Failed,
                  -1,
                  "devid = USB\\VID_0483&PID_7C10\\A \nFindUsbDevice() ERR = -1 \n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct NameCase {
    const char* name;
    std::int32_t index;
    bool refuse;
    bool secondUnreadable;
    bool secondInUse;
    const char* expectedName; // nullptr: the caller's text is kept
    std::string lines;
};

class DeviceName : public testing::TestWithParam<NameCase> {};

// Two printer-class devices: the first matches no prefix, the second does.
TEST_P(DeviceName, GivesThePathAtAPositionCountingEveryPrinter)
{
    const NameCase& c = GetParam();
    FakePlatform platform;
    platform.printers = {
        {std::string("USB\\VID_04B8&PID_0202\\X"), std::string("\\\\?\\usb#first"), true},
        {std::string("USB\\VID_0483&PID_7C10\\Y"), std::string("\\\\?\\usb#second"),
         !c.secondInUse}};
    if (c.secondUnreadable)
        platform.printers[1].path.reset();
    platform.refuseList = c.refuse;

    char name[300];
    std::memset(name, ' ', 256);
    std::memset(name + 256, 0, sizeof name - 256);
    const std::string before(name);

    std::int32_t result = -1;
    const std::string lines = printedBy([&] { result = findDeviceName(platform, c.index, name); });

    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(name), c.expectedName ? std::string(c.expectedName) : before);
    std::string expected = c.lines;
    const std::size_t hole = expected.find("%s");
    if (hole != std::string::npos)
        expected.replace(hole, 2, before);
    EXPECT_EQ(lines, expected);
    EXPECT_EQ(platform.liveLists(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceName,
    testing::Values(
        NameCase{"FirstPositionIsTheNonMatchingDevice", 0, false, false, false, "\\\\?\\usb#first",
                 "Attempting to open \\\\?\\usb#first\nusb_device_name(0) = \\\\?\\usb#first \n"},
        NameCase{"SecondPosition", 1, false, false, false, "\\\\?\\usb#second",
                 "Attempting to open \\\\?\\usb#second\nusb_device_name(1) = \\\\?\\usb#second \n"},
        NameCase{"InUseStillGivesThePath", 1, false, false, true, "\\\\?\\usb#second",
                 "Attempting to open \\\\?\\usb#second\nFAILED to open \\\\?\\usb#second\n"
                 "usb_device_name(1) = \\\\?\\usb#second \n"},
        NameCase{"PastTheEnd", 2, false, false, false, nullptr, "usb_device_name(2) = %s \n"},
        NameCase{"FarPastTheEnd", 1000, false, false, false, nullptr,
                 "usb_device_name(1000) = %s \n"},
        NameCase{"Negative", -1, false, false, false, nullptr, "usb_device_name(-1) = %s \n"},
        NameCase{"ListRefused", 0, true, false, false, nullptr, "usb_device_name(0) = %s \n"},
        NameCase{"DetailUnreadable", 1, false, true, false, nullptr, "usb_device_name(1) = %s \n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The caller provides 256 bytes and a terminator: a longer path is refused
// rather than written past them.
TEST(DeviceNameLength, PathOf256FitsAndLongerLeavesTheBufferAlone)
{
    for (const std::size_t length : {255u, 256u, 257u, 400u}) {
        SCOPED_TRACE(length);
        FakePlatform platform;
        const std::string path(length, 'p');
        platform.printers = {{std::string("USB\\VID_0483&PID_7C10\\Y"), path, true}};

        std::vector<char> name(600, '#');
        std::memcpy(name.data(), "old", 4);
        std::string lines = printedBy([&] { findDeviceName(platform, 0, name.data()); });

        if (length <= 256) {
            EXPECT_EQ(std::string(name.data()), path);
            EXPECT_EQ(lines,
                      "Attempting to open " + path + "\nusb_device_name(0) = " + path + " \n");
        } else {
            EXPECT_EQ(std::string(name.data()), "old");
            EXPECT_EQ(lines, "usb_device_name(0) = old \n");
        }
        EXPECT_EQ(name[257], '#') << "nothing past the caller's 257 bytes";
    }
}

TEST(DeviceNameRepeated, GivesTheSameAnswerEachTime)
{
    FakePlatform platform;
    platform.printers = {
        {std::string("USB\\VID_0483&PID_7C10\\Y"), std::string("/dev/usb/lp0"), true}};
    for (int round = 0; round < 3; ++round) {
        char name[257] = "x";
        EXPECT_EQ(printedBy([&] { findDeviceName(platform, 0, name); }),
                  "Attempting to open /dev/usb/lp0\nusb_device_name(0) = /dev/usb/lp0 \n");
        EXPECT_EQ(printedBy([&] { EXPECT_EQ(findUsbDevice(platform), 1); }),
                  "devid = USB\\VID_0483&PID_7C10\\Y \nnCount = 1 \n");
    }
    EXPECT_EQ(platform.liveLists(), 0);
}

} // namespace
} // namespace fw::usb::test
