#pragma once
// The USB channel: one printer through the TAVLIB exports.

#include "engine/channel.h"
#include "channels/usb_library.h"

namespace fw {

class UsbChannel final : public DownloadChannel {
public:
    explicit UsbChannel(UsbLibrary& library) : library_(library) {}

    ChannelKind kind() const override { return ChannelKind::Usb; }
    // usb_open(device): -1 is NotDelivered; a library that cannot be loaded
    // is a failure.
    Result open(const ChannelSettings& settings) override;
    // usb_write: -1 is NotDelivered. Data over 256 bytes still goes to the
    // library, which refuses it.
    Result write(std::span<const std::uint8_t> bytes) override;
    // Not used on USB: always 0 waiting.
    Result waitingCount(int& count, std::chrono::milliseconds slice) override;
    // One usb_read into a 256-byte buffer of blanks; n <= 0 reads nothing.
    Result read(std::vector<std::uint8_t>& bytes) override;
    // usb_close, always, even without an open.
    void close() override;
    bool isOpen() const override { return open_; }

private:
    UsbLibrary& library_;
    bool open_ = false;
};

} // namespace fw
