// The session driver from the press of "Download Start" to its outcome box,
// on the headless window, scripted channels and a fake clock.

#include "engine_fakes.h"
#include "fake_toolkit.h"
#include "session/download_session.h"
#include "session/session_messages.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <sys/stat.h>

namespace fw::test {
namespace {

constexpr Ctl kSeven[] = {Ctl::OptSerial, Ctl::OptUSB,   Ctl::OptEthernet, Ctl::cboPORT,
                          Ctl::cmdSTART,  Ctl::cmdCancel, Ctl::cmdClose};
constexpr Ctl kStayLive[] = {Ctl::mnuFile,      Ctl::mnuFileOpen, Ctl::cboBaudRate,
                             Ctl::cboParity,    Ctl::cboBitLength, Ctl::cboStopBit,
                             Ctl::TextEthernet, Ctl::CboUSB};

const std::string M = modelRecord(), H = header90("010000"), D1 = dataRecord("1111"),
                  D2 = dataRecord("2222"), E = lastRecord("3333");
// Model record, section header, then the section.
const std::string kPackage = M + H + D1 + D2 + E;

class SessionTest : public ::testing::Test {
protected:
    SessionTest()
    {
        state.strFirmwareFile = "/k20t/K20T.DPX";
        for (const char* p : {"COM1", "COM2"})
            ui.addItem(Ctl::cboPORT, p);
        ui.ctl(Ctl::cboPORT).index = 1;
        for (auto [c, t] : {std::pair{Ctl::cboBaudRate, "9600 bps"}, {Ctl::cboParity, "NONE"},
                            {Ctl::cboBitLength, "8 bit"}, {Ctl::cboStopBit, "1 bit"}}) {
            ui.addItem(c, t);
            ui.ctl(c).index = 0;
        }
        choose(Ctl::OptSerial);
        package(kPackage);
        session = std::make_unique<DownloadSession>(ui, state, channels, clock,
                                                    [this] { ++openSteps; }, &reader);
    }

    void choose(Ctl option)
    {
        for (Ctl o : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet})
            ui.ctl(o).selected = o == option;
    }
    void package(const std::string& s) { reader.content = bytesOf(s); }
    void allPrintersAnswer(const std::string& model)
    {
        for (ChannelKind k : {ChannelKind::Serial, ChannelKind::Usb, ChannelKind::Network})
            channels.of(k).printer = printerAnswering(model);
    }
    void expectUnlocked()
    {
        for (Ctl c : kSeven)
            EXPECT_TRUE(ui.isEnabled(c));
        EXPECT_EQ(ui.pointer(), Pointer::Normal);
        EXPECT_FALSE(state.sessionRunning);
    }
    std::size_t totalWrites() const
    {
        return channels.serial.writes.size() + channels.usb.writes.size() +
               channels.network.writes.size();
    }

