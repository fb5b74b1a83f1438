// The download as the window shows it: where the printer is, read from the
// window's controls; the session's view on the controls, progress bar and
// counter; and "Download Start" running one session at a time.

#include "choice/list_entries.h"
#include "form/session_view.h"
#include "form_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace fw::test {
namespace {

constexpr Ctl kSeven[] = {Ctl::OptSerial, Ctl::OptUSB,    Ctl::OptEthernet, Ctl::cboPORT,
                          Ctl::cmdSTART,  Ctl::cmdCancel, Ctl::cmdClose};
constexpr Ctl kStayLive[] = {Ctl::mnuFile,      Ctl::mnuFileOpen, Ctl::cboBaudRate,  Ctl::cboParity,
                             Ctl::cboBitLength, Ctl::cboStopBit,  Ctl::TextEthernet, Ctl::CboUSB};

const std::string M = modelRecord(), H = header90("010000"), D1 = dataRecord("1111"),
                  D2 = dataRecord("2222"), E = lastRecord("3333");
const std::string kPackage = M + H + D1 + D2 + E;

// --- where the printer is ---

TEST(ChannelSettings, SerialLineFromListTexts)
{
    struct Case {
        const char *baud, *parity, *bits, *stop;
        SerialLine want;
    } cases[] = {
        {"9600 bps", "NONE", "8 bit", "1 bit", {9600, 'N', 8, 1}},
        {"115200 bps", "EVEN", "7 bit", "1 bit", {115200, 'E', 7, 1}},
        {"2400 bps", "ODD", "8 bit", "1 bit", {2400, 'O', 8, 1}},
        {"19200bps", "none", "8", "2 bits", {19200, 'n', 8, 2}},
        {" 4800 bps", "Mark", "5 bit", "1", {4800, 'M', 5, 1}},
        {"2.5", "S", "7.5 bit", "1.5 bit", {2, 'S', 8, 2}}, // halves to the even neighbour
        {"", "", "", "", {0, '\0', 0, 0}},
        {"bps", "N", "bit", "x", {0, 'N', 0, 0}},
        // Too large for a number of the line: 0, which the port refuses.
        {"99999999999 bps", "N", "8 bit", "1 bit", {0, 'N', 8, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.baud) + "," + c.parity + "," + c.bits + "," + c.stop);
        const SerialLine line = serialLineFromTexts(c.baud, c.parity, c.bits, c.stop);
        EXPECT_EQ(line.baud, c.want.baud);
        EXPECT_EQ(line.parity, c.want.parity);
        EXPECT_EQ(line.dataBits, c.want.dataBits);
        EXPECT_EQ(line.stopBits, c.want.stopBits);
    }
}

TEST(ProgressText, SinglePrecisionMaximum)
{
    struct Case {
        float value;
        const char* text;
    } cases[] = {
        {0.0f, "0"},
        {1.0f, "1"},
        {4194304.0f, "4194304"},
        {9999999.0f, "9999999"},
        {10000000.0f, "1E+07"},
        {12345678.0f, "1.234568E+07"},
        {16777217.0f, "1.677722E+07"}, // held as 16777216
        {100000000.0f, "1E+08"},
        {123456789.0f, "1.234568E+08"},
        {2147483647.0f, "2.147484E+09"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(formatSingle(c.value), c.text) << c.text;
    EXPECT_EQ(counterText(417, 12345678.0f), "417/1.234568E+07");
    EXPECT_EQ(counterText(0, 4096.0f), "0/4096");
}

TEST(ChannelSettings, TakenFromTheWindow)
{
    FakeToolkit ui;
    FormState state;
    for (const char* p : {"COM1", "COM2", "COM3"})
        ui.addItem(Ctl::cboPORT, p);
    ui.addItem(Ctl::cboBaudRate, "9600 bps");
    ui.addItem(Ctl::cboParity, "EVEN");
    ui.addItem(Ctl::cboBitLength, "7 bit");
    ui.addItem(Ctl::cboStopBit, "1 bit");
    for (Ctl c : {Ctl::cboBaudRate, Ctl::cboParity, Ctl::cboBitLength, Ctl::cboStopBit})
        ui.ctl(c).index = 0;
    ui.setText(Ctl::TextEthernet, " 10.0.0.5 ");
    state.usbDevicePath = std::string("/dev/usb/lp1") + '\0' + std::string(243, ' ');

    ChannelSettings s = channelSettingsFromWindow(ui, state);
    EXPECT_EQ(s.portNumber, 0); // nothing chosen: refused by the port at open
    EXPECT_EQ(s.line.baud, 9600);
    EXPECT_EQ(s.line.parity, 'E');
    EXPECT_EQ(s.line.dataBits, 7);
    EXPECT_EQ(s.line.stopBits, 1);
    EXPECT_EQ(s.usbDevicePath, "/dev/usb/lp1");
    EXPECT_EQ(s.networkAddress, " 10.0.0.5 ");

    ui.ctl(Ctl::cboPORT).index = 2;
    state.usbDevicePath = "/dev/usb/lp0";
    s = channelSettingsFromWindow(ui, state);
    EXPECT_EQ(s.portNumber, 3);
    EXPECT_EQ(s.usbDevicePath, "/dev/usb/lp0");
}

// --- the session on the window ---

class WindowSessionTest : public ::testing::Test {
protected:
    WindowSessionTest()
    {
        for (const char* p : {"COM1", "COM2"})
            ui.addItem(Ctl::cboPORT, p);
        ui.ctl(Ctl::cboPORT).index = 1;
        for (auto [c, t] : {std::pair{Ctl::cboBaudRate, "9600 bps"},
                            {Ctl::cboParity, "NONE"},
                            {Ctl::cboBitLength, "8 bit"},
                            {Ctl::cboStopBit, "1 bit"}}) {
            ui.addItem(c, t);
            ui.ctl(c).index = 0;
        }
        ui.setVisible(Ctl::ProgressBar, false);
        choose(Ctl::OptSerial);
        reader.content = bytesOf(kPackage);
    }

    void choose(Ctl option)
    {
        for (Ctl o : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet})
            ui.ctl(o).selected = o == option;
    }
    void allPrintersAnswer(const std::string& model)
    {
        for (ChannelKind k : {ChannelKind::Serial, ChannelKind::Usb, ChannelKind::Network})
            channels.of(k).printer = printerAnswering(model);
    }
    void run()
    {
        WindowSessionView view(ui, state);
        (void)session.run("/k20t/K20T.DPX", view);
    }

    FakeToolkit ui;
    FormState state;
    FakeClock clock;
    FakeChannels channels{clock};
    ScriptedReader reader;
    DownloadSession session{channels, clock, reader};
};

TEST_F(WindowSessionTest, ChannelOpenedWithTheWindowsSettings)
{
    allPrintersAnswer("TV-K3");
    state.usbDevicePath = std::string("/dev/usb/lp3") + '\0' + std::string(243, ' ');
    ui.setText(Ctl::TextEthernet, "printer.local ");
    for (Ctl option : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet}) {
        choose(option);
        run();
    }
    ASSERT_EQ(channels.serial.opens.size(), 1u);
    EXPECT_EQ(channels.serial.opens[0].portNumber, 2);
    EXPECT_EQ(channels.serial.opens[0].line.baud, 9600);
    EXPECT_EQ(channels.serial.opens[0].line.parity, 'N');
    EXPECT_EQ(channels.serial.opens[0].line.dataBits, 8);
    EXPECT_EQ(channels.serial.opens[0].line.stopBits, 1);
    ASSERT_EQ(channels.usb.opens.size(), 1u);
    EXPECT_EQ(channels.usb.opens[0].usbDevicePath, "/dev/usb/lp3");
    ASSERT_EQ(channels.network.opens.size(), 1u);
    EXPECT_EQ(channels.network.opens[0].networkAddress, "printer.local ");
}

TEST_F(WindowSessionTest, NoOptionSelectedIsNoInterface)
{
    choose(Ctl::cmdSTART); // none of the three
    allPrintersAnswer("K20_T");
    run();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgNoInterface});
    EXPECT_TRUE(channels.serial.writes.empty() && channels.usb.writes.empty() &&
                channels.network.writes.empty());
}

