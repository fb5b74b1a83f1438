// The session from the press of "Download Start" to its outcome, through the
// view it reports to, on scripted channels and a fake clock.

#include "engine/session.h"
#include "engine_fakes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include <sys/stat.h>

namespace fw::test {
namespace {

using Kind = SessionOutcome::Kind;
constexpr ChannelKind kSerial = ChannelKind::Serial, kUsb = ChannelKind::Usb,
                      kNetwork = ChannelKind::Network;
constexpr ChannelKind kAllKinds[] = {kSerial, kUsb, kNetwork};

const std::string M = modelRecord(), H = header90("010000"), D1 = dataRecord("1111"),
                  D2 = dataRecord("2222"), E = lastRecord("3333");
// Model record, section header, then the section.
const std::string kPackage = M + H + D1 + D2 + E;

class SessionTest : public ::testing::Test {
protected:
    SessionTest() { package(kPackage); }

    void choose(std::optional<ChannelKind> kind) { view.chosen = kind; }
    void package(const std::string& s) { reader.content = bytesOf(s); }
    void allPrintersAnswer(const std::string& model)
    {
        for (ChannelKind k : kAllKinds)
            channels.of(k).printer = printerAnswering(model);
    }
    // One session; what the view showed before is forgotten.
    SessionOutcome run(DownloadSession& s)
    {
        view.clearShown();
        view.processEventsCalls = 0;
        return s.run(path, view);
    }
    SessionOutcome run() { return run(session); }
    void expectUnlocked()
    {
        EXPECT_FALSE(view.locked);
        EXPECT_FALSE(view.busy);
    }
    std::size_t totalWrites() const
    {
        return channels.serial.writes.size() + channels.usb.writes.size() +
               channels.network.writes.size();
    }
    bool anyOpened() const
    {
        return !channels.serial.opens.empty() || !channels.usb.opens.empty() ||
               !channels.network.opens.empty();
    }

