#pragma once
// TAVLIB reached by name at run time: the library is loaded on the first call
// of any export, and each export is looked up on its own first call. The
// program is never linked against it, so it starts and runs without it.

#include "session/usb_library.h"

#include <string>

namespace fw {

class TavlibBinding final : public UsbLibrary {
public:
    // `programDir` is searched first, then the system's search path.
    explicit TavlibBinding(std::string programDir);
    ~TavlibBinding() override;
    TavlibBinding(const TavlibBinding&) = delete;
    TavlibBinding& operator=(const TavlibBinding&) = delete;

    UsbCall findDevices() override;
    UsbCall deviceName(std::int32_t index, char* name) override;
    UsbCall open(const char* path) override;
    UsbCall write(const std::uint8_t* data, std::int32_t length) override;
    UsbCall read(std::uint8_t* buffer) override;
    UsbCall close() override;

private:
    enum Export { FindDevices, DeviceName, Open, Write, Read, Close, ExportCount };
    void* bind(Export e, std::string& why);

    std::string programDir_;
    void* library_ = nullptr;
    std::string loadError_; // kept so every later call reports the same reason
    void* exports_[ExportCount] = {};
};

} // namespace fw
