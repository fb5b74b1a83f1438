#pragma once
// TAVLIB reached by name at run time: the library is loaded on the first call
// of any export, and each export is looked up on its own first call. The
// program is never linked against it, so it starts and runs without it.

#include "channels/usb_library.h"

#include <string>

namespace fw {

class TavlibBinding final : public UsbLibrary {
public:
    // `programDir` is searched first, then the system's search path.
    explicit TavlibBinding(std::string programDir);
    ~TavlibBinding() override;
    TavlibBinding(const TavlibBinding&) = delete;
    TavlibBinding& operator=(const TavlibBinding&) = delete;

    Result findDevices(std::int32_t& result) override;
    Result deviceName(std::int32_t index, char* name, std::int32_t& result) override;
    Result open(const char* path, std::int32_t& result) override;
    Result write(const std::uint8_t* data, std::int32_t length, std::int32_t& result) override;
    Result read(std::uint8_t* buffer, std::int32_t& result) override;
    Result close(std::int32_t& result) override;

private:
    enum Export { FindDevices, DeviceName, Open, Write, Read, Close, ExportCount };
    // The export's address, loading the library on the first call.
    Result bind(Export e, void*& address);
    template <typename Fn, typename... Args>
    Result call(Export e, std::int32_t& result, Args... args);

    std::string programDir_;
    void* library_ = nullptr;
    std::string loadError_; // kept so every later call reports the same reason
    void* exports_[ExportCount] = {};
};

} // namespace fw
