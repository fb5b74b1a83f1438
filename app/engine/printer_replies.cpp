#include "engine/printer_replies.h"

#include "engine/protocol.h"

#include <algorithm>

namespace fw {

namespace {

constexpr std::size_t kAnswerLength = 5;

// The session sees for itself whether the user ended the program meanwhile.
std::uint8_t failed(FailureReport& failures, const Result<>& status)
{
    (void)failures.report(failureText(status));
    return kModelQueryFailed;
}

// A poll blocks inside the channel until a byte comes or the time allowed is
// over (and just past it, so that the deadline test then ends the wait): one
// wake-up per answer, not one every few milliseconds.
std::chrono::milliseconds pollFor(Clock& clock, Clock::duration deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.now());
    return std::max(left, std::chrono::milliseconds(0)) + std::chrono::milliseconds(1);
}

// Acknowledgements ahead of the answer are late ones of records sent before
// the query (an earlier session's last record); no model answer holds one.
void appendAnswer(std::vector<std::uint8_t>& reply, std::span<const std::uint8_t> got)
{
    auto from = got.begin();
    if (reply.empty())
        from = std::find_if(got.begin(), got.end(), [](std::uint8_t b) { return b != kACK; });
    reply.insert(reply.end(), from, got.end());
}

void keepHeard(std::vector<std::uint8_t>& heard, const std::vector<std::uint8_t>& got)
{
    for (const std::uint8_t b : got)
        if (heard.size() < kMaxHeardBytes)
            heard.push_back(b);
}

bool isSingleAck(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() == 1 && bytes[0] == kACK;
}

} // namespace

std::uint8_t awaitPolledAnswer(PolledInput& input, Clock& clock, FailureReport& failures)
{
    std::vector<std::uint8_t> reply;
    const Clock::duration deadline = clock.now() + kModelAnswerWait;
    for (;;) {
        int waiting = 0;
        if (const Result<> s = input.waitingCount(waiting, pollFor(clock, deadline)); !s.ok())
            return failed(failures, s);
        if (waiting != 0) {
            std::vector<std::uint8_t> got;
            if (const Result<> s = input.read(got); !s.ok())
                return failed(failures, s);
            appendAnswer(reply, got);
            if (reply.size() == kAnswerLength) {
                const std::uint8_t code = modelCodeOf(reply);
                if (code != kModelUnknown)
                    return code;
            } else if (reply.size() > kAnswerLength) {
                return kModelUnknown;
            }
        }
        if (clock.now() > deadline)
            return kModelUnknown;
    }
}

AckWait awaitPolledAck(PolledInput& input, Clock& clock, FailureReport& failures,
                       std::vector<std::uint8_t>& heard)
{
    const Clock::duration deadline = clock.now() + kAckWait;
    std::vector<std::uint8_t> got;
    for (;;) {
        int waiting = 0;
        const Result<> poll = input.waitingCount(waiting, pollFor(clock, deadline));
        if (!poll.ok() && !failures.report(failureText(poll)))
            return AckWait::Ended;
        if (!poll.ok() || waiting != 0) {
            const Result<> rd = input.read(got);
            if (!rd.ok())
                return failures.report(failureText(rd)) ? AckWait::Lost : AckWait::Ended;
            keepHeard(heard, got);
            if (isSingleAck(got))
                return AckWait::Accepted;
        }
        if (!poll.ok())
            return AckWait::Lost;
        if (clock.now() > deadline)
            return AckWait::TimedOut;
    }
}

std::uint8_t awaitBlockAnswer(BlockInput& input, Clock& clock, FailureReport& failures)
{
    const Clock::duration deadline = clock.now() + kModelAnswerWait;
    std::vector<std::uint8_t> reply;
    std::vector<std::uint8_t> got;
    do {
        if (const Result<> s = input.read(got); s.failed())
            return failed(failures, s);
        appendAnswer(reply, got);
    } while (reply.empty() && !got.empty() && clock.now() <= deadline);
    return modelCodeOf(reply);
}

AckWait awaitBlockAck(BlockInput& input, Clock& clock, FailureReport& failures,
                      std::vector<std::uint8_t>& heard)
{
    constexpr std::chrono::milliseconds kIdle{1};
    const Clock::duration deadline = clock.now() + kAckWait;
    for (;;) {
        const Clock::duration before = clock.now();
        std::vector<std::uint8_t> got;
        const Result<> rd = input.read(got);
        if (rd.failed())
            return failures.report(failureText(rd)) ? AckWait::Lost : AckWait::Ended;
        keepHeard(heard, got);
        if (isSingleAck(got))
            return AckWait::Accepted;
        const Clock::duration after = clock.now();
        if (after > deadline)
            return AckWait::TimedOut;
        if (got.empty() && after - before < kIdle)
            clock.sleep(kIdle);
    }
}

} // namespace fw
