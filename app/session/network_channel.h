#pragma once
// The network print path "\\" + address + "\lp1": bytes written in order,
// nothing read back.

#include "session/download_channel.h"
#include "session/network_sink.h"

#include <memory>

namespace fw {

class NetworkChannel final : public DownloadChannel {
public:
    NetworkChannel();
    explicit NetworkChannel(std::unique_ptr<NetworkSink> sink);
    ~NetworkChannel() override;

    ChannelKind kind() const override { return ChannelKind::Network; }
    ChannelStatus open(const ChannelConfig& config) override;
    ChannelStatus write(std::span<const std::uint8_t> bytes) override;
    ChannelStatus waitingCount(int& count, std::chrono::milliseconds slice) override;
    ChannelStatus read(std::vector<std::uint8_t>& bytes) override;
    void close() override;
    ChannelStatus handOver() override;
    bool isOpen() const override;

    // Why the last close could not hand the job over; empty when it could.
    const std::string& closeError() const { return closeError_; }

private:
    std::unique_ptr<NetworkSink> sink_;
    std::string path_;
    std::string closeError_;
};

} // namespace fw