    FakeClock clock;
    FakeChannels channels{clock};
    ScriptedReader reader;
    RecordingView view;
    std::string path = "/k20t/K20T.DPX";
    DownloadSession session{channels, clock, reader};
};

std::vector<Bytes> onWire(std::initializer_list<std::string> records)
{
    std::vector<Bytes> out;
    for (const std::string& r : records)
        out.push_back(bytesOf(r.substr(0, r.size() - 2)));
    return out;
}

std::size_t bytesIn(const std::vector<Bytes>& records)
{
    std::size_t n = 0;
    for (const Bytes& r : records)
        n += r.size();
    return n;
}

TEST_F(SessionTest, DownloadsOverEachChannelAndModel)
{
    const auto n = [](const std::string& s) { return static_cast<int>(s.size()); };
    struct Row {
        const char* name;
        ChannelKind kind;
        std::string model;
        std::uint8_t code;
        std::vector<Bytes> records;
        int maximum;
        int passed;
        int updates;
    } rows[] = {
        {"serial TV-K3", kSerial, "TV-K3", kModelTVK3, onWire({D1, D2, E}), n(D1 + D2 + E),
         n(D1 + D2 + E), 4},
        {"serial K20_T", kSerial, "K20_T", kModelK20T, onWire({D1, D2, E}), n(D1 + D2 + E),
         n(D1 + D2 + E), 4},
        // MDL40 skips the first record and counts towards the end of the
        // first section, which the transfer runs past.
        {"serial MDL40", kSerial, "MDL40", kModelMDL40, onWire({H, D1, D2, E}), n(M + H),
         n(H + D1 + D2 + E), 5},
        {"serial, no answer", kSerial, "", kModelUnknown, onWire({D1, D2, E}), n(D1 + D2 + E),
         n(D1 + D2 + E), 4},
        {"USB TV-K3", kUsb, "TV-K3", kModelTVK3, onWire({D1, D2, E}), n(D1 + D2 + E),
         n(D1 + D2 + E), 4},
        {"USB MDL40", kUsb, "MDL40", kModelMDL40, onWire({H, D1, D2, E}), n(M + H),
         n(H + D1 + D2 + E), 1},
        {"USB, no answer", kUsb, "", kModelUnknown, onWire({D1, D2, E}), n(D1 + D2 + E),
         n(D1 + D2 + E), 1},
        {"network", kNetwork, "", kModelK20T, onWire({D1, D2, E}), n(D1 + D2 + E), n(D1 + D2 + E),
         4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedChannel& ch = channels.of(row.kind);
        ch.writes.clear();
        choose(row.kind);
        allPrintersAnswer(row.model);
        view.onProcessEvents = [&] {
            EXPECT_TRUE(view.locked);
            EXPECT_TRUE(view.busy);
        };

        const SessionOutcome outcome = run();

        ASSERT_EQ(view.messageTexts(), std::vector<std::string>{kMsgDownloadSuccess});
        EXPECT_FALSE(view.messages[0].busy);
        ASSERT_FALSE(ch.writes.empty());
        EXPECT_TRUE(isModelQuery(ch.writes[0]));
        EXPECT_EQ(ch.recordsWritten(), row.records);
        ASSERT_FALSE(view.maxima.empty());
        EXPECT_EQ(view.maxima.back(), static_cast<float>(row.maximum));
        ASSERT_FALSE(view.passed.empty());
        EXPECT_EQ(view.passed.back(), row.passed);
        EXPECT_EQ(view.processEventsCalls, row.updates);
        EXPECT_EQ(static_cast<int>(view.passed.size()), row.updates);
        // What the command line prints.
        EXPECT_EQ(outcome.kind, Kind::Success);
        EXPECT_EQ(outcome.text(), kMsgDownloadSuccess);
        EXPECT_EQ(outcome.modelCode, row.code);
        EXPECT_EQ(view.opensHeard, std::vector<bool>{true});
        EXPECT_EQ(view.answersHeard, std::vector<std::uint8_t>{row.code});
        EXPECT_EQ(outcome.recordsSent, row.records.size());
        EXPECT_EQ(outcome.bytesSent, bytesIn(row.records));
        expectUnlocked();
        EXPECT_FALSE(ch.isOpen());
    }
    EXPECT_EQ(reader.opened.size(), std::size(rows));
    // The package stays with the session until the next one.
    const std::span<const std::uint8_t> kept = session.package();
    EXPECT_EQ(Bytes(kept.begin(), kept.end()), bytesOf(kPackage));
}

TEST_F(SessionTest, ChannelOpenedWithTheViewsSettings)
{
    allPrintersAnswer("TV-K3");
    view.settings.portNumber = 2;
    view.settings.line = {19200, 'E', 7, 2};
    view.settings.usbDevicePath = "/dev/usb/lp3";
    view.settings.networkAddress = "printer.local ";
    for (ChannelKind kind : kAllKinds) {
        choose(kind);
        run();
    }
    for (ChannelKind kind : kAllKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        const std::vector<ChannelSettings>& opens = channels.of(kind).opens;
        ASSERT_EQ(opens.size(), 1u);
        EXPECT_EQ(opens[0].portNumber, 2);
        EXPECT_EQ(opens[0].line.baud, 19200);
        EXPECT_EQ(opens[0].line.parity, 'E');
        EXPECT_EQ(opens[0].line.dataBits, 7);
        EXPECT_EQ(opens[0].line.stopBits, 2);
        EXPECT_EQ(opens[0].usbDevicePath, "/dev/usb/lp3");
        EXPECT_EQ(opens[0].networkAddress, "printer.local ");
    }
}

TEST_F(SessionTest, NoQueryFromHeaderValue0x800000On)
{
    struct Case {
        const char* name;
        std::string header;
        bool query;
    } cases[] = {
        {"0x7FFFFF", header90("7FFFFF"), true},      {"0x800000", header90("800000"), false},
        {"0xFFFFFF", header90("FFFFFF"), false},     {"0x007FFFFF", header93("007FFFFF"), true},
        {"0x80000000", header93("80000000"), false}, {"0xFFFFFFFF", header93("FFFFFFFF"), false},
    };
    allPrintersAnswer("TV-K3");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        package(c.header + D1 + E);
        channels.serial.writes.clear();
        const SessionOutcome outcome = run();
        EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgDownloadSuccess});
        ASSERT_FALSE(channels.serial.writes.empty());
        EXPECT_EQ(isModelQuery(channels.serial.writes[0]), c.query);
        EXPECT_EQ(outcome.modelCode, c.query ? kModelTVK3 : kModelNoQuery);
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
        std::vector<std::string> messages;
    } cases[] = {
        {"no file chosen", "", false, kPackage, {"cannot open ", "no length", kMsgFirmwareNotOpen}},
        {"file gone",
         "/k20t/gone.DPX",
         true,
         kPackage,
         {"cannot open /k20t/gone.DPX", "no length", kMsgFirmwareNotOpen}},
        {"empty file", "/k20t/empty.DPX", false, "", {kMsgFirmwareNotOpen}},
        // The read fails although the buffer was filled: still nothing is sent.
        {"read fails", "/k20t/K20T.DPX", false, kPackage, {"read failed", kMsgFirmwareNotOpen}},
    };
    for (ChannelKind kind : kAllKinds) {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            choose(kind);
            path = c.path;
            reader.failOpen = c.failOpen;
            reader.failRead = std::string(c.name) == "read fails";
            package(c.content);
            const int usbCloses = channels.usb.closes;
            const SessionOutcome outcome = run();
            EXPECT_EQ(view.messageTexts(), c.messages);
            EXPECT_EQ(outcome.kind, Kind::NotOpen);
            EXPECT_EQ(totalWrites(), 0u);
            EXPECT_FALSE(anyOpened());
            EXPECT_FALSE(reader.isOpen);
            // No part of it is kept either: a digest of it would name bytes never sent.
            EXPECT_TRUE(session.package().empty());
            // The end still closes the chosen kind; USB is closed unopened.
            EXPECT_EQ(channels.usb.closes - usbCloses, kind == kUsb ? 1 : 0);
            expectUnlocked();
        }
    }
}

