// The USB channel and the TAVLIB binding against the stand-in library, which
// records its calls, against a library without the exports, and against no
// library at all.

#include "channels/tavlib_binding.h"
#include "channels/usb_channel.h"
#include "standin_control.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fw {
namespace {

namespace fs = std::filesystem;
using test::StandinTavlib;

ChannelSettings usbAt(const std::string& device)
{
    return ChannelSettings{0, {}, device, ""};
}

// A program folder of its own, removed afterwards.
class Folder {
public:
    Folder()
    {
        char t[] = "/tmp/fwusb.XXXXXX";
        if (::mkdtemp(t))
            path_ = t;
    }
    ~Folder()
    {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const std::string& str() const { return path_; }
    void link(const std::string& target) const
    {
        fs::create_symlink(target, path_ + "/libTAVLIB.so");
    }

private:
    std::string path_;
};

TEST(TavlibBindingTest, LoadsTheLibraryAtTheFirstCallNotBefore)
{
    // The library appears in the folder after the binding was made: only a
    // binding that waits for the first call finds it.
    Folder folder;
    TavlibBinding binding(folder.str());
    folder.link(StandinTavlib::file());
    StandinTavlib standin;
    standin.setPrinters(3);
    const Result<std::int32_t> r = binding.findDevices();
    ASSERT_TRUE(r.ok()) << r.error();
    EXPECT_EQ(*r, 3);
}

TEST(TavlibBindingTest, MissingLibraryIsReportedByNameOnEveryCall)
{
    TavlibBinding binding("/nonexistent-folder");
    UsbChannel usb(binding);
    const Result<> open = usb.open(usbAt("/dev/usb/lp0"));
    ASSERT_TRUE(open.failed());
    EXPECT_NE(open.error().find("libTAVLIB.so"), std::string::npos) << open.error();
    EXPECT_FALSE(usb.isOpen());
    EXPECT_TRUE(usb.write(std::vector<std::uint8_t>{1, 2}).failed());
    std::vector<std::uint8_t> bytes{9};
    EXPECT_TRUE(usb.read(bytes).failed());
    EXPECT_TRUE(bytes.empty());
    usb.close(); // reported nowhere, and no crash
    const Result<std::int32_t> find = binding.findDevices();
    EXPECT_TRUE(find.failed());
    EXPECT_EQ(find.error(), open.error()) << "the same cause each time";
}

TEST(TavlibBindingTest, LibraryWithoutTheExportsNamesTheMissingOne)
{
    // libTAVLIB.so beside the program is some other library.
    const std::string other = test::systemLibraryOf("libm.so.6", "cos");
    ASSERT_FALSE(other.empty());
    Folder folder;
    folder.link(other);
    TavlibBinding binding(folder.str());

    char name[UsbLibrary::kNameSize + 1] = "unchanged";
    std::uint8_t buffer[UsbLibrary::kReadSize] = {};
    const std::pair<const char*, Result<std::int32_t>> calls[] = {
        {"usb_close", binding.close()},
        {"usb_find_devices", binding.findDevices()},
        {"usb_device_name", binding.deviceName(0, name)},
        {"usb_open", binding.open("/dev/usb/lp0")},
        {"usb_write", binding.write(buffer, 1)},
        {"usb_read", binding.read(buffer)},
    };
    for (const auto& [fn, r] : calls) {
        ASSERT_TRUE(r.failed()) << fn;
        EXPECT_NE(r.error().find(std::string("has no function ") + fn + ":"), std::string::npos)
            << r.error();
    }
    EXPECT_STREQ(name, "unchanged");
}

class UsbChannelTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(fake.error(), ""); }
    std::string log() const { return fake.log(); }

    StandinTavlib fake; // reset for each test
    TavlibBinding binding{StandinTavlib::folder()};
    UsbChannel usb{binding};
};

