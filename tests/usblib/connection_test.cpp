// usb_open, usb_write, usb_read and usb_close over the fake platform:
// results, connection state, totals, staging and every diagnostic line.

#include "capture.h"
#include "connection.h"
#include "expected_lines.h"
#include "fake_platform.h"

#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <string>
#include <vector>

namespace fw::usb::test {
namespace {

constexpr int kTimeoutMs = 25;

// A successful open, with the events the fake platform gave.
std::string opened(Event read, Event write)
{
    return linesOf(readEventLine(read), writeEventLine(write));
}
const std::string kOpened = opened(0x1a4, 0x1a5);

std::vector<std::uint8_t> bytes(std::size_t n)
{
    std::vector<std::uint8_t> data(n);
    std::iota(data.begin(), data.end(), std::uint8_t{0});
    return data;
}

struct Fixture : testing::Test {
    FakePlatform platform;
    Connection connection{platform, kTimeoutMs};

    std::string open(const char* path = "\\\\?\\usb#printer")
    {
        return printedBy([&] { result = connection.open(path); });
    }
    std::string write(const std::vector<std::uint8_t>& data)
    {
        return printedBy([&] {
            result = connection.write(data.data(), static_cast<std::int32_t>(data.size()));
        });
    }
    std::string read(std::uint8_t* buffer)
    {
        return printedBy([&] { result = connection.read(buffer); });
    }
    void TearDown() override
    {
        EXPECT_FALSE(platform.outstanding()) << "a request was left outstanding";
    }

