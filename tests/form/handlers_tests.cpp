// The handlers of the option buttons and of CboUSB, as the form runs them.

#include "form_run.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace fw {
namespace {

struct OptionCase {
    Ctl option;
    bool serial, usb, ethernet;
};

class OptionHandlerTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionHandlerTest, ShowsOnlyTheOptionsFrameAndChangesNothingElse)
{
    const OptionCase& c = GetParam();
    test::FormRun run(2);
    test::FakeToolkit& ui = run.ui;
    for (const char* e : {"COM1", "COM2", "COM3"})
        ui.addItem(Ctl::cboPORT, e);
    ui.addItem(Ctl::CboUSB, "USB001");
    ui.addItem(Ctl::CboUSB, "USB002");
    ui.ctl(Ctl::cboPORT).index = 2;
    ui.ctl(Ctl::CboUSB).index = 1;
    ui.setEnabled(Ctl::OptUSB, false);
    // Serial shown, as after start-up with Serial stored.
    ui.setVisible(Ctl::FrameUSB, false);
    ui.setVisible(Ctl::FrameEthernet, false);

    ui.select(c.option);

    EXPECT_EQ(ui.isVisible(Ctl::FrameSerial), c.serial);
    EXPECT_EQ(ui.isVisible(Ctl::FrameUSB), c.usb);
    EXPECT_EQ(ui.isVisible(Ctl::FrameEthernet), c.ethernet);
    EXPECT_EQ(ui.listIndex(Ctl::cboPORT), 2);
    EXPECT_EQ(ui.listIndex(Ctl::CboUSB), 1);
    EXPECT_FALSE(ui.isEnabled(Ctl::OptUSB));
    EXPECT_EQ(run.usb.findCalls, 0);
    EXPECT_TRUE(run.usb.nameCalls.empty());
    EXPECT_TRUE(run.state().usbDevicePath.empty());
}

INSTANTIATE_TEST_SUITE_P(Options, OptionHandlerTest,
                         ::testing::Values(OptionCase{Ctl::OptSerial, true, false, false},
                                           OptionCase{Ctl::OptUSB, false, true, false},
                                           OptionCase{Ctl::OptEthernet, false, false, true}));

TEST(OptionHandler, OtherControlsLeaveTheFramesAlone)
{
    test::FormRun run;
    run.form.optionClicked(Ctl::cmdClose);
    EXPECT_TRUE(run.ui.isVisible(Ctl::FrameSerial));
    EXPECT_TRUE(run.ui.isVisible(Ctl::FrameUSB));
    EXPECT_TRUE(run.ui.isVisible(Ctl::FrameEthernet));
}

// position chosen, printers the library knows, what the library returns
struct UsbCase {
    int position;
    int printers;
    bool loadable;
    std::string expected; // empty: 256 blanks
};

class UsbListHandlerTest : public ::testing::TestWithParam<UsbCase> {};

TEST_P(UsbListHandlerTest, TakesTheDevicePathByPosition)
{
    const UsbCase& c = GetParam();
    test::FormRun run(c.loadable ? c.printers : test::kNoLibrary);
    test::FakeToolkit& ui = run.ui;
    for (int k = 1; k <= 3; ++k)
        ui.addItem(Ctl::CboUSB, "USB00" + std::to_string(k));

    ui.setListIndex(Ctl::CboUSB, c.position);

    ASSERT_EQ(run.usb.nameCalls.size(), 1u);
    EXPECT_EQ(run.usb.nameCalls[0], ui.listIndex(Ctl::CboUSB));
    const std::string& path = run.state().usbDevicePath;
    ASSERT_EQ(path.size(), 256u);
    EXPECT_EQ(path, c.expected.empty() ? std::string(256, ' ') : test::devicePathField(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Positions, UsbListHandlerTest,
    ::testing::Values(UsbCase{2, 3, true, test::FakeUsbLibrary::pathOf(2)},
                      UsbCase{0, 3, true, test::FakeUsbLibrary::pathOf(0)},
                      UsbCase{2, 2, true, ""},    // the printer has gone from the library's list
                      UsbCase{-1, 3, true, ""},   // nothing selected: position -1
                      UsbCase{1, 3, false, ""})); // no library at all

TEST(UsbListHandler, EverySelectionReplacesThePath)
{
    test::FormRun run(2);
    test::FakeToolkit& ui = run.ui;
    ui.addItem(Ctl::CboUSB, "USB001");
    ui.addItem(Ctl::CboUSB, "USB002");
    ui.setListIndex(Ctl::CboUSB, 1);
    ui.setListIndex(Ctl::CboUSB, 0);
    // The shorter first path leaves no trace of the longer second one.
    EXPECT_EQ(run.state().usbDevicePath, test::devicePathField(test::FakeUsbLibrary::pathOf(0)));
}

TEST(UsbListHandler, APathFillingTheWholeBufferStaysWithinIt)
{
    struct LongPaths : test::FakeUsbLibrary {
        Result<std::int32_t> deviceName(std::int32_t, char* name) override
        {
            std::memset(name, 'x', UsbLibrary::kNameSize); // no NUL of its own
            return 0;
        }
    } usb;
    test::FakeToolkit ui;
    FormState state;
    ui.addItem(Ctl::CboUSB, "USB001");
    takeUsbDevicePath(ui, state, usb);
    EXPECT_EQ(state.usbDevicePath, std::string(256, 'x'));
}

TEST(UsbListHandler, OtherListsRunNothing)
{
    test::FormRun run(2);
    run.ui.addItem(Ctl::cboPORT, "COM1");
    run.ui.setListIndex(Ctl::cboPORT, 0);
    EXPECT_TRUE(run.usb.nameCalls.empty());
    EXPECT_TRUE(run.state().usbDevicePath.empty());
}

} // namespace
} // namespace fw
