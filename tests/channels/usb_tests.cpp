// The USB channel and the TAVLIB binding against a stand-in library that
// records its calls, and against no library at all.

#include "session/tavlib_binding.h"
#include "session/usb_channel.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <string>
#include <vector>

namespace fw {
namespace {

const std::string kFakeDir = FAKE_TAVLIB_DIR;
const std::string kNoCloseDir = FAKE_TAVLIB_NO_CLOSE_DIR;

// The stand-in's controls, reached in the copy the binding loaded.
struct FakeControls {
    void* handle = nullptr;
    void (*reset)() = nullptr;
    void (*setResult)(int, std::int32_t) = nullptr;
    void (*setReply)(const std::uint8_t*, std::int32_t, std::int32_t) = nullptr;
    const char* (*log)() = nullptr;
    int (*readBufferWasBlank)() = nullptr;

    explicit FakeControls(const std::string& dir) {
        handle = ::dlopen((dir + "/libTAVLIB.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!handle) return;
        reset = reinterpret_cast<void (*)()>(::dlsym(handle, "fake_tavlib_reset"));
        setResult = reinterpret_cast<void (*)(int, std::int32_t)>(::dlsym(handle, "fake_tavlib_set_result"));
        setReply = reinterpret_cast<void (*)(const std::uint8_t*, std::int32_t, std::int32_t)>(
            ::dlsym(handle, "fake_tavlib_set_reply"));
        log = reinterpret_cast<const char* (*)()>(::dlsym(handle, "fake_tavlib_log"));
        readBufferWasBlank = reinterpret_cast<int (*)()>(::dlsym(handle, "fake_tavlib_read_buffer_was_blank"));
    }
    ~FakeControls() {
        if (handle) ::dlclose(handle);
    }
};
enum { FindDevices, DeviceName, Open, Write, Read, Close };

class UsbChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The first call loads the library; the controls come from that copy.
        usb.close();
        fake = std::make_unique<FakeControls>(kFakeDir);
        ASSERT_NE(fake->handle, nullptr) << "the binding did not load " << kFakeDir;
        fake->reset();
    }
    std::string log() const { return fake->log(); }

