#pragma once
// The one open printer: the logic of usb_open, usb_write, usb_read and
// usb_close over the platform's pipes and completion events.

#include "platform.h"

#include <cstdint>

namespace fw::usb {

// Internal 16-bit status of the pipe operations; bit 15 set means failure.
using Status = std::int16_t;
inline constexpr Status kStatusSuccess = 0;
inline constexpr Status kStatusInvalidHandle = static_cast<Status>(0x8000);
inline constexpr Status kStatusNotInitialized = static_cast<Status>(0x8080);
inline constexpr Status kStatusDriverError = static_cast<Status>(0x8010);
inline constexpr Status kStatusReceiveTimeout = static_cast<Status>(0xD080);
inline constexpr Status kStatusIoError = static_cast<Status>(0xFFFF);

inline constexpr bool failed(Status status)
{
    return status < 0;
}

inline constexpr std::int32_t kBlockSize = 256;
// Room for a pipe name: the device path, "\PIPE0x" and the terminator.
inline constexpr std::size_t kPipeNameSize = 260;

// Completion record of one direction; the platform holds the rest of it.
struct Completion {
    Event hEvent = kNoEvent;
};

class Connection {
public:
    Connection(Platform& platform, int receiveTimeoutMs)
        : platform_(platform), receiveTimeoutMs_(receiveTimeoutMs)
    {}

    std::int32_t open(const char* path);
    std::int32_t write(const std::uint8_t* data, std::int32_t length);
    std::int32_t read(std::uint8_t* buffer);
    std::int32_t close();

    std::int32_t totalWritten() const { return totalWritten_; }

private:
    Status pipeWrite(const std::uint8_t* buffer, std::int32_t count, std::int32_t& written);
    Status pipeRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& received);
    bool withdrawRead(std::uint32_t& received);
    void closeEvents();

    Platform& platform_;
    int receiveTimeoutMs_;

    Handle pipeIn_ = kInvalidHandle;
    Handle pipeOut_ = kInvalidHandle;
    Completion readOverlap_;
    Completion writeOverlap_;
    std::uint8_t readBuffer_[kBlockSize] = {};
    std::uint8_t writeBuffer_[kBlockSize] = {};
    std::int32_t totalWritten_ = 0;
};

} // namespace fw::usb
