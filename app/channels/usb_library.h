#pragma once
// The six exports of TAVLIB as the program calls them. The real binding loads
// the library by name at the first call; tests substitute their own.

#include "engine/result.h"

#include <cstdint>

namespace fw {

// Each call puts the export's own result into `result`. A failure means the
// library or the export could not be loaded; `result` is then -1.
class UsbLibrary {
public:
    static constexpr int kNameSize = 256; // the program's device-path buffer, plus a NUL
    static constexpr int kReadSize = 256;

    virtual ~UsbLibrary() = default;
    virtual Result findDevices(std::int32_t& result) = 0;
    // `name` holds kNameSize + 1 bytes.
    virtual Result deviceName(std::int32_t index, char* name, std::int32_t& result) = 0;
    virtual Result open(const char* path, std::int32_t& result) = 0;
    virtual Result write(const std::uint8_t* data, std::int32_t length, std::int32_t& result) = 0;
    // `buffer` holds kReadSize bytes.
    virtual Result read(std::uint8_t* buffer, std::int32_t& result) = 0;
    virtual Result close(std::int32_t& result) = 0;
};

} // namespace fw