TEST_F(SessionTest, FailureReportedThenTheSessionCarriesOn)
{
    allPrintersAnswer("TV-K3");
    // One failing poll in the first record's wait: reported, then the read
    // it guards still takes the acknowledgement.
    channels.serial.printer = [answer = channels.serial.printer](ScriptedChannel& ch,
                                                                 const Bytes& b) {
        answer(ch, b);
        if (!isModelQuery(b) && ch.writes.size() == 2)
            ch.failingPolls = 1;
    };
    std::vector<bool> busy;
    view.onProcessEvents = [&] { busy.push_back(view.busy); };
    run();
    EXPECT_EQ(view.messageTexts(), (std::vector<std::string>{"poll failed", kMsgDownloadSuccess}));
    // The first report ends the busy state for good.
    EXPECT_FALSE(view.messages[0].busy);
    ASSERT_FALSE(busy.empty());
    for (bool b : busy)
        EXPECT_FALSE(b);
}

TEST_F(SessionTest, BusyUntilTheOutcome)
{
    allPrintersAnswer("TV-K3");
    std::vector<bool> busy;
    view.onProcessEvents = [&] { busy.push_back(view.busy); };
    run();
    ASSERT_FALSE(busy.empty());
    for (bool b : busy)
        EXPECT_TRUE(b);
    EXPECT_FALSE(view.messages.at(0).busy);
    EXPECT_FALSE(view.busy);
}