    FakeToolkit ui;
    FormState state;
    FakeClock clock;
    FakeChannels channels{clock};
    ScriptedReader reader;
    int openSteps = 0;
    std::unique_ptr<DownloadSession> session;
};

std::vector<Bytes> onWire(std::initializer_list<std::string> records)
{
    std::vector<Bytes> out;
    for (const std::string& r : records)
        out.push_back(bytesOf(r.substr(0, r.size() - 2)));
    return out;
}

TEST_F(SessionTest, DownloadsOverEachChannelAndModel)
{
    const auto n = [](const std::string& s) { return static_cast<int>(s.size()); };
    struct Row {
        const char* name;
        Ctl option;
        ChannelKind kind;
        std::string model;
        std::vector<Bytes> records;
        int maximum;
        int passed;
        int updates;
    } rows[] = {
        {"serial TV-K3", Ctl::OptSerial, ChannelKind::Serial, "TV-K3", onWire({D1, D2, E}),
         n(D1 + D2 + E), n(D1 + D2 + E), 4},
        {"serial K20_T", Ctl::OptSerial, ChannelKind::Serial, "K20_T", onWire({D1, D2, E}),
         n(D1 + D2 + E), n(D1 + D2 + E), 4},
        // MDL40 skips the first record and counts towards the end of the
        // first section, which the transfer runs past.
        {"serial MDL40", Ctl::OptSerial, ChannelKind::Serial, "MDL40", onWire({H, D1, D2, E}),
         n(M + H), n(H + D1 + D2 + E), 5},
        {"serial, no answer", Ctl::OptSerial, ChannelKind::Serial, "", onWire({D1, D2, E}),
         n(D1 + D2 + E), n(D1 + D2 + E), 4},
        {"USB TV-K3", Ctl::OptUSB, ChannelKind::Usb, "TV-K3", onWire({D1, D2, E}),
         n(D1 + D2 + E), n(D1 + D2 + E), 4},
        {"USB MDL40", Ctl::OptUSB, ChannelKind::Usb, "MDL40", onWire({H, D1, D2, E}), n(M + H),
         n(H + D1 + D2 + E), 1},
        {"USB, no answer", Ctl::OptUSB, ChannelKind::Usb, "", onWire({D1, D2, E}),
         n(D1 + D2 + E), n(D1 + D2 + E), 1},
        {"network", Ctl::OptEthernet, ChannelKind::Network, "", onWire({D1, D2, E}),
         n(D1 + D2 + E), n(D1 + D2 + E), 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedChannel& ch = channels.of(row.kind);
        ch.writes.clear();
        choose(row.option);
        allPrintersAnswer(row.model);
        const int eventsBefore = ui.processEventsCalls;
        ui.boxes.clear();
        ui.onProcessEvents = [&] {
            for (Ctl c : kSeven)
                EXPECT_FALSE(ui.isEnabled(c));
            for (Ctl c : kStayLive)
                EXPECT_TRUE(ui.isEnabled(c));
            EXPECT_TRUE(state.sessionRunning);
        };

        session->run();

        ASSERT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
        EXPECT_EQ(ui.boxes[0].title, "");
        EXPECT_FALSE(ui.boxes[0].exclamation);
        EXPECT_EQ(ui.boxes[0].pointerWhenShown, Pointer::Normal);
        ASSERT_FALSE(ch.writes.empty());
        EXPECT_TRUE(isModelQuery(ch.writes[0]));
        EXPECT_EQ(ch.recordsWritten(), row.records);
        EXPECT_EQ(ui.progressMax(), static_cast<float>(row.maximum));
        EXPECT_EQ(ui.progressValue(), std::min(row.passed, row.maximum));
        EXPECT_EQ(ui.text(Ctl::Label3),
                  std::to_string(row.passed) + "/" + std::to_string(row.maximum));
        EXPECT_EQ(ui.processEventsCalls - eventsBefore, row.updates);
        EXPECT_TRUE(ui.isVisible(Ctl::ProgressBar));
        expectUnlocked();
        EXPECT_FALSE(ch.isOpen());
    }
    EXPECT_EQ(openSteps, static_cast<int>(std::size(rows)));
    EXPECT_EQ(state.mFirmwareData, bytesOf(kPackage));
}

TEST_F(SessionTest, ChannelOpenedWithTheWindowsSettings)
{
    allPrintersAnswer("TV-K3");
    state.strDevice = std::string("/dev/usb/lp3") + '\0' + std::string(243, ' ');
    ui.setText(Ctl::TextEthernet, "printer.local ");
    for (Ctl option : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet}) {
        choose(option);
        session->run();
    }
    ASSERT_EQ(channels.serial.opens.size(), 1u);
    EXPECT_EQ(channels.serial.opens[0].portNumber, 2);
    EXPECT_EQ(channels.serial.opens[0].settings, "9600,N,8,1");
    ASSERT_EQ(channels.usb.opens.size(), 1u);
    EXPECT_EQ(channels.usb.opens[0].device, "/dev/usb/lp3");
    ASSERT_EQ(channels.network.opens.size(), 1u);
    EXPECT_EQ(channels.network.opens[0].address, "printer.local ");
}

TEST_F(SessionTest, NoQueryFromHeaderValue0x800000On)
{
    struct Case {
        const char* name;
        std::string header;
        bool query;
    } cases[] = {
        {"0x7FFFFF", header90("7FFFFF"), true},
        {"0x800000", header90("800000"), false},
        {"0xFFFFFF", header90("FFFFFF"), false},
        {"0x007FFFFF", header93("007FFFFF"), true},
        {"0x80000000", header93("80000000"), false},
        {"0xFFFFFFFF", header93("FFFFFFFF"), false},
    };
    allPrintersAnswer("TV-K3");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        package(c.header + D1 + E);
        channels.serial.writes.clear();
        ui.boxes.clear();
        session->run();
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
        ASSERT_FALSE(channels.serial.writes.empty());
        EXPECT_EQ(isModelQuery(channels.serial.writes[0]), c.query);
        // Without a query the whole package goes, from its first record.
        EXPECT_EQ(channels.serial.recordsWritten(),
                  c.query ? onWire({D1, E}) : onWire({c.header, D1, E}));
    }
}

