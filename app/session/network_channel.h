#pragma once
// The network print path "\\" + address + "\lp1": bytes written in order,
// nothing read back. The bytes are held until the session hands the job over;
// a job closed without that never reaches the printer.

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
    // Abandons the job: the printer receives none of it.
    void close() override;
    // Sends the job held so far to the printer and closes the path.
    ChannelStatus handOver() override;
    bool isOpen() const override;

private:
    std::unique_ptr<NetworkSink> sink_;
    std::string path_;
    std::vector<std::uint8_t> job_;
};

} // namespace fw
