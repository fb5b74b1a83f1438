#include "engine/protocol.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace fw {

namespace {

// --- the model query ---

constexpr std::size_t kAnswerLength = 5;

std::uint8_t failed(ProtocolHost& host, const Result& status)
{
    host.report(failureText(status));
    return kModelQueryFailed;
}

// A serial poll blocks inside the channel until a byte comes or the time
// allowed is over (and just past it, so that the deadline test then ends the
// wait): one wake-up per answer, not one every few milliseconds.
std::chrono::milliseconds pollFor(Clock& clock, Clock::duration deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - clock.now());
    return std::max(left, std::chrono::milliseconds(0)) + std::chrono::milliseconds(1);
}

// What came from the printer before a write cannot answer it: it is dropped
// before the query and before each record.
Result writeAfresh(DownloadChannel& ch, std::span<const std::uint8_t> bytes)
{
    ch.discardInput();
    return ch.write(bytes);
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

std::uint8_t querySerial(DownloadChannel& ch, Clock& clock, ProtocolHost& host)
{
    std::vector<std::uint8_t> reply;
    if (const Result s = writeAfresh(ch, kModelQuery); !s.ok())
        return failed(host, s);
    const Clock::duration deadline = clock.now() + kModelAnswerWait;
    for (;;) {
        int waiting = 0;
        if (const Result s = ch.waitingCount(waiting, pollFor(clock, deadline)); !s.ok())
            return failed(host, s);
        if (waiting != 0) {
            std::vector<std::uint8_t> got;
            if (const Result s = ch.read(got); !s.ok())
                return failed(host, s);
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

std::uint8_t queryUsb(DownloadChannel& ch, Clock& clock, ProtocolHost& host)
{
    if (const Result s = writeAfresh(ch, kModelQuery); s.failed())
        return failed(host, s);
    const Clock::duration deadline = clock.now() + kModelAnswerWait;
    std::vector<std::uint8_t> reply;
    std::vector<std::uint8_t> got;
    // The answer must come whole in one read; a read of nothing but late
    // acknowledgements is not that read.
    do {
        if (const Result s = ch.read(got); s.failed())
            return failed(host, s);
        appendAnswer(reply, got);
    } while (reply.empty() && !got.empty() && clock.now() <= deadline);
    return modelCodeOf(reply);
}

std::uint8_t queryNetwork(DownloadChannel& ch, Clock& clock, ProtocolHost& host)
{
    if (const Result s = writeAfresh(ch, kModelQuery); !s.ok())
        return failed(host, s);
    // Nothing comes back on a print path; the printer gets its second.
    clock.sleep(kModelAnswerWait);
    return kModelK20T;
}

// --- the range choice ---

RangeChoice fromSection(const PackageIndex& index)
{
    RangeChoice r;
    const std::size_t n = index.sectionCount;
    r.position = index.sectionStarts[n];
    r.maximum = index.sectionEnds[n] - r.position;
    return r;
}

RangeChoice invalid()
{
    RangeChoice r;
    r.kind = RangeChoice::Kind::InvalidModel;
    return r;
}

// MDL40 printers take the package from its second record on.
RangeChoice afterFirstRecord(const PackageIndex& index, std::span<const std::uint8_t> data)
{
    RangeChoice r;
    const auto cr = std::find(data.begin(), data.end(), kCR);
    if (cr == data.end()) {
        r.kind = RangeChoice::Kind::Damaged;
        r.fault = PackageFault{PackageFault::Kind::NoLineEnd, 0};
        return r;
    }
    r.position =
        static_cast<std::int32_t>(afterLineEnd(data, static_cast<std::size_t>(cr - data.begin())));
    r.maximum = index.sectionEnds[0];
    return r;
}

// --- the record exchange ---

bool isSingleAck(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() == 1 && bytes[0] == kACK;
}

// Writes the record; a failed write is reported, a quiet refusal is not.
bool send(DownloadChannel& ch, std::span<const std::uint8_t> record, ProtocolHost& host)
{
    const Result s = writeAfresh(ch, record);
    if (s.failed())
        host.report(failureText(s));
    return s.ok();
}

// How an acknowledgement wait ended.
enum class Ack { Accepted, TimedOut, Lost };

// Serial: poll the waiting count until exactly one ACK is read or the
// deadline passes. A failing poll is followed by the read it guards; a port
// that fails them (closed, or a device that is gone) will not answer, so
// the wait ends there, reported once.
// Keeps the first bytes the printer sent during a wait, for whoever shows
// the exchange; the wait itself does not look at them.
void keepHeard(std::vector<std::uint8_t>& heard, const std::vector<std::uint8_t>& got)
{
    for (const std::uint8_t b : got)
        if (heard.size() < ExchangeResult::kMaxHeard)
            heard.push_back(b);
}

Ack awaitSerialAck(DownloadChannel& ch, Clock& clock, ProtocolHost& host,
                   std::vector<std::uint8_t>& heard)
{
    const Clock::duration deadline = clock.now() + kAckWait;
    std::vector<std::uint8_t> got;
    for (;;) {
        int waiting = 0;
        const Result poll = ch.waitingCount(waiting, pollFor(clock, deadline));
        if (!poll.ok())
            host.report(failureText(poll));
        if (!poll.ok() || waiting != 0) {
            const Result rd = ch.read(got);
            if (!rd.ok()) {
                host.report(failureText(rd));
                return Ack::Lost;
            }
            keepHeard(heard, got);
            if (isSingleAck(got))
                return Ack::Accepted;
        }
        if (!poll.ok())
            return Ack::Lost;
        if (clock.now() > deadline)
            return Ack::TimedOut;
    }
}

// USB: read until exactly one ACK comes in one read or the deadline passes.
// Each read waits inside the library for a bounded time; one that comes back
// empty at once is followed by a short sleep so the wait does not spin. A
// library that cannot be called ends the wait, reported once.
Ack awaitUsbAck(DownloadChannel& ch, Clock& clock, ProtocolHost& host,
                std::vector<std::uint8_t>& heard)
{
    constexpr std::chrono::milliseconds kIdle{1};
    const Clock::duration deadline = clock.now() + kAckWait;
    for (;;) {
        const Clock::duration before = clock.now();
        std::vector<std::uint8_t> got;
        const Result rd = ch.read(got);
        if (rd.failed()) {
            host.report(failureText(rd));
            return Ack::Lost;
        }
        keepHeard(heard, got);
        if (isSingleAck(got))
            return Ack::Accepted;
        const Clock::duration after = clock.now();
        if (after > deadline)
            return Ack::TimedOut;
        if (got.empty() && after - before < kIdle)
            clock.sleep(kIdle);
    }
}

} // namespace

std::string failureText(const Result& result)
{
    return result.error().empty() ? std::string("The printer connection refused the data.")
                                  : result.error();
}

std::uint8_t modelCodeOf(std::span<const std::uint8_t> reply)
{
    const std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
    if (text == "MDL40")
        return kModelMDL40;
    if (text == "TV-K3")
        return kModelTVK3;
    if (text == "K20_T")
        return kModelK20T;
    return kModelUnknown;
}

std::uint8_t queryPrinterModel(DownloadChannel& channel, Clock& clock, ProtocolHost& host)
{
    switch (channel.kind()) {
    case ChannelKind::Serial: return querySerial(channel, clock, host);
    case ChannelKind::Usb: return queryUsb(channel, clock, host);
    case ChannelKind::Network: return queryNetwork(channel, clock, host);
    }
    return kModelUnknown;
}

RangeChoice chooseRange(const PackageIndex& index, std::uint8_t modelCode,
                        std::span<const std::uint8_t> data)
{
    switch (modelCode) {
    case kModelQueryFailed: {
        RangeChoice r;
        r.kind = RangeChoice::Kind::EarlyEnd;
        return r;
    }
    case kModelMDL40: return index.modelRecord ? afterFirstRecord(index, data) : invalid();
    case kModelTVK3:
    case kModelK20T: return fromSection(index);
    default:
        if (index.sectionCount == 0 && index.modelRecord)
            return invalid();
        return fromSection(index);
    }
}

std::optional<PackageFault> damageOnEveryWay(std::span<const std::uint8_t> data,
                                             const PackageIndex& index)
{
    if (index.headerValue >= kNoQueryHeaderValue)
        return damageFrom(data, 0);
    // K20_T takes the way TV-K3 takes.
    std::optional<PackageFault> first;
    for (const std::uint8_t code : {kModelTVK3, kModelMDL40, kModelUnknown}) {
        const RangeChoice range = chooseRange(index, code, data);
        std::optional<PackageFault> fault;
        if (range.kind == RangeChoice::Kind::Damaged)
            fault = range.fault;
        else if (range.kind == RangeChoice::Kind::Send)
            fault = damageFrom(data, static_cast<std::size_t>(range.position));
        else
            continue;
        if (!fault)
            return std::nullopt;
        if (!first)
            first = fault;
    }
    return first;
}

TransferPlan planTransfer(std::span<const std::uint8_t> data, const PackageIndex& index,
                          std::uint8_t modelCode)
{
    TransferPlan plan;
    plan.maximum = static_cast<std::int32_t>(data.size());
    if (index.headerValue < kNoQueryHeaderValue) {
        plan.query = true;
        const RangeChoice range = chooseRange(index, modelCode, data);
        plan.kind = range.kind;
        if (range.kind == RangeChoice::Kind::Damaged)
            plan.fault = range.fault;
        if (range.kind != RangeChoice::Kind::Send)
            return plan;
        plan.position = range.position;
        plan.maximum = range.maximum;
    }
    for (std::size_t at = static_cast<std::size_t>(plan.position);;) {
        const AssembledRecord r = assembleRecord(data, at);
        if (r.fault) {
            plan.fault = r.fault;
            return plan;
        }
        ++plan.records;
        plan.bytes += r.bytes.size();
        if (r.endMark)
            return plan;
        at = r.next;
    }
}

ExchangeResult exchangeRecord(std::span<const std::uint8_t> data, std::size_t position,
                              const ExchangeSetup& setup, Clock& clock, ProtocolHost& host)
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
    r.bytes = rec.bytes.size();
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
        r.awaited = true;
        const Ack ack = ch.kind() == ChannelKind::Serial ? awaitSerialAck(ch, clock, host, r.heard)
                                                         : awaitUsbAck(ch, clock, host, r.heard);
        if (ack == Ack::Accepted)
            host.progressUpdate(r.next);
        else
            r.ackMissing = true;
        r.channelLost = ack == Ack::Lost;
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
