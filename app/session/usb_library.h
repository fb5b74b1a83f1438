#pragma once
// The six exports of TAVLIB as the program calls them. The real binding loads
// the library by name at the first call; tests substitute their own.

#include <cstdint>
#include <string>

namespace fw {

// Result of one export call. `error` is non-empty when the library or the
// export could not be loaded; `result` is then meaningless.
struct UsbCall {
    std::int32_t result = -1;
    std::string error;
    bool loaded() const { return error.empty(); }
};

class UsbLibrary {
public:
    static constexpr int kNameSize = 256; // the program's device-path buffer, plus a NUL
    static constexpr int kReadSize = 256;

    virtual ~UsbLibrary() = default;
    virtual UsbCall findDevices() = 0;
    // `name` holds kNameSize + 1 bytes.
    virtual UsbCall deviceName(std::int32_t index, char* name) = 0;
    virtual UsbCall open(const char* path) = 0;
    virtual UsbCall write(const std::uint8_t* data, std::int32_t length) = 0;
    // `buffer` holds kReadSize bytes.
    virtual UsbCall read(std::uint8_t* buffer) = 0;
    virtual UsbCall close() = 0;
};

} // namespace fw