TEST_F(SessionTest, PackageMissingOrEmpty)
{
    struct Case {
        const char* name;
        std::string path;
        bool failOpen;
        std::string content;
        std::vector<std::string> boxes;
    } cases[] = {
        {"no file chosen", "", false, kPackage, {"cannot open ", "no length", kMsgFirmwareNotOpen}},
        {"file gone", "/k20t/gone.DPX", true, kPackage,
         {"cannot open /k20t/gone.DPX", "no length", kMsgFirmwareNotOpen}},
        {"empty file", "/k20t/empty.DPX", false, "", {kMsgFirmwareNotOpen}},
        // The read fails although the buffer was filled: still nothing is sent.
        {"read fails", "/k20t/K20T.DPX", false, kPackage, {"read failed", kMsgFirmwareNotOpen}},
    };
    for (Ctl option : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            choose(option);
            state.strFirmwareFile = c.path;
            reader.failOpen = c.failOpen;
            reader.failRead = std::string(c.name) == "read fails";
            package(c.content);
            ui.boxes.clear();
            const int usbCloses = channels.usb.closes;
            session->run();
            EXPECT_EQ(ui.boxTexts(), c.boxes);
            EXPECT_EQ(totalWrites(), 0u);
            EXPECT_TRUE(channels.serial.opens.empty() && channels.usb.opens.empty() &&
                        channels.network.opens.empty());
            EXPECT_FALSE(reader.isOpen);
            // The end still closes the chosen kind; USB is closed unopened.
            EXPECT_EQ(channels.usb.closes - usbCloses, option == Ctl::OptUSB ? 1 : 0);
            expectUnlocked();
        }
    }
}

TEST_F(SessionTest, FailureReportedThenTheSessionCarriesOn)
{
    allPrintersAnswer("TV-K3");
    // One failing poll in the first record's wait: reported, then the read
    // it guards still takes the acknowledgement.
    channels.serial.printer = [answer = channels.serial.printer](ScriptedChannel& ch, const Bytes& b) {
        answer(ch, b);
        if (!isModelQuery(b) && ch.writes.size() == 2)
            ch.failingPolls = 1;
    };
    std::vector<Pointer> pointers;
    ui.onProcessEvents = [&] { pointers.push_back(ui.pointer()); };
    session->run();
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"poll failed", kMsgDownloadSuccess}));
    // The first report turns the hourglass back to the normal pointer for good.
    EXPECT_EQ(ui.boxes[0].pointerWhenShown, Pointer::Normal);
    ASSERT_FALSE(pointers.empty());
    for (Pointer p : pointers)
        EXPECT_EQ(p, Pointer::Normal);
}

TEST_F(SessionTest, HourglassUntilTheOutcome)
{
    allPrintersAnswer("TV-K3");
    std::vector<Pointer> pointers;
    ui.onProcessEvents = [&] { pointers.push_back(ui.pointer()); };
    session->run();
    ASSERT_FALSE(pointers.empty());
    for (Pointer p : pointers)
        EXPECT_EQ(p, Pointer::Hourglass);
    EXPECT_EQ(ui.pointer(), Pointer::Normal);
}

