#pragma once
// The window's three real channels.

#include "session/download_channel.h"
#include "session/network_channel.h"
#include "session/serial_channel.h"
#include "session/usb_channel.h"

#include <string>

namespace fw {

class ProductChannels final : public ChannelSet {
public:
    ProductChannels(const std::string& programDir, UsbLibrary& usb);
    DownloadChannel& channel(ChannelKind kind) override;

private:
    SerialChannel serial_;
    UsbChannel usb_;
    NetworkChannel network_;
};

} // namespace fw