    std::int32_t result = 0;
};

// ---- usb_open ----

struct OpenCase {
    const char* name;
    std::string path;
    std::vector<std::string> missing; // pipe names that do not exist
    std::uint32_t error;
    int eventsBeforeFailure;
    std::int32_t result;
    std::string lines;
    std::size_t pipesLeftOpen;
    std::size_t eventsLeft;
};

class Open : public Fixture, public testing::WithParamInterface<OpenCase> {};

TEST_P(Open, OpensBothPipesAndEventsOrFailsCleanly)
{
    const OpenCase& c = GetParam();
    platform.missingPipes.insert(c.missing.begin(), c.missing.end());
    platform.pipeError = c.error;
    platform.eventsBeforeFailure = c.eventsBeforeFailure;

    EXPECT_EQ(open(c.path.c_str()), c.lines);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(platform.openPipes(), c.pipesLeftOpen);
    EXPECT_EQ(platform.liveEvents(), c.eventsLeft);
}

const std::string kPath = "\\\\?\\usb#printer";
const std::string kEventFailed = linesOf(openFailedLine(kStatusDriverError));

INSTANTIATE_TEST_SUITE_P(
    Table, Open,
    testing::Values(
        OpenCase{"Success", kPath, {}, 0, -1, 0, kOpened, 2, 2},
        OpenCase{
            "ReadPipeMissing", kPath, {kPath + "\\PIPE01"}, 2, -1, -1, pipeFailedLines(2), 0, 0},
        OpenCase{
            "WritePipeMissing", kPath, {kPath + "\\PIPE00"}, 3, -1, -1, pipeFailedLines(3), 0, 0},
        OpenCase{"BothMissing",
                 kPath,
                 {kPath + "\\PIPE00", kPath + "\\PIPE01"},
                 2,
                 -1,
                 -1,
                 pipeFailedLines(2),
                 0,
                 0},
        OpenCase{"ErrorWithBit15SignWidened",
                 kPath,
                 {kPath + "\\PIPE01"},
                 0x0001ABCD,
                 -1,
                 -1,
                 linesOf(lastErrorLine(0x0001ABCD), openFailedLine(static_cast<Status>(0xABCD))),
                 0,
                 0},
        OpenCase{"ReadEventFails", kPath, {}, 0, 0, -1, kEventFailed, 2, 0},
        OpenCase{"WriteEventFails", kPath, {}, 0, 1, -1, kEventFailed, 2, 1},
        OpenCase{"LongestPath", std::string(252, 'p'), {}, 0, -1, 0, kOpened, 2, 2},
        OpenCase{"PathTooLong", std::string(253, 'p'), {}, 0, -1, -1, pipeFailedLines(206), 0, 0},
        OpenCase{"BlankTextWhenNoPrinterWasFound",
                 std::string(256, ' '),
                 {},
                 0,
                 -1,
                 -1,
                 pipeFailedLines(206),
                 0,
                 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, OpenNamesTheReadPipeFirstThenTheWritePipe)
{
    open("/dev/usb/lp3");
    EXPECT_EQ(platform.openedPipes,
              (std::vector<std::string>{"/dev/usb/lp3\\PIPE01", "/dev/usb/lp3\\PIPE00"}));
}

TEST_F(Fixture, PathTooLongOpensNothing)
{
    open(std::string(300, 'p').c_str());
    EXPECT_TRUE(platform.openedPipes.empty());
}

TEST_F(Fixture, OpenAgainReleasesTheEarlierPipes)
{
    open();
    EXPECT_EQ(open(), opened(0x1a6, 0x1a7));
    EXPECT_EQ(platform.openPipes(), 2u);
    EXPECT_EQ(platform.liveEvents(), 2u);
}

// ---- state transitions ----

struct StateCase {
    const char* name;
    int eventsBeforeFailure; // -1 open succeeds; 0 or 1 an event fails
    bool missingPipe;
    bool closeFirst;
    std::string writeLines;
};

class State : public Fixture, public testing::WithParamInterface<StateCase> {};

TEST_P(State, WriteAndReadFailAsTheStateSays)
{
    const StateCase& c = GetParam();
    platform.eventsBeforeFailure = c.eventsBeforeFailure;
    if (c.missingPipe)
        platform.missingPipes.insert(kPath + "\\PIPE01");
    open();
    if (c.closeFirst) {
        EXPECT_EQ(printedBy([&] { EXPECT_EQ(connection.close(), 0); }), "");
    }

    EXPECT_EQ(write({1, 2, 3}), c.writeLines);
    EXPECT_EQ(result, -1);
    std::uint8_t buffer[256];
    EXPECT_EQ(read(buffer), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(platform.writeAttempts + platform.readRequests, 0) << "nothing may be issued";
}

const std::string kNoPipe = writeWithoutPipeLines();
const std::string kNoEvent = linesOf(noWriteEventLine(), writeFailedLine(kStatusDriverError));

INSTANTIATE_TEST_SUITE_P(
    Table, State,
    testing::Values(StateCase{"AfterClose", -1, false, true, kNoPipe},
                    StateCase{"AfterFailedOpen", -1, true, false, kNoPipe},
                    StateCase{"PipesWithoutReadEvent", 0, false, false, kNoEvent},
                    StateCase{"PipesWithoutWriteEvent", 1, false, false, kNoEvent},
                    StateCase{"PipesWithoutEventsThenClosed", 0, false, true, kNoPipe}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, BeforeAnyOpenWriteAndReadFail)
{
    EXPECT_EQ(write({1}), kNoPipe);
    EXPECT_EQ(result, -1);
    std::uint8_t buffer[256];
    EXPECT_EQ(read(buffer), "");
    EXPECT_EQ(result, -1);
}

TEST_F(Fixture, CloseTwiceClosesOnlyOnce)
{
    open();
    EXPECT_EQ(connection.close(), 0);
    EXPECT_EQ(platform.openPipes(), 0u);
    EXPECT_EQ(platform.liveEvents(), 0u);
    EXPECT_EQ(connection.close(), 0); // the fake throws on a second close of the same handle
}

// ---- usb_write ----

struct WriteCase {
    const char* name;
    std::size_t length;
    std::vector<WriteStep> steps;
    std::int32_t result;
    std::string lines;
    std::size_t sentBytes;
};

class Write : public Fixture, public testing::WithParamInterface<WriteCase> {};

TEST_P(Write, SendsTheBlockAndReportsIt)
{
    const WriteCase& c = GetParam();
    open();
    platform.writes.assign(c.steps.begin(), c.steps.end());
    const auto data = bytes(c.length);

    EXPECT_EQ(write(data), c.lines);
    EXPECT_EQ(result, c.result);
    ASSERT_EQ(platform.sent.size(), c.sentBytes);
    EXPECT_TRUE(std::equal(platform.sent.begin(), platform.sent.end(), data.begin()));
    EXPECT_EQ(connection.totalWritten(), c.result == 0 ? static_cast<std::int32_t>(c.length) : 0);
}

const WriteStep kPendingDone{Issue::Pending, kAll, Collect::Done};
const std::string kShort = writeShortLine().text();
const std::string kFailedWhileWaiting = linesOf(writeIncompleteLine(), writeShortLine());

INSTANTIATE_TEST_SUITE_P(
    Table, Write,
    testing::Values(
        WriteCase{"ThreeBytes", 3, {}, 0, writtenLines(bytes(3), 3), 3},
        WriteCase{"FullBlock", 256, {}, 0, writtenLines(bytes(256), 256), 256},
        WriteCase{"OneTooMany", 257, {}, -1, "", 0},
        WriteCase{"Empty", 0, {}, 0, writtenLines({}, 0), 0},
        WriteCase{"PendingThenDone", 5, {kPendingDone}, 0, writtenLines(bytes(5), 5), 5},
        WriteCase{"InPieces",
                  6,
                  {{Issue::Done, 2}, {Issue::Pending, 1, Collect::Done}, {Issue::Done}},
                  0,
                  writtenLines(bytes(6), 6),
                  6},
        WriteCase{"RefusedAtOnce", 4, {{Issue::Failed}}, -1, kShort, 0},
        WriteCase{"FailsWhileWaiting",
                  4,
                  {{Issue::Pending, kAll, Collect::Failed}},
                  -1,
                  kFailedWhileWaiting,
                  0},
        WriteCase{"FailsAfterAPiece", 4, {{Issue::Done, 3}, {Issue::Failed}}, -1, kShort, 3},
        WriteCase{"DeviceTakesNothing",
                  4,
                  {{Issue::Done, 0}, {Issue::Done, 0}, {Issue::Done, 0}},
                  -1,
                  kShort,
                  0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, WriteEndsWhenThePlatformNeverFinishesIt)
{
    open();
    platform.writes = {{Issue::Pending, kAll, Collect::Incomplete}};
    EXPECT_EQ(write({1}), kFailedWhileWaiting);
    EXPECT_EQ(result, -1);
    // The fake still holds the request it never finished; let it go so the
    // fixture's outstanding check looks at the logic only.
    platform = FakePlatform{};
}

TEST_F(Fixture, DeviceThatKeepsFailingEndsTheWrite)
{
    open();
    for (int i = 0; i < 50; ++i)
        platform.writes.push_back({Issue::Failed});
    write(bytes(10));
    EXPECT_EQ(result, -1);
    EXPECT_EQ(platform.writeAttempts, 1);
}

TEST_F(Fixture, NegativeLengthCopiesNothing)
{
    open();
    EXPECT_EQ(printedBy([&] { result = connection.write(nullptr, -1); }), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(printedBy([&] { result = connection.write(nullptr, INT32_MIN); }), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(platform.writeAttempts, 0);
}

TEST_F(Fixture, MissingDataIsNotInitialised)
{
    open();
    EXPECT_EQ(printedBy([&] { result = connection.write(nullptr, 4); }),
              linesOf(notInitializedLine(), writeFailedLine(kStatusNotInitialized)));
    EXPECT_EQ(result, -1);
}

TEST_F(Fixture, TotalsCountCompleteWritesUntilTheNextOpen)
{
    open();
    EXPECT_EQ(write(bytes(10)), writtenLines(bytes(10), 10));
    EXPECT_EQ(write(bytes(20)), writtenLines(bytes(20), 30));
    EXPECT_EQ(write({}), writtenLines({}, 30));
    platform.writes = {{Issue::Failed}};
    write(bytes(5));
    EXPECT_EQ(connection.totalWritten(), 30);
    connection.close();
    EXPECT_EQ(connection.totalWritten(), 30) << "close keeps the total";
    open();
    EXPECT_EQ(write(bytes(4)), writtenLines(bytes(4), 4));
}

TEST_F(Fixture, FailedOpenKeepsTheTotal)
{
    open();
    write(bytes(7));
    platform.missingPipes.insert(kPath + "\\PIPE00");
    open();
    EXPECT_EQ(connection.totalWritten(), 7);
}

// What the printer sent before an open is dropped by the open that succeeds,
// once both pipes and events are there.
TEST_F(Fixture, OnlyAnOpenThatSucceedsDropsWhatCameBefore)
{
    open();
    EXPECT_EQ(platform.discards, 1);
    platform.missingPipes.insert(kPath + "\\PIPE00");
    open();
    EXPECT_EQ(platform.discards, 1);
    platform.missingPipes.clear();
    platform.eventsBeforeFailure = platform.liveEvents() + 1;
    open();
    EXPECT_EQ(platform.discards, 1);
}

// ---- usb_read ----

struct ReadCase {
    const char* name;
    ReadStep step;
    std::int32_t result;
    std::string lines;
    int withdrawals;
};

class Read : public Fixture, public testing::WithParamInterface<ReadCase> {};

const std::vector<std::uint8_t> kAnswer{0x41, 0x42, 0x43, 0x44, 0x0D};
const std::string kAnswerLines = readLines(kAnswer);
const std::string kTimedOut = receiveTimeoutLine().text();

TEST_P(Read, CopiesWhatArrivedAndLeavesTheRest)
{
    const ReadCase& c = GetParam();
    open();
    platform.reads = {c.step};
    std::uint8_t buffer[256];
    std::memset(buffer, ' ', sizeof buffer);

    EXPECT_EQ(read(buffer), c.lines);
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(platform.withdrawals, c.withdrawals);
    const std::size_t copied = c.result > 0 ? static_cast<std::size_t>(c.result) : 0;
    EXPECT_TRUE(
        std::equal(c.step.data.begin(), c.step.data.begin() + static_cast<long>(copied), buffer));
    for (std::size_t i = copied; i < sizeof buffer; ++i)
        ASSERT_EQ(buffer[i], ' ') << "byte " << i << " must be left as it was";
}

INSTANTIATE_TEST_SUITE_P(
    Table, Read,
    testing::Values(
        ReadCase{"AtOnce", {Issue::Done, kAnswer}, 5, kAnswerLines, 0},
        ReadCase{"AfterWaiting",
                 {Issue::Pending, kAnswer, Wait::Signalled, Collect::Done},
                 5,
                 kAnswerLines,
                 0},
        ReadCase{"Acknowledgement", {Issue::Done, {0x06}}, 1, readLines({0x06}), 0},
        ReadCase{"NothingAtOnce", {Issue::Done, {}}, 0, "", 0},
        ReadCase{
            "NothingAfterWaiting", {Issue::Pending, {}, Wait::Signalled, Collect::Done}, 0, "", 0},
        ReadCase{"TimeOut", {Issue::Pending, kAnswer, Wait::TimedOut}, -1, kTimedOut, 1},
        ReadCase{"Refused", {Issue::Failed, kAnswer}, -1, "", 0},
        ReadCase{"FailsWhileWaiting",
                 {Issue::Pending, kAnswer, Wait::Signalled, Collect::Failed},
                 -1,
                 "",
                 0},
        ReadCase{"StillRunningAfterSignal",
                 {Issue::Pending, kAnswer, Wait::Signalled, Collect::Incomplete},
                 0,
                 "",
                 1},
        ReadCase{"WaitEndsOtherwise", {Issue::Pending, kAnswer, Wait::Other}, 0, "", 1},
        // The request finished in the moment it was withdrawn: its bytes are the answer.
        ReadCase{"FinishedAsItTimedOut",
                 {Issue::Pending, {0x06}, Wait::TimedOut, Collect::Done, Collect::Done},
                 1,
                 readLines({0x06}),
                 1},
        ReadCase{"FinishedAsTheWaitEnded",
                 {Issue::Pending, kAnswer, Wait::Other, Collect::Done, Collect::Done},
                 5,
                 kAnswerLines,
                 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Fixture, ReadWaitsForTheReceiveTimeOut)
{
    open();
    std::uint8_t buffer[256];
    read(buffer);
    EXPECT_EQ(platform.lastWaitMs, kTimeoutMs);
}

TEST_F(Fixture, FullBlockIsRead)
{
    open();
    platform.reads = {{Issue::Done, bytes(256)}};
    std::uint8_t buffer[256] = {};
    EXPECT_EQ(read(buffer), readLines(bytes(256)));
    EXPECT_EQ(result, 256);
    EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 256), bytes(256));
}

TEST_F(Fixture, MissingBufferFailsBeforeAnythingIsRead)
{
    open();
    platform.reads = {{Issue::Done, kAnswer}};
    EXPECT_EQ(read(nullptr), "");
    EXPECT_EQ(result, -1);
    EXPECT_EQ(platform.readRequests, 0);
}

TEST_F(Fixture, TimedOutReadDoesNotDisturbTheNextOne)
{
    open();
    platform.reads = {{Issue::Pending, {0x15}, Wait::TimedOut}, {Issue::Done, {0x06}}};
    std::uint8_t buffer[256];
    EXPECT_EQ(read(buffer), kTimedOut);
    EXPECT_EQ(read(buffer), readLines({0x06}));
    EXPECT_EQ(result, 1);
}

} // namespace
} // namespace fw::usb::test