TEST_F(SessionTest, FailedQueryEndsEarlyWithoutOutcomeBox)
{
    const ChannelStatus refused = ChannelStatus::failure("Cannot open the port COM2.");
    struct Case {
        const char* name;
        Ctl option;
        ChannelKind kind;
    } cases[] = {
        {"serial", Ctl::OptSerial, ChannelKind::Serial},
        {"USB library missing", Ctl::OptUSB, ChannelKind::Usb},
        {"network", Ctl::OptEthernet, ChannelKind::Network},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.option);
        ScriptedChannel& ch = channels.of(c.kind);
        ch.openStatus = refused;
        ch.writeStatus = [&](const Bytes&) { return refused; };
        ui.boxes.clear();
        session->run();
        // The open's report and the query's; no outcome box.
        EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{refused.error, refused.error}));
        EXPECT_EQ(ch.writes.size(), 1u);
        EXPECT_TRUE(isModelQuery(ch.writes[0]));
        expectUnlocked();
    }
    // A USB printer is closed at the early end; a serial port only when open.
    EXPECT_EQ(channels.usb.closes, 1);
    EXPECT_EQ(channels.serial.closes, 0);
}

TEST_F(SessionTest, PrintPathLeftOpenByEarlyEndIsClosedByTheNextSession)
{
    choose(Ctl::OptEthernet);
    ScriptedChannel& net = channels.network;
    net.writeStatus = [](const Bytes&) { return ChannelStatus::failure("The network name cannot be found."); };
    session->run();
    EXPECT_TRUE(net.isOpen());
    EXPECT_EQ(net.closes, 0);

    choose(Ctl::OptSerial);
    allPrintersAnswer("TV-K3");
    int closesWhenSerialOpened = -1;
    channels.serial.printer = [&](ScriptedChannel& self, const Bytes& w) {
        if (closesWhenSerialOpened < 0)
            closesWhenSerialOpened = net.closes;
        printerAnswering("TV-K3")(self, w);
    };
    ui.boxes.clear();
    session->run();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_FALSE(net.isOpen());
    EXPECT_EQ(closesWhenSerialOpened, 1);
}

TEST_F(SessionTest, InvalidPrinterModelData)
{
    struct Case {
        const char* name;
        std::string model;
        std::string package;
    } cases[] = {
        {"MDL40 without model record", "MDL40", H + D1 + E},
        {"unknown printer, model record and no header", "", M + D1 + E},
        {"model record after the header", "MDL40", H + M + D1 + E},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        allPrintersAnswer(c.model);
        package(c.package);
        channels.serial.writes.clear();
        ui.boxes.clear();
        session->run();
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgInvalidModel});
        EXPECT_EQ(channels.serial.writes.size(), 1u); // the query only
        expectUnlocked();
    }
}

TEST_F(SessionTest, AcknowledgementOutcomes)
{
    struct Case {
        const char* name;
        Ctl option;
        int ackedRecords; // the printer acknowledges this many, then falls silent
        std::string box;
        std::size_t records;
    } cases[] = {
        {"serial: last record's wait runs out", Ctl::OptSerial, 2, kMsgDownloadSuccess, 3},
        {"USB: last record's wait runs out", Ctl::OptUSB, 2, kMsgDownloadSuccess, 3},
        {"serial: middle record unanswered", Ctl::OptSerial, 1, kMsgCommunicationError, 2},
        {"USB: first record unanswered", Ctl::OptUSB, 0, kMsgCommunicationError, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.option);
        ScriptedChannel& ch = channels.of(c.option == Ctl::OptUSB ? ChannelKind::Usb : ChannelKind::Serial);
        ch.writes.clear();
        int acked = 0;
        ch.printer = [&](ScriptedChannel& self, const Bytes& w) {
            if (isModelQuery(w))
                self.reply(bytesOf("TV-K3"), 5ms);
            else if (acked++ < c.ackedRecords)
                self.reply({0x06}, 5ms);
        };
        ui.boxes.clear();
        const Clock::duration t0 = clock.t;
        session->run();
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{c.box});
        EXPECT_EQ(ch.recordsWritten().size(), c.records); // nothing after a missing ACK
        EXPECT_GE(clock.t - t0, 5s);
    }
}

