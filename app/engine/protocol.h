#pragma once
// The printer download protocol: the model query and its answers, where
// sending starts for each answer, and the record-by-record exchange with its
// acknowledgement, waits and pauses. It reaches the printer only through a
// DownloadChannel.

#include "engine/channel.h"
#include "engine/clock.h"
#include "engine/package.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

inline constexpr std::uint8_t kACK = 0x06;

// The model query: SOH "97" STX "011" ETX "6E".
inline constexpr std::array<std::uint8_t, 10> kModelQuery = {0x01, 0x39, 0x37, 0x02, 0x30,
                                                             0x31, 0x31, 0x03, 0x36, 0x45};

// Section-header values from here on mean "send the whole package, no query".
inline constexpr std::uint32_t kNoQueryHeaderValue = 0x800000;

inline constexpr std::chrono::seconds kModelAnswerWait{1};
inline constexpr std::chrono::seconds kAckWait{5};
inline constexpr std::chrono::milliseconds kUsbRecordPause{100};

// Model codes given by the model query.
enum ModelCode : std::uint8_t {
    kModelNoQuery = 0,
    kModelQueryFailed = 1,
    kModelMDL40 = 2,
    kModelTVK3 = 3,
    kModelK20T = 4,
    kModelUnknown = 5,
};

// The three answers a printer may give, in the order they are compared.
struct KnownModel {
    const char* answer;
    std::uint8_t code;
};
inline constexpr KnownModel kKnownModels[] = {
    {"MDL40", kModelMDL40}, {"TV-K3", kModelTVK3}, {"K20_T", kModelK20T}};

// The printer's answer for a model code of a known model; "none" for 5, and
// "no query" for 0.
const char* modelName(std::uint8_t code);

// What the protocol needs from the session around it.
class ProtocolHost : public FailureReport {
public:
    // report(): a failed step is told to the user; the protocol carries on
    // with the next one.
    // The progress update after a record; `position` is just past it.
    // False: the user ended the program meanwhile.
    virtual bool progressUpdate(std::size_t position) = 0;
};

// The words for a channel operation that did not go through.
std::string failureText(const Result<>& result);

// The model code for a printer's answer: 2, 3 or 4 for the three known
// models, 5 for anything else.
std::uint8_t modelCodeOf(std::span<const std::uint8_t> reply);

// Writes the query and waits for the answer as the channel's rules say.
// Gives 1 after a failed channel operation (reported through `host`).
std::uint8_t queryPrinterModel(DownloadChannel& channel, Clock& clock, ProtocolHost& host);

// Where sending starts and what progress counts towards, from the printer's
// model answer and the package's shape.
struct RangeChoice {
    enum class Kind {
        Send,         // send from `position`; progress maximum `maximum`
        InvalidModel, // the package does not suit the answering printer
        EarlyEnd,     // the query failed: send nothing
        Damaged,      // `fault`: the first record has no line end (MDL40)
    };
    Kind kind = Kind::Send;
    std::int32_t position = 0;
    std::int32_t maximum = 0;
    PackageFault fault{};
};

RangeChoice chooseRange(const PackageIndex& index, std::uint8_t modelCode,
                        std::span<const std::uint8_t> data);

// What a session would do with a package for one model answer, worked out
// without a printer: whether the query goes out, where sending starts, what
// the progress counts towards, and the records and bytes that would go out.
struct TransferPlan {
    bool query = false;
    RangeChoice::Kind kind = RangeChoice::Kind::Send;
    std::int32_t position = 0;
    std::int32_t maximum = 0;
    std::size_t records = 0; // from the start to the record with the end mark
    std::size_t bytes = 0;   // their bytes on the wire
    std::optional<PackageFault> fault;
};

// A fault on every way the package can be sent, whatever the printer answers
// (the first one found), or nullopt when one way is whole. Found before the
// printer is reached: such a package sends nothing at all, not even the
// query. A package with a whole way for some answer is checked again on the
// way the answer selects.
std::optional<PackageFault> damageOnEveryWay(std::span<const std::uint8_t> data,
                                             const PackageIndex& index);

// `plan.fault` is set when the way for this answer is damaged.
TransferPlan planTransfer(std::span<const std::uint8_t> data, const PackageIndex& index,
                          std::uint8_t modelCode);

// One record of the transfer: assemble it, send it, and await its
// confirmation as the channel's rule for the printer model says.
struct ExchangeResult {
    std::size_t next = 0;
    bool endMark = false;
    // The channel did not take the record (a failed or refused write, or a
    // USB printer that could not be opened where no acknowledgement tells).
    bool delivered = true;
    bool ackMissing = false;           // no acknowledgement came
    bool channelLost = false;          // ...because the channel failed during the wait
    std::size_t bytes = 0;             // the record's bytes on the wire
    std::optional<PackageFault> fault; // nothing was sent
    bool stopped = false;              // the user ended the program: nothing more was done
    bool awaited = false;              // an acknowledgement was waited for
    // What the printer sent while it was awaited, in order (the first
    // kMaxHeardBytes): a lone ACK, or what was dropped before the deadline.
    std::vector<std::uint8_t> heard;
};

struct ExchangeSetup {
    DownloadChannel& channel;
    std::uint8_t modelCode = 0;
    bool opened = true; // the channel's open went through
};

ExchangeResult exchangeRecord(std::span<const std::uint8_t> data, std::size_t position,
                              const ExchangeSetup& setup, Clock& clock, ProtocolHost& host);

} // namespace fw
