#pragma once
// The three real channels: serial port, USB printer, network print path.

#include "engine/channel.h"
#include "channels/network_channel.h"
#include "channels/serial_channel.h"
#include "channels/usb_channel.h"

#include <string>

namespace fw {

class ProductChannels final : public ChannelSet {
public:
    // `linksFolder` holds the optional ports/COMn links: the program's
    // folder, or an installed program's settings folder.
    ProductChannels(const std::string& linksFolder, UsbLibrary& usb);
    DownloadChannel& channel(ChannelKind kind) override;
    const SerialChannel& serial() const { return serial_; }

private:
    SerialChannel serial_;
    UsbChannel usb_;
    NetworkChannel network_;
};

} // namespace fw
