#pragma once
// The two ways a printer's replies come back, for the channels to pick from:
// a stream of bytes polled for what is waiting (a serial port), or reads that
// each give what one transfer from the printer brought (a USB printer).

#include "engine/channel.h"
#include "engine/clock.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace fw {

class PolledInput {
public:
    virtual ~PolledInput() = default;
    // The number of received bytes not yet read. When none are waiting it may
    // block up to `slice` for one to arrive, so a poll loop does not burn a
    // processor.
    virtual Result<> waitingCount(int& count, std::chrono::milliseconds slice) = 0;
    // Every received byte not yet read.
    virtual Result<> read(std::vector<std::uint8_t>& bytes) = 0;
};

// Polls and reads until the answer is one of the three models, longer than
// an answer, or the model answer's wait is over.
std::uint8_t awaitPolledAnswer(PolledInput& input, Clock& clock, FailureReport& failures);
// Polls and reads until exactly one ACK is read or the wait is over. A
// failing poll is followed by the read it guards; an input that fails them
// will not answer, so the wait ends there. Ended: the user ended the program
// while a failure was shown.
AckWait awaitPolledAck(PolledInput& input, Clock& clock, FailureReport& failures,
                       std::vector<std::uint8_t>& heard);

class BlockInput {
public:
    virtual ~BlockInput() = default;
    // What one read from the printer gives; it waits for a bounded time of its
    // own. Nothing when the printer sent nothing.
    virtual Result<> read(std::vector<std::uint8_t>& bytes) = 0;
};

// The answer must come whole in one read; reads of nothing but late
// acknowledgements are not that read.
std::uint8_t awaitBlockAnswer(BlockInput& input, Clock& clock, FailureReport& failures);
// Reads until exactly one ACK comes in one read or the wait is over; a read
// that comes back empty at once is followed by a short sleep.
AckWait awaitBlockAck(BlockInput& input, Clock& clock, FailureReport& failures,
                      std::vector<std::uint8_t>& heard);

} // namespace fw
