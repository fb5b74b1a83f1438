#include "session/network_channel.h"

#include <new>
#include <utility>

namespace fw {

NetworkChannel::NetworkChannel() : sink_(makeNetworkSink()) {}
NetworkChannel::NetworkChannel(std::unique_ptr<NetworkSink> sink) : sink_(std::move(sink)) {}
NetworkChannel::~NetworkChannel() { close(); }

bool NetworkChannel::isOpen() const { return sink_->isOpen(); }

ChannelStatus NetworkChannel::open(const ChannelConfig& config) {
    close();
    path_ = networkPrintPath(config.address);
    std::string why;
    const auto address = checkNetworkAddress(config.address, why);
    if (!address) return ChannelStatus::failure("Cannot open " + path_ + ": " + why);
    why = sink_->open(path_, *address);
    if (!why.empty()) return ChannelStatus::failure("Cannot open " + path_ + ": " + why);
    return ChannelStatus::success();
}

ChannelStatus NetworkChannel::write(std::span<const std::uint8_t> bytes) {
    if (!sink_->isOpen())
        return ChannelStatus::failure("Cannot write to " + (path_.empty() ? std::string("the network print path") : path_) +
                                      ": it is not open.");
    try {
        job_.insert(job_.end(), bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        return ChannelStatus::failure("Cannot write to " + path_ + ": not enough memory to hold the print job.");
    }
    return ChannelStatus::success();
}

ChannelStatus NetworkChannel::waitingCount(int& count, std::chrono::milliseconds) {
    count = 0;
    return ChannelStatus::success();
}

ChannelStatus NetworkChannel::read(std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    return ChannelStatus::success();
}

void NetworkChannel::close() {
    if (sink_->isOpen()) sink_->abandon();
    std::vector<std::uint8_t>().swap(job_);
}

ChannelStatus NetworkChannel::handOver() {
    if (!sink_->isOpen()) return ChannelStatus::success();
    const std::string why = sink_->deliver(std::exchange(job_, {}));
    if (!why.empty()) return ChannelStatus::failure("Cannot hand the print job to " + path_ + ": " + why);
    return ChannelStatus::success();
}

} // namespace fw