TEST_F(SessionTest, FailedQueryEndsEarlyWithoutOutcomeBox)
{
    const Result<> refused = Result<>::failure("Cannot open the port COM2.");
    for (ChannelKind kind : kAllKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        choose(kind);
        ScriptedChannel& ch = channels.of(kind);
        ch.openStatus = refused;
        ch.writeStatus = [&](const Bytes&) { return refused; };
        const SessionOutcome outcome = run();
        // The open's report and the query's; no outcome box.
        EXPECT_EQ(view.messageTexts(),
                  (std::vector<std::string>{refused.error(), refused.error()}));
        EXPECT_EQ(outcome.kind, Kind::QueryFailed);
        EXPECT_EQ(outcome.text(), "");
        EXPECT_EQ(outcome.modelCode, kModelQueryFailed);
        EXPECT_EQ(outcome.recordsSent, 0u);
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
    choose(kNetwork);
    ScriptedChannel& net = channels.network;
    net.writeStatus = [](const Bytes&) {
        return Result<>::failure("The network name cannot be found.");
    };
    run();
    EXPECT_TRUE(net.isOpen());
    EXPECT_EQ(net.closes, 0);

    choose(kSerial);
    allPrintersAnswer("TV-K3");
    int closesWhenSerialOpened = -1;
    channels.serial.printer = [&](ScriptedChannel& self, const Bytes& w) {
        if (closesWhenSerialOpened < 0)
            closesWhenSerialOpened = net.closes;
        printerAnswering("TV-K3")(self, w);
    };
    run();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgDownloadSuccess});
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
        const SessionOutcome outcome = run();
        EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgInvalidModel});
        EXPECT_EQ(outcome.kind, Kind::InvalidModel);
        EXPECT_EQ(channels.serial.writes.size(), 1u); // the query only
        expectUnlocked();
    }
}

TEST_F(SessionTest, AcknowledgementOutcomes)
{
    struct Case {
        const char* name;
        ChannelKind kind;
        int ackedRecords; // the printer acknowledges this many, then falls silent
        std::string message;
        std::size_t records;
    } cases[] = {
        {"serial: last record's wait runs out", kSerial, 2, kMsgDownloadSuccess, 3},
        {"USB: last record's wait runs out", kUsb, 2, kMsgDownloadSuccess, 3},
        {"serial: middle record unanswered", kSerial, 1, kMsgCommunicationError, 2},
        {"USB: first record unanswered", kUsb, 0, kMsgCommunicationError, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.kind);
        ScriptedChannel& ch = channels.of(c.kind);
        ch.writes.clear();
        int acked = 0;
        ch.printer = [&](ScriptedChannel& self, const Bytes& w) {
            if (isModelQuery(w))
                self.reply(bytesOf("TV-K3"), 5ms);
            else if (acked++ < c.ackedRecords)
                self.reply({0x06}, 5ms);
        };
        const Clock::duration t0 = clock.t;
        run();
        EXPECT_EQ(view.messageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(ch.recordsWritten().size(), c.records); // nothing after a missing ACK
        EXPECT_GE(clock.t - t0, 5s);
    }
}

TEST_F(SessionTest, DamagedPackagesEndWithAReportNeverSuccess)
{
    const auto at = [](const std::string& before) { return std::to_string(before.size()); };
    const auto noLineEnd = [&](const std::string& before) {
        return "Damaged package: the record at offset " + at(before) +
               " ends without its line end.";
    };
    const auto shortHeader = [&](const std::string& before) {
        return "Damaged package: the section header at offset " + at(before) +
               " is shorter than its fields.";
    };
    struct Case {
        const char* name;
        std::string model;
        std::string package;
        std::string message;
    } cases[] = {
        {"last record without CR", "TV-K3",
         H + D1 +
             "\x01"
             "00ZZ\x17",
         noLineEnd(H + D1)},
        {"no end mark", "TV-K3", H + D1 + D2,
         "Damaged package: no end mark before the end of the package at offset " + at(H + D1 + D2) +
             "."},
        {"section header cut short", "TV-K3",
         M + D1 +
             "\x01"
             "90XXX0100",
         shortHeader(M + D1)},
        {"section header shorter than its fields", "TV-K3",
         D1 +
             "\x01"
             "90XXX01\r\n" +
             E,
         shortHeader(D1)},
        {"MDL40 package without a CR", "MDL40",
         "\x01"
         "97ABC\x01"
         "00DD\x17",
         noLineEnd("")},
        {"no SOH and no CR", "K20_T", "just some bytes", noLineEnd("")},
    };
    for (ChannelKind kind : kAllKinds) {
        choose(kind);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.name);
            allPrintersAnswer(c.model);
            package(c.package);
            const SessionOutcome outcome = run();
            EXPECT_EQ(view.messageTexts(), std::vector<std::string>{c.message});
            EXPECT_EQ(outcome.kind, Kind::Damaged);
            // Found before the printer is reached: not even the query goes out.
            EXPECT_EQ(totalWrites(), 0u);
            EXPECT_FALSE(anyOpened());
            expectUnlocked();
        }
    }
}

