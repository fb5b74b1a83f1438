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

    ChannelKind kind() const override { return ChannelKind::Network; }
    Result open(const ChannelSettings& settings) override;
    Result write(std::span<const std::uint8_t> bytes) override;
    Result waitingCount(int& count, std::chrono::milliseconds slice) override;
    Result read(std::vector<std::uint8_t>& bytes) override;
    // Abandons the job: the printer receives none of it.
    void close() override;
    // Sends the job held so far to the printer and closes the path.
    Result handOver(HandOverWatch& watch) override;
    bool isOpen() const override;

private:
    std::unique_ptr<NetworkSink> sink_;
    std::string path_;
    std::vector<std::uint8_t> job_;
};

} // namespace fw
