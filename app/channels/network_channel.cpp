#include "channels/network_channel.h"

#include "engine/protocol.h"

#include <new>
#include <utility>

namespace fw {

NetworkChannel::NetworkChannel() : sink_(makeNetworkSink()) {}
NetworkChannel::NetworkChannel(std::unique_ptr<NetworkSink> sink) : sink_(std::move(sink)) {}
NetworkChannel::~NetworkChannel()
{
    close();
}

bool NetworkChannel::isOpen() const
{
    return sink_->isOpen();
}

Result<> NetworkChannel::open(const ChannelSettings& settings)
{
    close();
    path_ = networkPrintPath(settings.networkAddress);
    NetworkAddress address;
    Result<> r = checkNetworkAddress(settings.networkAddress, address);
    if (r.ok())
        r = sink_->open(path_, address);
    if (!r.ok())
        return Result<>::failure("Cannot open " + path_ + ": " + r.error());
    return Result<>::success();
}

Result<> NetworkChannel::write(std::span<const std::uint8_t> bytes)
{
    if (!sink_->isOpen())
        return Result<>::failure("Cannot write to " +
                                 (path_.empty() ? std::string("the network print path") : path_) +
                                 ": it is not open.");
    try {
        job_.insert(job_.end(), bytes.begin(), bytes.end());
    } catch (const std::bad_alloc&) {
        return Result<>::failure("Cannot write to " + path_ +
                                 ": not enough memory to hold the print job.");
    }
    return Result<>::success();
}

std::uint8_t NetworkChannel::awaitModelAnswer(Clock& clock, FailureReport&)
{
    clock.sleep(kModelAnswerWait);
    return kModelK20T;
}

void NetworkChannel::closeAfterSession(bool earlyEnd)
{
    if (!earlyEnd)
        close();
}

void NetworkChannel::close()
{
    if (sink_->isOpen())
        sink_->abandon();
    std::vector<std::uint8_t>().swap(job_);
}

Result<> NetworkChannel::handOver(HandOverWatch& watch)
{
    if (!sink_->isOpen())
        return Result<>::success();
    const Result<> r = sink_->deliver(std::exchange(job_, {}), watch);
    if (r.refused())
        return r;
    if (!r.ok())
        return Result<>::failure("Cannot hand the print job to " + path_ + ": " + r.error());
    return Result<>::success();
}

} // namespace fw
