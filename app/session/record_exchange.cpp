#include "session/record_exchange.h"

#include "session/protocol_bytes.h"

#include <vector>

namespace fw {

namespace {

bool isSingleAck(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() == 1 && bytes[0] == kACK;
}

// Writes the record; a failed write is reported, a quiet refusal is not.
bool send(DownloadChannel& ch, std::span<const std::uint8_t> record, SessionHost& host)
{
    const ChannelStatus s = ch.write(record);
    if (s.failed())
        host.report(failureText(s));
    return s.ok();
}

// Serial: poll the waiting count until exactly one ACK is read or the
// deadline passes. A failing poll is followed by the read it guards.
bool awaitSerialAck(DownloadChannel& ch, Clock& clock, SessionHost& host)
{
    const Clock::duration deadline = clock.now() + kAckWait;
    for (;;) {
        int waiting = 0;
        const ChannelStatus poll = ch.waitingCount(waiting, kPollSlice);
        if (!poll.ok())
            host.report(failureText(poll));
        if (!poll.ok() || waiting != 0) {
            std::vector<std::uint8_t> got;
            const ChannelStatus rd = ch.read(got);
            if (!rd.ok())
                host.report(failureText(rd));
            else if (isSingleAck(got))
                return true;
        }
        if (clock.now() > deadline)
            return false;
    }
}

// USB: read until exactly one ACK comes in one read or the deadline passes.
// Each read waits inside the library for a bounded time; one that comes back
// empty at once is followed by a short sleep so the wait does not spin.
bool awaitUsbAck(DownloadChannel& ch, Clock& clock, SessionHost& host)
{
    constexpr std::chrono::milliseconds kIdle{1};
    const Clock::duration deadline = clock.now() + kAckWait;
    for (;;) {
        const Clock::duration before = clock.now();
        std::vector<std::uint8_t> got;
        const ChannelStatus rd = ch.read(got);
        if (rd.failed())
            host.report(failureText(rd));
        else if (isSingleAck(got))
            return true;
        const Clock::duration after = clock.now();
        if (after > deadline)
            return false;
        if (got.empty() && after - before < kIdle)
            clock.sleep(kIdle);
    }
}

} // namespace

ExchangeResult exchangeRecord(std::span<const std::uint8_t> data, std::size_t position,
                              const ExchangeSetup& setup, Clock& clock, SessionHost& host)
{
    ExchangeResult r;
    const AssembledRecord rec = assembleRecord(data, position);
    if (rec.fault) {
        r.fault = rec.fault;
        r.next = position;
        return r;
    }
    r.next = rec.next;
    r.endMark = rec.endMark;
    DownloadChannel& ch = setup.channel;

    switch (ch.kind()) {
    case ChannelKind::Usb:
        if (setup.modelCode == kModelMDL40 || setup.modelCode == kModelUnknown) {
            // No acknowledgement tells whether the printer got the record, so
            // a refused open or write is the only sign of a lost one.
            r.delivered = setup.usbOpened && send(ch, rec.bytes, host);
            if (r.delivered && setup.modelCode == kModelMDL40)
                clock.sleep(kUsbRecordPause);
            return r;
        }
        [[fallthrough]];
    case ChannelKind::Serial: {
        r.delivered = send(ch, rec.bytes, host);
        const bool acked = ch.kind() == ChannelKind::Serial ? awaitSerialAck(ch, clock, host)
                                                            : awaitUsbAck(ch, clock, host);
        if (acked)
            host.progressUpdate(r.next);
        else
            r.ackMissing = true;
        return r;
    }

    case ChannelKind::Network:
        r.delivered = send(ch, rec.bytes, host);
        if (r.delivered)
            host.progressUpdate(r.next);
        return r;
    }
    return r;
}

} // namespace fw