TEST_F(UsbChannelTest, OpenPassesTheDevicePathUpToItsNul)
{
    struct Case {
        std::string device;
        std::string seen;
    };
    const std::string longPath(300, 'x');
    const Case cases[] = {
        {"/dev/usb/lp0", "/dev/usb/lp0"},
        {std::string("/dev/usb/lp1\0   ", 16), "/dev/usb/lp1"}, // the 256-character form
        {longPath, std::string(256, 'x')},                      // the program's buffer holds 256
        {"", ""},
    };
    for (const auto& c : cases) {
        fake.reset();
        EXPECT_TRUE(usb.open(usbAt(c.device)).ok());
        EXPECT_EQ(log(), "usb_open(" + c.seen + ")\n");
    }
}

TEST_F(UsbChannelTest, ResultMinusOneIsRefusedQuietlyAndNothingElseIs)
{
    for (const std::int32_t result : {0, 5, -2, -1}) {
        fake.setResult(StandinTavlib::Open, result);
        fake.setResult(StandinTavlib::Write, result);
        const Result<> open = usb.open(usbAt("/dev/usb/lp0"));
        const Result<> write = usb.write(std::vector<std::uint8_t>{0x01, '9', '7'});
        EXPECT_EQ(open.refused(), result == -1) << result;
        EXPECT_EQ(open.ok(), result != -1) << result;
        EXPECT_EQ(usb.isOpen(), result != -1) << result;
        EXPECT_EQ(write.refused(), result == -1) << result;
        EXPECT_EQ(write.ok(), result != -1) << result;
        EXPECT_TRUE(open.error().empty() && write.error().empty()) << "nothing to report";
    }
}

TEST_F(UsbChannelTest, WritesTheBytesAsTheyAreAndLeavesLongDataToTheLibrary)
{
    const std::vector<std::uint8_t> query{0x01, 0x39, 0x37, 0x02, 0x30,
                                          0x31, 0x31, 0x03, 0x36, 0x45};
    EXPECT_TRUE(usb.write(query).ok());
    EXPECT_EQ(log(), "usb_write(10:" + std::string(query.begin(), query.end()) + ")\n");

    fake.reset();
    const std::vector<std::uint8_t> record(300, 'A');
    EXPECT_TRUE(usb.write(record).refused());
    EXPECT_EQ(log(), "usb_write(300:" + std::string(300, 'A') + ")\n");
}

TEST_F(UsbChannelTest, ReadGivesTheFirstNBytesOfABlankBuffer)
{
    std::vector<std::uint8_t> full(256);
    for (int i = 0; i < 256; ++i)
        full[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    struct Case {
        std::int32_t count;
        std::size_t expected;
    };
    const Case cases[] = {{5, 5}, {1, 1}, {256, 256}, {0, 0}, {-1, 0}, {-5, 0}, {1000, 256}};
    for (const auto& c : cases) {
        fake.setReply(full, c.count);
        std::vector<std::uint8_t> bytes{0xEE};
        EXPECT_TRUE(usb.read(bytes).ok()) << c.count;
        EXPECT_TRUE(fake.readBufferWasBlank()) << c.count;
        ASSERT_EQ(bytes.size(), c.expected) << c.count;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), full.begin())) << c.count;
    }
    // A reply shorter than the count shows the blanks the buffer was filled with.
    fake.setReply({0x06}, 3);
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(usb.read(bytes).ok());
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x06, ' ', ' '}));
}

TEST_F(UsbChannelTest, CloseCallsTheLibraryEvenWithoutAnOpen)
{
    usb.close();
    fake.setResult(StandinTavlib::Open, -1);
    EXPECT_TRUE(usb.open(usbAt("/dev/usb/lp0")).refused());
    usb.close();
    EXPECT_EQ(log(), "usb_close()\nusb_open(/dev/usb/lp0)\nusb_close()\n");
    EXPECT_FALSE(usb.isOpen());
}

} // namespace
} // namespace fw
