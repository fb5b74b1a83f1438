#include "channels/usb_channel.h"

#include "engine/protocol.h"

#include <algorithm>
#include <array>
#include <limits>

namespace fw {

Result UsbChannel::open(const ChannelSettings& settings)
{
    open_ = false;
    // The program's device buffer: the path up to its first NUL, at most
    // kNameSize characters, always terminated.
    const std::string& device = settings.usbDevicePath;
    std::array<char, UsbLibrary::kNameSize + 1> path{};
    const std::size_t n = std::min<std::size_t>(
        {device.find('\0'), device.size(), static_cast<std::size_t>(UsbLibrary::kNameSize)});
    std::copy_n(device.data(), n, path.data());
    std::int32_t result = -1;
    if (const Result loaded = library_.open(path.data(), result); !loaded.ok())
        return loaded;
    if (result == -1)
        return Result::refusal();
    open_ = true;
    return Result::success();
}

Result UsbChannel::write(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return Result::refusal();
    static const std::uint8_t kNothing = 0;
    std::int32_t result = -1;
    const Result loaded = library_.write(bytes.empty() ? &kNothing : bytes.data(),
                                         static_cast<std::int32_t>(bytes.size()), result);
    if (!loaded.ok())
        return loaded;
    return result == -1 ? Result::refusal() : Result::success();
}

std::uint8_t UsbChannel::awaitModelAnswer(Clock& clock, FailureReport& failures)
{
    return awaitBlockAnswer(*this, clock, failures);
}

AckWait UsbChannel::awaitAck(Clock& clock, FailureReport& failures,
                             std::vector<std::uint8_t>& heard)
{
    return awaitBlockAck(*this, clock, failures, heard);
}

RecordRule UsbChannel::recordRule(std::uint8_t modelCode) const
{
    RecordRule rule;
    if (modelCode == kModelMDL40 || modelCode == kModelUnknown) {
        rule.confirmation = RecordRule::Confirmation::None;
        rule.lostUnlessOpened = true;
        if (modelCode == kModelMDL40)
            rule.pauseAfter = kUsbRecordPause;
    }
    return rule;
}

Result UsbChannel::read(std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    std::array<std::uint8_t, UsbLibrary::kReadSize> buffer;
    buffer.fill(' ');
    std::int32_t result = -1;
    if (const Result loaded = library_.read(buffer.data(), result); !loaded.ok())
        return loaded;
    if (result > 0) {
        // A count past the buffer is the library's fault: keep to the buffer.
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(result), buffer.size());
        bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return Result::success();
}

void UsbChannel::close()
{
    std::int32_t ignored = 0;
    (void)library_.close(ignored);
    open_ = false;
}

} // namespace fw