// A package whole for one answer and damaged for another: the printer whose
// answer selects the damaged way gets the query and nothing else.
TEST_F(SessionTest, WayTheAnswerSelectsIsCheckedBeforeItsFirstRecord)
{
    const std::string header = "\x01"
                               "93XXX00010000\x17";
    const std::string pkg = M + header + "\r\n" + D1;
    struct Case {
        const char* model;
        Kind kind;
        std::vector<Bytes> records;
    } cases[] = {
        {"MDL40", Kind::Success, {bytesOf(header)}},
        {"K20_T", Kind::Damaged, {}},
    };
    choose(kSerial);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.model);
        channels.serial.writes.clear();
        allPrintersAnswer(c.model);
        package(pkg);
        const SessionOutcome outcome = run();
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(channels.serial.recordsWritten(), c.records);
        ASSERT_FALSE(channels.serial.writes.empty());
        EXPECT_TRUE(isModelQuery(channels.serial.writes.front()));
    }
    EXPECT_EQ(view.messageTexts().back(),
              "Damaged package: no end mark before the end of the package at offset " +
                  std::to_string(pkg.size()) + ".");
}

TEST_F(SessionTest, LastRecordEndingWithTheFilesLastByteGoesThrough)
{
    allPrintersAnswer("K20_T");
    package("\x01"
            "91AAAA\r\n\x01"
            "91BBB\x17\r");
    run();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(channels.serial.recordsWritten(), (std::vector<Bytes>{bytesOf("\x01"
                                                                            "91AAAA"),
                                                                    bytesOf("\x01"
                                                                            "91BBB\x17")}));
    EXPECT_EQ(view.maxima.back(), 17.0f);
    EXPECT_EQ(view.passed.back(), 17);
}

TEST_F(SessionTest, UsbPrinterThatCannotBeReachedIsACommunicationError)
{
    struct Case {
        const char* name;
        Result<> open;
        Result<> write;
        std::size_t records;
    } cases[] = {
        {"usb_open refused", Result<>::refusal(), Result<>::refusal(), 0},
        {"usb_write refused", Result<>::success(), Result<>::refusal(), 1},
    };
    choose(kUsb);
    package(D1 + E); // no header: the query goes out and gets no answer (code 5)
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedChannel& usb = channels.usb;
        usb.writes.clear();
        usb.openStatus = c.open;
        usb.writeStatus = [&](const Bytes&) { return c.write; };
        const SessionOutcome outcome = run();
        EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgCommunicationError});
        EXPECT_EQ(outcome.kind, Kind::CommunicationError);
        EXPECT_EQ(outcome.recordsSent, 0u);
        EXPECT_EQ(usb.recordsWritten().size(), c.records);
    }
}

TEST_F(SessionTest, PrintPathThatCannotBeWrittenEndsAtTheFirstFailedWrite)
{
    choose(kNetwork);
    package(header90("800000") + D1 + D2 + E);
    ScriptedChannel& net = channels.network;
    net.openStatus = Result<>::failure("Cannot open \\\\10.0.0.9\\lp1.");
    net.writeStatus = [](const Bytes&) {
        return Result<>::failure("Write to the print path failed.");
    };
    run();
    EXPECT_EQ(view.messageTexts(), (std::vector<std::string>{"Cannot open \\\\10.0.0.9\\lp1.",
                                                             "Write to the print path failed.",
                                                             kMsgCommunicationError}));
    EXPECT_EQ(net.writes.size(), 1u);
}