    TavlibBinding binding{kFakeDir};
    UsbChannel usb{binding};
    std::unique_ptr<FakeControls> fake;
};

TEST(TavlibBindingTest, LoadsNothingBeforeTheFirstCall) {
    TavlibBinding binding(kNoCloseDir);
    EXPECT_EQ(::dlopen((kNoCloseDir + "/libTAVLIB.so").c_str(), RTLD_NOW | RTLD_NOLOAD), nullptr);
    EXPECT_TRUE(binding.findDevices().loaded());
    void* h = ::dlopen((kNoCloseDir + "/libTAVLIB.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
    EXPECT_NE(h, nullptr);
    if (h) ::dlclose(h);
}

TEST(TavlibBindingTest, MissingLibraryIsReportedByNameOnEveryCall) {
    TavlibBinding binding("/nonexistent-folder");
    UsbChannel usb(binding);
    const auto status = usb.open(ChannelConfig{0, "", "/dev/usb/lp0", ""});
    ASSERT_TRUE(status.failed());
    EXPECT_NE(status.error.find("libTAVLIB.so"), std::string::npos) << status.error;
    EXPECT_TRUE(usb.write(std::vector<std::uint8_t>{1, 2}).failed());
    std::vector<std::uint8_t> bytes{9};
    EXPECT_TRUE(usb.read(bytes).failed());
    EXPECT_TRUE(bytes.empty());
    usb.close(); // reported nowhere, and no crash
    const UsbCall call = binding.findDevices();
    EXPECT_FALSE(call.loaded());
    EXPECT_NE(call.error.find("libTAVLIB.so"), std::string::npos);
}

TEST(TavlibBindingTest, MissingExportFailsOnlyThatCallAndNamesIt) {
    TavlibBinding binding(kNoCloseDir);
    const UsbCall close = binding.close();
    EXPECT_FALSE(close.loaded());
    EXPECT_NE(close.error.find("usb_close"), std::string::npos) << close.error;
    EXPECT_TRUE(binding.open("/dev/usb/lp0").loaded());
    char name[UsbLibrary::kNameSize + 1] = {};
    const UsbCall call = binding.deviceName(1, name);
    EXPECT_TRUE(call.loaded());
    EXPECT_STREQ(name, "/dev/usb/lp7");
}

TEST_F(UsbChannelTest, OpenPassesTheDevicePathUpToItsNul) {
    struct Case {
        std::string device;
        std::string seen;
    };
    const std::string longPath(300, 'x');
    const Case cases[] = {
        {"/dev/usb/lp0", "/dev/usb/lp0"},
        {std::string("/dev/usb/lp1\0   ", 16), "/dev/usb/lp1"}, // the 256-character form
        {longPath, std::string(256, 'x')},                    // the program's buffer holds 256
        {"", ""},
    };
    for (const auto& c : cases) {
        fake->reset();
        EXPECT_TRUE(usb.open(ChannelConfig{0, "", c.device, ""}).ok());
        EXPECT_EQ(log(), "usb_open(" + c.seen + ")\n");
    }
}

TEST_F(UsbChannelTest, ResultMinusOneIsNotDeliveredAndNothingElseIs) {
    struct Case {
        std::int32_t result;
        ChannelStatus::State open;
        ChannelStatus::State write;
    };
    const Case cases[] = {
        {0, ChannelStatus::State::Ok, ChannelStatus::State::Ok},
        {5, ChannelStatus::State::Ok, ChannelStatus::State::Ok},
        {-1, ChannelStatus::State::NotDelivered, ChannelStatus::State::NotDelivered},
    };
    for (const auto& c : cases) {
        fake->setResult(Open, c.result);
        fake->setResult(Write, c.result);
        EXPECT_EQ(usb.open(ChannelConfig{0, "", "/dev/usb/lp0", ""}).state, c.open) << c.result;
        EXPECT_EQ(usb.write(std::vector<std::uint8_t>{0x01, '9', '7'}).state, c.write) << c.result;
    }
}

TEST_F(UsbChannelTest, WritesTheBytesAsTheyAreAndLeavesLongDataToTheLibrary) {
    const std::vector<std::uint8_t> query{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};
    EXPECT_TRUE(usb.write(query).ok());
    EXPECT_EQ(log(), "usb_write(10:" + std::string(query.begin(), query.end()) + ")\n");

    fake->reset();
    const std::vector<std::uint8_t> record(300, 'A');
    EXPECT_EQ(usb.write(record).state, ChannelStatus::State::NotDelivered);
    EXPECT_EQ(log(), "usb_write(300:" + std::string(300, 'A') + ")\n");
}

TEST_F(UsbChannelTest, ReadGivesTheFirstNBytesOfABlankBuffer) {
    std::vector<std::uint8_t> full(256);
    for (int i = 0; i < 256; ++i) full[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
    struct Case {
        std::int32_t count;
        std::size_t expected;
    };
    const Case cases[] = {{5, 5}, {1, 1}, {256, 256}, {0, 0}, {-1, 0}, {-5, 0}, {1000, 256}};
    for (const auto& c : cases) {
        fake->setReply(full.data(), 256, c.count);
        std::vector<std::uint8_t> bytes{0xEE};
        EXPECT_TRUE(usb.read(bytes).ok()) << c.count;
        EXPECT_TRUE(fake->readBufferWasBlank()) << c.count;
        ASSERT_EQ(bytes.size(), c.expected) << c.count;
        EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), full.begin())) << c.count;
    }
    // A reply shorter than the count shows the blanks the buffer was filled with.
    const std::uint8_t ack = 0x06;
    fake->setReply(&ack, 1, 3);
    std::vector<std::uint8_t> bytes;
    EXPECT_TRUE(usb.read(bytes).ok());
    EXPECT_EQ(bytes, (std::vector<std::uint8_t>{0x06, ' ', ' '}));
}

TEST_F(UsbChannelTest, CloseCallsTheLibraryEvenWithoutAnOpen) {
    usb.close();
    fake->setResult(Open, -1);
    usb.open(ChannelConfig{0, "", "/dev/usb/lp0", ""});
    usb.close();
    EXPECT_EQ(log(), "usb_close()\nusb_open(/dev/usb/lp0)\nusb_close()\n");
    EXPECT_FALSE(usb.isOpen());
}

TEST_F(UsbChannelTest, WaitingCountIsAlwaysZero) {
    int count = 7;
    EXPECT_TRUE(usb.waitingCount(count, std::chrono::milliseconds(1)).ok());
    EXPECT_EQ(count, 0);
    EXPECT_EQ(log(), "");
}

} // namespace
} // namespace fw
