#pragma once
// The network print path "\\" + address + "\lp1": bytes written in order,
// nothing read back. The bytes are held until the session hands the job over;
// a job closed without that never reaches the printer.

#include "engine/channel.h"
#include "channels/network_sink.h"

#include <memory>

namespace fw {

class NetworkChannel final : public DownloadChannel {
public:
    NetworkChannel();
    explicit NetworkChannel(std::unique_ptr<NetworkSink> sink);
    ~NetworkChannel() override;

    Result<> open(const ChannelSettings& settings) override;
    Result<> write(std::span<const std::uint8_t> bytes) override;
    // Nothing comes back on a print path: the printer gets its second for
    // the query and counts as a K20_T; a record counts once it is written.
    std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) override;
    AckWait awaitAck(Clock&, FailureReport&, std::vector<std::uint8_t>&) override
    {
        return AckWait::Accepted;
    }
    RecordRule recordRule(std::uint8_t) const override
    {
        return {RecordRule::Confirmation::Delivery, {}, false};
    }
    // Abandons the job: the printer receives none of it.
    void close() override;
    // After an early end the path stays open, holding the query, until the
    // next session closes it.
    void closeAfterSession(bool earlyEnd) override;
    bool holdsUntilHandOver() const override { return true; }
    // Sends the job held so far to the printer and closes the path.
    Result<> handOver(HandOverWatch& watch) override;
    bool isOpen() const override;

private:
    std::unique_ptr<NetworkSink> sink_;
    std::string path_;
    std::vector<std::uint8_t> job_;
};

} // namespace fw