TEST_F(SessionTest, PrintJobThatCannotBeHandedOverIsNoSuccess)
{
    choose(kNetwork);
    ScriptedChannel& net = channels.network;
    net.handOverStatus = Result<>::failure("Cannot hand the print job to \\\\h\\lp1: gone.");
    SessionOutcome outcome = run();
    EXPECT_EQ(view.messageTexts(),
              (std::vector<std::string>{"Cannot hand the print job to \\\\h\\lp1: gone.",
                                        kMsgCommunicationError}));
    EXPECT_EQ(outcome.kind, Kind::CommunicationError);
    EXPECT_EQ(net.handOvers, 1);
    EXPECT_FALSE(net.isOpen());

    // Handed over, the job counts; a failed transfer is never handed over.
    net.handOverStatus = Result<>::success();
    outcome = run();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    EXPECT_EQ(outcome.kind, Kind::Success);
    EXPECT_EQ(net.handOvers, 2);
    net.writeStatus = [](const Bytes&) { return Result<>::failure("Write failed."); };
    run();
    EXPECT_EQ(net.handOvers, 2);
}

// The user ends the program during a hand-over: stopped in time, the
// session ends as at any other look (no box); once the printer may hold the
// job, or has it, the stop is not taken and the session tells what the
// printer got.
TEST_F(SessionTest, EndDuringAHandOverStopsItOnlyWhileThePrinterGetsNothing)
{
    const std::string failed = "Cannot hand the print job to \\\\h\\lp1: the printer may print it.";
    struct Case {
        const char* name;
        bool tooLate;
        Result<> handOver;
        Kind kind;
        std::vector<std::string> shown;
    } cases[] = {
        {"stopped in time", false, Result<>::refusal(), Kind::Ended, {}},
        {"handed over before the stop was taken",
         false,
         Result<>::success(),
         Kind::Success,
         {kMsgDownloadSuccess}},
        {"too late, handed over", true, Result<>::success(), Kind::Success, {kMsgDownloadSuccess}},
        {"too late, then failed",
         true,
         Result<>::failure(failed),
         Kind::CommunicationError,
         {failed, kMsgCommunicationError}},
    };
    choose(kNetwork);
    ScriptedChannel& net = channels.network;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        view.end = false;
        view.cannotStopCalls = 0;
        net.handOverScript = [&](HandOverWatch& watch) {
            view.end = true; // the user closes the window
            EXPECT_TRUE(watch.stopRequested());
            if (c.tooLate)
                watch.tooLateToStop();
            return c.handOver;
        };
        const SessionOutcome outcome = run();
        EXPECT_EQ(outcome.kind, c.kind);
        EXPECT_EQ(view.messageTexts(), c.shown);
        EXPECT_EQ(view.cannotStopCalls, c.tooLate ? 1 : 0);
        EXPECT_GT(view.processEventsCalls, 0);
        EXPECT_FALSE(net.isOpen());
        expectUnlocked();
    }
}

TEST_F(SessionTest, RecordTheChannelRefusedIsNeverASuccess)
{
    const Result<> lost = Result<>::failure("The connection to the printer was lost.");
    struct Case {
        const char* name;
        ChannelKind kind;
        std::string refusedRecord;
        std::size_t records;
    } cases[] = {
        {"serial, the record with the end mark", kSerial, E, 3},
        {"network after the query, a middle record", kNetwork, D1, 1},
    };
    allPrintersAnswer("TV-K3");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        choose(c.kind);
        ScriptedChannel& ch = channels.of(c.kind);
        const Bytes refused = onWire({c.refusedRecord})[0];
        ch.writeStatus = [&](const Bytes& w) { return w == refused ? lost : Result<>::success(); };
        const SessionOutcome outcome = run();
        EXPECT_EQ(view.messageTexts(),
                  (std::vector<std::string>{lost.error(), kMsgCommunicationError}));
        EXPECT_EQ(ch.recordsWritten().size(), c.records);
        // Only the records the channel took count as sent.
        EXPECT_EQ(outcome.recordsSent, c.records - 1);
    }
}

