#include "session/usb_channel.h"

#include <algorithm>
#include <array>
#include <limits>

namespace fw {

ChannelStatus UsbChannel::open(const ChannelConfig& config) {
    open_ = false;
    // The program's device buffer: the path up to its first NUL, at most
    // kNameSize characters, always terminated.
    std::array<char, UsbLibrary::kNameSize + 1> path{};
    const std::size_t n = std::min<std::size_t>(
        {config.device.find('\0'), config.device.size(), static_cast<std::size_t>(UsbLibrary::kNameSize)});
    std::copy_n(config.device.data(), n, path.data());
    const UsbCall call = library_.open(path.data());
    if (!call.loaded()) return ChannelStatus::failure(call.error);
    if (call.result == -1) return ChannelStatus::notDelivered();
    open_ = true;
    return ChannelStatus::success();
}

ChannelStatus UsbChannel::write(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return ChannelStatus::notDelivered();
    static const std::uint8_t kNothing = 0;
    const UsbCall call = library_.write(bytes.empty() ? &kNothing : bytes.data(),
                                        static_cast<std::int32_t>(bytes.size()));
    if (!call.loaded()) return ChannelStatus::failure(call.error);
    if (call.result == -1) return ChannelStatus::notDelivered();
    return ChannelStatus::success();
}

ChannelStatus UsbChannel::waitingCount(int& count, std::chrono::milliseconds) {
    count = 0;
    return ChannelStatus::success();
}

ChannelStatus UsbChannel::read(std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::array<std::uint8_t, UsbLibrary::kReadSize> buffer;
    buffer.fill(' ');
    const UsbCall call = library_.read(buffer.data());
    if (!call.loaded()) return ChannelStatus::failure(call.error);
    if (call.result > 0) {
        // A count past the buffer is the library's fault: keep to the buffer.
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(call.result), buffer.size());
        bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return ChannelStatus::success();
}

void UsbChannel::close() {
    library_.close();
    open_ = false;
}

} // namespace fw