TEST_F(SessionTest, DamagedPackagesEndWithAReportNeverSuccess)
{
    const auto at = [](const std::string& before) { return std::to_string(before.size()); };
    const auto noLineEnd = [&](const std::string& before) {
        return "Damaged package: the record at offset " + at(before) + " ends without its line end.";
    };
    const auto shortHeader = [&](const std::string& before) {
        return "Damaged package: the section header at offset " + at(before) +
               " is shorter than its fields.";
    };
    struct Case {
        const char* name;
        std::string model;
        std::string package;
        std::string box;
    } cases[] = {
        {"last record without CR", "TV-K3", H + D1 + "\x01" "00ZZ\x17", noLineEnd(H + D1)},
        {"no end mark", "TV-K3", H + D1 + D2,
         "Damaged package: no end mark before the end of the package at offset " +
             at(H + D1 + D2) + "."},
        {"section header cut short", "TV-K3", M + D1 + "\x01" "90XXX0100", shortHeader(M + D1)},
        {"section header shorter than its fields", "TV-K3", D1 + "\x01" "90XXX01\r\n" + E,
         shortHeader(D1)},
        {"MDL40 package without a CR", "MDL40", "\x01" "97ABC\x01" "00DD\x17", noLineEnd("")},
        {"no SOH and no CR", "K20_T", "just some bytes", noLineEnd("")},
    };
    for (Ctl option : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet}) {
        choose(option);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            allPrintersAnswer(c.model);
            package(c.package);
            ui.boxes.clear();
            session->run();
            EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{c.box});
            // Found before the printer is reached: not even the query goes out.
            EXPECT_EQ(totalWrites(), 0u);
            EXPECT_TRUE(channels.serial.opens.empty() && channels.usb.opens.empty() &&
                        channels.network.opens.empty());
            expectUnlocked();
        }
    }
}

TEST_F(SessionTest, LastRecordEndingWithTheFilesLastByteGoesThrough)
{
    allPrintersAnswer("K20_T");
    package("\x01" "91AAAA\r\n\x01" "91BBB\x17\r");
    session->run();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(channels.serial.recordsWritten(),
              (std::vector<Bytes>{bytesOf("\x01" "91AAAA"), bytesOf("\x01" "91BBB\x17")}));
    EXPECT_EQ(ui.text(Ctl::Label3), "17/17");
}

// The seven locked controls come back as they were: OptUSB stays off in a
// run that listed no USB printer, whichever way the session ends.
TEST_F(SessionTest, ControlsComeBackAsTheyWere)
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
            channels.serial.pollStatus = ChannelStatus::failure("gone");
        package(c.package);
        session->run();
        channels.serial.pollStatus = ChannelStatus::success();
        EXPECT_FALSE(ui.isEnabled(Ctl::OptUSB));
        for (Ctl ctl : kSeven)
            EXPECT_EQ(ui.isEnabled(ctl), ctl != Ctl::OptUSB);
    }
}

TEST_F(SessionTest, UsbPrinterThatCannotBeReachedIsACommunicationError)
{
    struct Case {
        const char* name;
        ChannelStatus open;
        ChannelStatus write;
        std::size_t records;
    } cases[] = {
        {"usb_open refused", ChannelStatus::notDelivered(), ChannelStatus::notDelivered(), 0},
        {"usb_write refused", ChannelStatus::success(), ChannelStatus::notDelivered(), 1},
    };
    choose(Ctl::OptUSB);
    package(D1 + E); // no header: the query goes out and gets no answer (code 5)
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel& usb = channels.usb;
        usb.writes.clear();
        usb.openStatus = c.open;
        usb.writeStatus = [&](const Bytes&) { return c.write; };
        ui.boxes.clear();
        session->run();
        EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgCommunicationError});
        EXPECT_EQ(usb.recordsWritten().size(), c.records);
    }
}

