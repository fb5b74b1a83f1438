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

    Result<std::int32_t> findDevices() override;
    Result<std::int32_t> deviceName(std::int32_t index, char* name) override;
    Result<std::int32_t> open(const char* path) override;
    Result<std::int32_t> write(const std::uint8_t* data, std::int32_t length) override;
    Result<std::int32_t> read(std::uint8_t* buffer) override;
    Result<std::int32_t> close() override;

private:
    enum Export { FindDevices, DeviceName, Open, Write, Read, Close, ExportCount };
    // The export's address, loading the library on the first call.
    Result<void*> bind(Export e);
    template <typename Fn, typename... Args>
    Result<std::int32_t> call(Export e, Args... args);

    std::string programDir_;
    void* library_ = nullptr;
    std::string loadError_; // kept so every later call reports the same reason
    void* exports_[ExportCount] = {};
};

} // namespace fw