// The controls locked while records go out, the hourglass, the progress bar
// and the counter under it, and the outcome box.
TEST_F(WindowSessionTest, DownloadShownOnTheWindow)
{
    const auto n = [](const std::string& s) { return static_cast<int>(s.size()); };
    struct Row {
        const char* name;
        Ctl option;
        ChannelKind kind;
        std::string model;
        int maximum;
        int passed;
    } rows[] = {
        {"serial TV-K3", Ctl::OptSerial, ChannelKind::Serial, "TV-K3", n(D1 + D2 + E),
         n(D1 + D2 + E)},
        // Past the maximum the bar stays full; the counter goes on.
        {"USB MDL40", Ctl::OptUSB, ChannelKind::Usb, "MDL40", n(M + H), n(H + D1 + D2 + E)},
        {"network", Ctl::OptEthernet, ChannelKind::Network, "", n(D1 + D2 + E), n(D1 + D2 + E)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        choose(row.option);
        allPrintersAnswer(row.model);
        ScriptedChannel& ch = channels.of(row.kind);
        ch.writes.clear();
        ui.boxes.clear();
        ui.setVisible(Ctl::ProgressBar, false);
        int looks = 0;
        ui.onProcessEvents = [&] {
            ++looks;
            for (Ctl c : kSeven)
                EXPECT_FALSE(ui.isEnabled(c));
            for (Ctl c : kStayLive)
                EXPECT_TRUE(ui.isEnabled(c));
            EXPECT_EQ(ui.pointer(), Pointer::Hourglass);
        };

        run();

        ASSERT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
        EXPECT_EQ(ui.boxes[0].title, "");
        EXPECT_FALSE(ui.boxes[0].exclamation);
        EXPECT_EQ(ui.boxes[0].pointerWhenShown, Pointer::Normal);
        EXPECT_GT(looks, 0);
        EXPECT_FALSE(ch.recordsWritten().empty());
        EXPECT_TRUE(ui.isVisible(Ctl::ProgressBar));
        EXPECT_EQ(ui.progressMax(), static_cast<float>(row.maximum));
        EXPECT_EQ(ui.progressValue(), static_cast<float>(std::min(row.passed, row.maximum)));
        EXPECT_EQ(ui.text(Ctl::Label3),
                  std::to_string(row.passed) + "/" + std::to_string(row.maximum));
        for (Ctl c : kSeven)
            EXPECT_TRUE(ui.isEnabled(c));
        EXPECT_EQ(ui.pointer(), Pointer::Normal);
    }
}

// The seven locked controls come back as they were: OptUSB stays off in a
// run that listed no USB printer, whichever way the session ends.
TEST_F(WindowSessionTest, ControlsComeBackAsTheyWere)
{
    ui.setEnabled(Ctl::OptUSB, false);
    const struct {
        const char* name;
        std::string model;
        std::string package;
    } cases[] = {
        {"success", "TV-K3", kPackage},
        {"query failed, early end", "", kPackage},
        {"damaged", "TV-K3", H + D1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        allPrintersAnswer(c.model);
        if (c.model.empty())
            channels.serial.pollStatus = Result<>::failure("gone");
        reader.content = bytesOf(c.package);
        run();
        channels.serial.pollStatus = Result<>::success();
        EXPECT_FALSE(ui.isEnabled(Ctl::OptUSB));
        for (Ctl ctl : kSeven)
            EXPECT_EQ(ui.isEnabled(ctl), ctl != Ctl::OptUSB);
    }
}

// --- "Download Start" on the form ---

class DownloadStart : public ::testing::Test {
protected:
    DownloadStart()
    {
        run.ui.select(Ctl::OptSerial);
        run.state().packagePath = "/k20t/K20T.DPX";
        run.reader.content = bytesOf(kPackage);
        run.channels.serial.printer = printerAnswering("TV-K3");
    }
    FormRun run;
};

TEST_F(DownloadStart, OneSessionAtATime)
{
    int nested = 0;
    run.ui.onProcessEvents = [&] {
        EXPECT_TRUE(run.state().sessionRunning);
        if (nested++ == 0)
            run.form.startDownload(); // a second press while records are going out
    };
    run.form.startDownload();
    EXPECT_EQ(run.ui.dialogsShown.size(), 1u); // the Open step, once
    EXPECT_EQ(run.ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(run.channels.serial.opens.size(), 1u);
    EXPECT_EQ(run.reader.opened, std::vector<std::string>{"/k20t/K20T.DPX"});
    EXPECT_FALSE(run.state().sessionRunning);

    // Each press ends with exactly one outcome box.
    run.ui.onProcessEvents = nullptr;
    run.form.startDownload();
    run.form.startDownload();
    EXPECT_EQ(run.ui.boxes.size(), 3u);
    EXPECT_EQ(run.ui.dialogsShown.size(), 3u);
}

// Closing the window while records go out: the close waits, the session
// stops at its next look and releases the port, then the window may close.
TEST_F(DownloadStart, CloseDuringADownloadEndsTheSessionFirst)
{
    std::vector<bool> mayClose;
    run.ui.onProcessEvents = [&] { mayClose.push_back(run.form.mayClose()); };
    run.form.startDownload();
    EXPECT_EQ(mayClose, std::vector<bool>{false});
    EXPECT_TRUE(run.form.endRequested());
    EXPECT_TRUE(run.ui.boxes.empty());
    EXPECT_EQ(run.channels.serial.recordsWritten().size(), 1u);
    EXPECT_FALSE(run.channels.serial.isOpen());
    EXPECT_FALSE(run.state().sessionRunning);
    EXPECT_TRUE(run.form.mayClose());
}

} // namespace
} // namespace fw::test
