#include "channels/usb_channel.h"

#include "engine/protocol.h"

#include <algorithm>
#include <array>
#include <limits>

namespace fw {

Result<> UsbChannel::open(const ChannelSettings& settings)
{
    open_ = false;
    // The program's device buffer: the path up to its first NUL, at most
    // kNameSize characters, always terminated.
    const std::string& device = settings.usbDevicePath;
    std::array<char, UsbLibrary::kNameSize + 1> path{};
    const std::size_t n = std::min<std::size_t>(
        {device.find('\0'), device.size(), static_cast<std::size_t>(UsbLibrary::kNameSize)});
    std::copy_n(device.data(), n, path.data());
    const Result<std::int32_t> opened = library_.open(path.data());
    if (!opened.ok())
        return opened;
    if (*opened == -1)
        return Result<>::refusal();
    open_ = true;
    return Result<>::success();
}

Result<> UsbChannel::write(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()))
        return Result<>::refusal();
    static const std::uint8_t kNothing = 0;
    const Result<std::int32_t> written = library_.write(bytes.empty() ? &kNothing : bytes.data(),
                                                        static_cast<std::int32_t>(bytes.size()));
    if (!written.ok())
        return written;
    return *written == -1 ? Result<>::refusal() : Result<>::success();
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

Result<> UsbChannel::read(std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    std::array<std::uint8_t, UsbLibrary::kReadSize> buffer;
    buffer.fill(' ');
    const Result<std::int32_t> read = library_.read(buffer.data());
    if (!read.ok())
        return read;
    if (const std::int32_t result = *read; result > 0) {
        // A count past the buffer is the library's fault: keep to the buffer.
        const auto n = std::min<std::size_t>(static_cast<std::size_t>(result), buffer.size());
        bytes.assign(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return Result<>::success();
}

void UsbChannel::close()
{
    (void)library_.close();
    open_ = false;
}

} // namespace fw