TEST_F(SessionTest, PrintPathThatCannotBeWrittenEndsAtTheFirstFailedWrite)
{
    choose(Ctl::OptEthernet);
    package(header90("800000") + D1 + D2 + E);
    ScriptedChannel& net = channels.network;
    net.openStatus = ChannelStatus::failure("Cannot open \\\\10.0.0.9\\lp1.");
    net.writeStatus = [](const Bytes&) { return ChannelStatus::failure("Write to the print path failed."); };
    session->run();
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Cannot open \\\\10.0.0.9\\lp1.",
                                                       "Write to the print path failed.",
                                                       kMsgCommunicationError}));
    EXPECT_EQ(net.writes.size(), 1u);
}

TEST_F(SessionTest, PrintJobThatCannotBeHandedOverIsNoSuccess)
{
    choose(Ctl::OptEthernet);
    ScriptedChannel& net = channels.network;
    net.handOverStatus = ChannelStatus::failure("Cannot hand the print job to \\\\h\\lp1: gone.");
    session->run();
    EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{"Cannot hand the print job to \\\\h\\lp1: gone.",
                                                       kMsgCommunicationError}));
    EXPECT_EQ(net.handOvers, 1);
    EXPECT_FALSE(net.isOpen());

    // Handed over, the job counts; a failed transfer is never handed over.
    ui.boxes.clear();
    net.handOverStatus = ChannelStatus::success();
    session->run();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(net.handOvers, 2);
    ui.boxes.clear();
    net.writeStatus = [](const Bytes&) { return ChannelStatus::failure("Write failed."); };
    session->run();
    EXPECT_EQ(net.handOvers, 2);
}

TEST_F(SessionTest, RecordTheChannelRefusedIsNeverASuccess)
{
    const ChannelStatus lost = ChannelStatus::failure("The connection to the printer was lost.");
    struct Case {
        const char* name;
        Ctl option;
        ChannelKind kind;
        std::string refusedRecord;
        std::size_t records;
    } cases[] = {
        {"serial, the record with the end mark", Ctl::OptSerial, ChannelKind::Serial, E, 3},
        {"network after the query, a middle record", Ctl::OptEthernet, ChannelKind::Network, D1, 1},
    };
    allPrintersAnswer("TV-K3");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.option);
        ScriptedChannel& ch = channels.of(c.kind);
        const Bytes refused = onWire({c.refusedRecord})[0];
        ch.writeStatus = [&](const Bytes& w) { return w == refused ? lost : ChannelStatus::success(); };
        ui.boxes.clear();
        session->run();
        EXPECT_EQ(ui.boxTexts(), (std::vector<std::string>{lost.error, kMsgCommunicationError}));
        EXPECT_EQ(ch.recordsWritten().size(), c.records);
    }
}

TEST_F(SessionTest, NoInterfaceChosenSendsNothing)
{
    choose(Ctl::cmdSTART); // none of the three
    allPrintersAnswer("K20_T");
    const int usbCloses = channels.usb.closes;
    session->run();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgNoInterface});
    EXPECT_EQ(totalWrites(), 0u);
    EXPECT_TRUE(channels.network.opens.empty());
    EXPECT_EQ(channels.usb.closes, usbCloses);
    expectUnlocked();
}

TEST_F(SessionTest, OneSessionAtATime)
{
    allPrintersAnswer("TV-K3");
    int nested = 0;
    ui.onProcessEvents = [&] {
        if (nested++ == 0)
            session->run(); // a second press while records are going out
    };
    session->run();
    EXPECT_EQ(openSteps, 1);
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(channels.serial.opens.size(), 1u);

    // Each press ends with exactly one outcome box.
    ui.onProcessEvents = nullptr;
    session->run();
    session->run();
    EXPECT_EQ(ui.boxes.size(), 3u);
    EXPECT_EQ(openSteps, 3);
}