TEST_F(SessionTest, NoInterfaceChosenSendsNothing)
{
    choose(std::nullopt);
    allPrintersAnswer("K20_T");
    const int usbCloses = channels.usb.closes;
    const SessionOutcome outcome = run();
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgNoInterface});
    EXPECT_EQ(outcome.kind, Kind::NoInterface);
    EXPECT_EQ(totalWrites(), 0u);
    EXPECT_TRUE(channels.network.opens.empty());
    EXPECT_EQ(channels.usb.closes, usbCloses);
    expectUnlocked();
}

TEST_F(SessionTest, EndOfProgramStopsTheSessionAtItsNextLook)
{
    for (ChannelKind kind : kAllKinds) {
        SCOPED_TRACE(static_cast<int>(kind));
        choose(kind);
        allPrintersAnswer("TV-K3");
        ScriptedChannel& ch = channels.of(kind);
        ch.writes.clear();
        const int closes = ch.closes;
        view.end = false;
        view.onProcessEvents = [&] { view.end = true; };
        const SessionOutcome outcome = run();
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(outcome.kind, Kind::Ended);
        EXPECT_EQ(ch.recordsWritten().size(), 1u);
        EXPECT_FALSE(ch.isOpen());
        EXPECT_EQ(ch.closes, closes + 1);
        expectUnlocked();
    }
}

// A close asked for while the printer keeps its acknowledgement back reaches
// the session before the message it would show: none, the channel released.
TEST_F(SessionTest, CloseDuringASilentWaitEndsBeforeTheOutcomeBox)
{
    for (ChannelKind kind : {kSerial, kUsb}) {
        SCOPED_TRACE(static_cast<int>(kind));
        choose(kind);
        ScriptedChannel& ch = channels.of(kind);
        ch.printer = [](ScriptedChannel& c, const Bytes& b) {
            if (isModelQuery(b))
                c.reply(bytesOf("TV-K3"));
        };
        const int closes = ch.closes;
        view.end = false;
        view.onProcessWindowRequests = [&] { view.end = true; };
        const SessionOutcome outcome = run();
        view.onProcessWindowRequests = nullptr;
        EXPECT_TRUE(view.messages.empty());
        EXPECT_EQ(outcome.kind, Kind::Ended);
        EXPECT_EQ(ch.recordsWritten().size(), 1u);
        EXPECT_EQ(ch.closes, closes + 1);
        expectUnlocked();
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
    DownloadSession diskSession{channels, clock};
};

TEST_F(DiskPackage, ReadsThePackageFile)
{
    path = write("K20T.DPX", kPackage);
    run(diskSession);
    EXPECT_EQ(view.messageTexts(), std::vector<std::string>{kMsgDownloadSuccess});
    const std::span<const std::uint8_t> kept = diskSession.package();
    EXPECT_EQ(Bytes(kept.begin(), kept.end()), bytesOf(kPackage));
}

TEST_F(DiskPackage, UnreadablePackagesAreReportedByName)
{
    const std::string missing = (dir / "missing.DPX").string();
    const std::string pipe = (dir / "pipe.DPX").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0666), 0);
    struct Case {
        const char* name;
        std::string path;
        std::vector<std::string> messages;
    } cases[] = {
        {"no file chosen",
         "",
         {"Cannot open the package file: no file has been chosen.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
        {"missing file",
         missing,
         {"Cannot open the package file \"" + missing + "\": file not found.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
        {"a folder",
         dir.string(),
         {"Cannot open the package file \"" + dir.string() + "\": it is not a file.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
        {"empty file", write("empty.DPX", ""), {kMsgFirmwareNotOpen}},
        {"a named pipe",
         pipe,
         {"Cannot open the package file \"" + pipe + "\": it is not a file.",
          "Cannot read the length of the package file: it is not open.", kMsgFirmwareNotOpen}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        path = c.path;
        run(diskSession);
        EXPECT_EQ(view.messageTexts(), c.messages);
        EXPECT_EQ(totalWrites(), 0u);
    }
}

} // namespace
} // namespace fw::test
