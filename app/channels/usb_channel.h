#pragma once
// The USB channel: one printer through the TAVLIB exports.

#include "engine/channel.h"
#include "engine/printer_replies.h"
#include "channels/usb_library.h"

namespace fw {

class UsbChannel final : public DownloadChannel, public BlockInput {
public:
    explicit UsbChannel(UsbLibrary& library) : library_(library) {}

    // usb_open(device): -1 is NotDelivered; a library that cannot be loaded
    // is a failure.
    Result<> open(const ChannelSettings& settings) override;
    // usb_write: -1 is NotDelivered. Data over 256 bytes still goes to the
    // library, which refuses it.
    Result<> write(std::span<const std::uint8_t> bytes) override;
    // One usb_read into a 256-byte buffer of blanks; n <= 0 reads nothing.
    Result<> read(std::vector<std::uint8_t>& bytes) override;
    // TAVLIB drains what the printer sent when it opens it: nothing to drop
    // before a write. The answer comes whole in one read, each
    // acknowledgement in a read of its own.
    std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) override;
    AckWait awaitAck(Clock& clock, FailureReport& failures,
                     std::vector<std::uint8_t>& heard) override;
    // MDL40 and unknown printers send no acknowledgement: a refused open or
    // write is the only sign of a lost record; MDL40 takes a pause after each.
    RecordRule recordRule(std::uint8_t modelCode) const override;
    // usb_close, always, even without an open.
    void close() override;
    void closeAfterSession(bool) override { close(); }
    bool isOpen() const override { return open_; }

private:
    UsbLibrary& library_;
    bool open_ = false;
};

} // namespace fw