TEST_F(SessionTest, EndOfProgramStopsTheSessionAtItsNextLook)
{
    for (Ctl option : {Ctl::OptSerial, Ctl::OptUSB, Ctl::OptEthernet}) {
        SCOPED_TRACE(static_cast<int>(option));
        choose(option);
        allPrintersAnswer("TV-K3");
        ScriptedChannel& ch = channels.of(option == Ctl::OptSerial ? ChannelKind::Serial
                                          : option == Ctl::OptUSB ? ChannelKind::Usb
                                                                  : ChannelKind::Network);
        ch.writes.clear();
        const int closes = ch.closes;
        ui.boxes.clear();
        state.endRequested = false;
        ui.onProcessEvents = [&] { state.endRequested = true; };
        session->run();
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(ch.recordsWritten().size(), 1u);
        EXPECT_FALSE(ch.isOpen());
        EXPECT_EQ(ch.closes, closes + 1);
        EXPECT_FALSE(state.sessionRunning);
    }
}

// A close asked for while the printer keeps its acknowledgement back reaches
// the session before the box it would show: no box, the channel released.
TEST_F(SessionTest, CloseDuringASilentWaitEndsBeforeTheOutcomeBox)
{
    for (Ctl option : {Ctl::OptSerial, Ctl::OptUSB}) {
        SCOPED_TRACE(static_cast<int>(option));
        choose(option);
        ScriptedChannel& ch = channels.of(option == Ctl::OptSerial ? ChannelKind::Serial : ChannelKind::Usb);
        ch.printer = [](ScriptedChannel& c, const Bytes& b) {
            if (isModelQuery(b))
                c.reply(bytesOf("TV-K3"));
        };
        const int closes = ch.closes;
        ui.boxes.clear();
        state.endRequested = false;
        ui.onProcessWindowRequests = [&] { state.endRequested = true; };
        session->run();
        ui.onProcessWindowRequests = nullptr;
        EXPECT_TRUE(ui.boxes.empty());
        EXPECT_EQ(ch.recordsWritten().size(), 1u);
        EXPECT_EQ(ch.closes, closes + 1);
        EXPECT_FALSE(state.sessionRunning);
    }
}

// --- with the package read from disk ---

class DiskPackage : public SessionTest {
protected:
    DiskPackage()
    {
        dir = std::filesystem::temp_directory_path() /
              ("fw_engine_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        diskSession = std::make_unique<DownloadSession>(ui, state, channels, clock, [] {});
        allPrintersAnswer("TV-K3");
    }
    ~DiskPackage() override { std::filesystem::remove_all(dir); }
    std::string write(const std::string& name, const std::string& content)
    {
        const auto p = dir / name;
        std::ofstream(p, std::ios::binary) << content;
        return p.string();
    }
    std::filesystem::path dir;
    std::unique_ptr<DownloadSession> diskSession;
};

TEST_F(DiskPackage, ReadsThePackageFile)
{
    state.strFirmwareFile = write("K20T.DPX", kPackage);
    diskSession->run();
    EXPECT_EQ(ui.boxTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(state.mFirmwareData, bytesOf(kPackage));
}

TEST_F(DiskPackage, UnreadablePackagesAreReportedByName)
{
    const std::string missing = (dir / "missing.DPX").string();
    const std::string pipe = (dir / "pipe.DPX").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    struct Case {
        const char* name;
        std::string path;
        std::vector<std::string> boxes;
    } cases[] = {
        {"no file chosen", "",
         {"Cannot open the package file: no file has been chosen.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
        {"missing file", missing,
         {"Cannot open the package file \"" + missing + "\": file not found.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
        {"a folder", dir.string(),
         {"Cannot open the package file \"" + dir.string() + "\": it is not a file.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
        {"empty file", write("empty.DPX", ""), {kMsgFirmwareNotOpen}},
        {"a named pipe", pipe,
         {"Cannot open the package file \"" + pipe + "\": it is not a file.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        state.strFirmwareFile = c.path;
        ui.boxes.clear();
        diskSession->run();
        EXPECT_EQ(ui.boxTexts(), c.boxes);
        EXPECT_EQ(totalWrites(), 0u);
    }
}

} // namespace
} // namespace fw::test
