// usb_find_devices and usb_device_name over the fake platform: results,
// buffer contents and every diagnostic line.

#include "capture.h"
#include "discovery.h"
#include "expected_lines.h"
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

std::string counted(std::int32_t count)
{
    return deviceCountLine(count).text();
}

INSTANTIATE_TEST_SUITE_P(
    Table, CountDevices,
    testing::Values(
        CountCase{"None", {}, false, Member::End, 0, counted(0)},
        CountCase{"MatchingWithSerial",
                  {id("USB\\VID_0483&PID_7C10\\SER0001")},
                  false,
                  Member::End,
                  1,
                  acceptedLines("USB\\VID_0483&PID_7C10\\SER0001") + counted(1)},
        CountCase{"LowerCaseIsNotCounted",
                  {id("usb\\vid_0483&pid_7c10\\SER0001")},
                  false,
                  Member::End,
                  0,
                  mismatchedLines("usb\\vid_0483&pid_7c10\\SER0001") + counted(0)},
        CountCase{"LowerCaseHexIsNotCounted",
                  {id("USB\\VID_067b&PID_2305\\1")},
                  false,
                  Member::End,
                  0,
                  mismatchedLines("USB\\VID_067b&PID_2305\\1") + counted(0)},
        CountCase{"EveryPrefixRow",
                  {id("USB\\VID_0483&PID_7C10\\A"), id("USB\\VID_0483&PID_7C20\\B"),
                   id("USB\\VID_0483&PID_7C30\\C"), id("USB\\VID_067B&PID_2305\\D")},
                  false,
                  Member::End,
                  4,
                  acceptedLines("USB\\VID_0483&PID_7C10\\A") +
                      acceptedLines("USB\\VID_0483&PID_7C20\\B") +
                      acceptedLines("USB\\VID_0483&PID_7C30\\C") +
                      acceptedLines("USB\\VID_067B&PID_2305\\D") + counted(4)},
        CountCase{"ExactlyTwentyOneCharacters",
                  {id("USB\\VID_067B&PID_2305")},
                  false,
                  Member::End,
                  1,
                  acceptedLines("USB\\VID_067B&PID_2305") + counted(1)},
        CountCase{"ShorterThanAPrefix",
                  {id("USB\\VID_0483&PID_7C1")},
                  false,
                  Member::End,
                  0,
                  mismatchedLines("USB\\VID_0483&PID_7C1") + counted(0)},
        CountCase{"OnlyTheFirst21CharactersCount",
                  {id("USB\\VID_0483&PID_7C30&MI_00\\7&1")},
                  false,
                  Member::End,
                  1,
                  acceptedLines("USB\\VID_0483&PID_7C30&MI_00\\7&1") + counted(1)},
        CountCase{"OtherPrinterBeforeMatching",
                  {id("USB\\VID_04B8&PID_0202\\X"), id("USB\\VID_0483&PID_7C20\\Y")},
                  false,
                  Member::End,
                  1,
                  mismatchedLines("USB\\VID_04B8&PID_0202\\X") +
                      acceptedLines("USB\\VID_0483&PID_7C20\\Y") + counted(1)},
        CountCase{"UnreadableIdIsSkipped",
                  {id("USB\\VID_0483&PID_7C10\\A"), unreadable(), id("USB\\VID_0483&PID_7C10\\B")},
                  false,
                  Member::End,
                  2,
                  acceptedLines("USB\\VID_0483&PID_7C10\\A") + instanceIdUnreadableLine().text() +
                      acceptedLines("USB\\VID_0483&PID_7C10\\B") + counted(2)},
        CountCase{"ListRefused",
                  {id("USB\\VID_0483&PID_7C10\\A")},
                  true,
                  Member::End,
                  -1,
                  linesOf(deviceListRefusedLine(), deviceCountFailedLine())},
        CountCase{"EnumerationEndsWithError",
                  {id("USB\\VID_0483&PID_7C10\\A")},
                  false,
                  Member::Failed,
                  -1,
                  acceptedLines("USB\\VID_0483&PID_7C10\\A") + deviceCountFailedLine().text()}),
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

// The caller's text before the call: the program's 256 blanks.
const std::string kCallerText(256, ' ');

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

    char name[300] = {};
    std::memcpy(name, kCallerText.data(), kCallerText.size());

    std::int32_t result = -1;
    const std::string lines = printedBy([&] { result = findDeviceName(platform, c.index, name); });

    EXPECT_EQ(result, 0);
    EXPECT_EQ(std::string(name), c.expectedName ? std::string(c.expectedName) : kCallerText);
    EXPECT_EQ(lines, c.lines);
    EXPECT_EQ(platform.liveLists(), 0);
}

// Nothing found at `index`: the caller's text is shown.
std::string notFound(std::int32_t index, const std::string& callerText = kCallerText)
{
    return deviceNameLine(index, callerText.c_str()).text();
}

INSTANTIATE_TEST_SUITE_P(
    Table, DeviceName,
    testing::Values(NameCase{"FirstPositionIsTheNonMatchingDevice", 0, false, false, false,
                             "\\\\?\\usb#first", foundLines(0, "\\\\?\\usb#first")},
                    NameCase{"SecondPosition", 1, false, false, false, "\\\\?\\usb#second",
                             foundLines(1, "\\\\?\\usb#second")},
                    NameCase{"InUseStillGivesThePath", 1, false, false, true, "\\\\?\\usb#second",
                             foundInUseLines(1, "\\\\?\\usb#second")},
                    NameCase{"PastTheEnd", 2, false, false, false, nullptr, notFound(2)},
                    NameCase{"FarPastTheEnd", 1000, false, false, false, nullptr, notFound(1000)},
                    NameCase{"Negative", -1, false, false, false, nullptr, notFound(-1)},
                    NameCase{"ListRefused", 0, true, false, false, nullptr, notFound(0)},
                    NameCase{"DetailUnreadable", 1, false, true, false, nullptr, notFound(1)}),
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
            EXPECT_EQ(lines, foundLines(0, path));
        } else {
            EXPECT_EQ(std::string(name.data()), "old");
            EXPECT_EQ(lines, notFound(0, "old"));
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
                  foundLines(0, "/dev/usb/lp0"));
        EXPECT_EQ(printedBy([&] { EXPECT_EQ(findUsbDevice(platform), 1); }),
                  acceptedLines("USB\\VID_0483&PID_7C10\\Y") + counted(1));
    }
    EXPECT_EQ(platform.liveLists(), 0);
}

} // namespace
} // namespace fw::usb::test
