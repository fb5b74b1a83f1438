#pragma once
// The six exports of TAVLIB as the program calls them. The real binding loads
// the library by name at the first call; tests substitute their own.

#include "base/result.h"

#include <cstdint>

namespace fw {

// Each call gives the export's own return value. A failure means the library
// or the export could not be loaded, so the export was not called.
class UsbLibrary {
public:
    static constexpr int kNameSize = 256; // the program's device-path buffer, plus a NUL
    static constexpr int kReadSize = 256;

    virtual ~UsbLibrary() = default;
    virtual Result<std::int32_t> findDevices() = 0;
    // `name` holds kNameSize + 1 bytes.
    virtual Result<std::int32_t> deviceName(std::int32_t index, char* name) = 0;
    virtual Result<std::int32_t> open(const char* path) = 0;
    virtual Result<std::int32_t> write(const std::uint8_t* data, std::int32_t length) = 0;
    // `buffer` holds kReadSize bytes.
    virtual Result<std::int32_t> read(std::uint8_t* buffer) = 0;
    virtual Result<std::int32_t> close() = 0;
};

} // namespace fw
