#include "channels/product_channels.h"

namespace fw {

ProductChannels::ProductChannels(const std::string& linksFolder, UsbLibrary& usb)
    : serial_(linksFolder), usb_(usb)
{}

DownloadChannel& ProductChannels::channel(ChannelKind kind)
{
    switch (kind) {
    case ChannelKind::Serial: return serial_;
    case ChannelKind::Usb: return usb_;
    case ChannelKind::Network: break;
    }
    return network_;
}

} // namespace fw
