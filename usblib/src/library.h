#pragma once
// What the six exports do, over one platform and the one connection. Every
// call holds one lock, so calls from several threads take turns instead of
// sharing the connection and the platform's records; and no exception leaves
// a call, since the caller is C: a failure inside is a result of -1, or
// "nothing found" where the export always answers 0.

#include "connection.h"
#include "platform.h"

#include <cstdint>
#include <mutex>

namespace fw::usb {

class Library {
public:
    Library(Platform& platform, int receiveTimeoutMs)
        : platform_(platform), connection_(platform, receiveTimeoutMs)
    {}

    std::int32_t findDevices() noexcept;
    std::int32_t deviceName(std::int32_t index, char* name) noexcept;
    std::int32_t open(const char* path) noexcept;
    std::int32_t write(const std::uint8_t* data, std::int32_t length) noexcept;
    std::int32_t read(std::uint8_t* buffer) noexcept;
    std::int32_t close() noexcept;

private:
    std::mutex lock_;
    Platform& platform_;
    Connection connection_;
};

} // namespace fw::usb
