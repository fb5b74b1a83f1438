#include "engine/protocol.h"

#include <algorithm>
#include <string_view>
#include <vector>

namespace fw {

namespace {

// What came from the printer before a write cannot answer it: it is dropped
// before the query and before each record.
Result<> writeAfresh(DownloadChannel& ch, std::span<const std::uint8_t> bytes)
{
    ch.discardInput();
    return ch.write(bytes);
}

// --- the range choice ---

RangeChoice fromSection(const PackageIndex& index)
{
    RangeChoice r;
    r.position = index.sectionStart;
    r.maximum = index.length - r.position;
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
    // Not reduced by the skipped record: the first section, or the whole.
    r.maximum = index.sectionCount == 1 ? index.sectionStart : index.length;
    return r;
}

// --- the record exchange ---

// Writes the record; a failed write is reported, a quiet refusal is not.
// `stopped`: the user ended the program while the failure was shown.
bool send(DownloadChannel& ch, std::span<const std::uint8_t> record, ProtocolHost& host,
          bool& stopped)
{
    const Result<> s = writeAfresh(ch, record);
    if (s.failed())
        stopped = !host.report(failureText(s));
    return s.ok();
}

} // namespace

std::string failureText(const Result<>& result)
{
    return result.error().empty() ? std::string("The printer connection refused the data.")
                                  : result.error();
}

std::uint8_t modelCodeOf(std::span<const std::uint8_t> reply)
{
    const std::string_view text(reinterpret_cast<const char*>(reply.data()), reply.size());
    for (const KnownModel& m : kKnownModels)
        if (text == m.answer)
            return m.code;
    return kModelUnknown;
}

const char* modelName(std::uint8_t code)
{
    if (code == kModelNoQuery)
        return "no query";
    if (code == kModelQueryFailed)
        return "query failed";
    for (const KnownModel& m : kKnownModels)
        if (code == m.code)
            return m.answer;
    return "none";
}

std::uint8_t queryPrinterModel(DownloadChannel& channel, Clock& clock, ProtocolHost& host)
{
    if (const Result<> s = writeAfresh(channel, kModelQuery); s.failed()) {
        (void)host.report(failureText(s)); // the session sees an end itself
        return kModelQueryFailed;
    }
    return channel.awaitModelAnswer(clock, host);
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
    const RecordRule rule = ch.recordRule(setup.modelCode);

    r.delivered = (setup.opened || !rule.lostUnlessOpened) && send(ch, rec.bytes, host, r.stopped);
    if (r.stopped)
        return r;
    switch (rule.confirmation) {
    case RecordRule::Confirmation::None:
        if (r.delivered && rule.pauseAfter.count() > 0)
            clock.sleep(rule.pauseAfter);
        return r;
    case RecordRule::Confirmation::Delivery:
        if (r.delivered)
            r.stopped = !host.progressUpdate(r.next);
        return r;
    case RecordRule::Confirmation::Acknowledgement: break;
    }
    r.awaited = true;
    const AckWait ack = ch.awaitAck(clock, host, r.heard);
    if (ack == AckWait::Ended) {
        r.stopped = true;
        return r;
    }
    if (ack == AckWait::Accepted)
        r.stopped = !host.progressUpdate(r.next);
    else
        r.ackMissing = true;
    r.channelLost = ack == AckWait::Lost;
    return r;
}

} // namespace fw
