#include "session/tavlib_binding.h"

#include "session/tavlib_binding_loader.h"

namespace fw {

namespace {

constexpr const char* kExportNames[] = {"usb_find_devices", "usb_device_name", "usb_open",
                                        "usb_write",        "usb_read",        "usb_close"};

using FindDevicesFn = std::int32_t (*)();
using DeviceNameFn = std::int32_t (*)(std::int32_t, char*);
using OpenFn = std::int32_t (*)(const char*);
using WriteFn = std::int32_t (*)(const std::uint8_t*, std::int32_t);
using ReadFn = std::int32_t (*)(std::uint8_t*);
using CloseFn = std::int32_t (*)();

template <typename Fn>
Fn as(void* p) {
    return reinterpret_cast<Fn>(p);
}

UsbCall failed(std::string why) { return UsbCall{-1, std::move(why)}; }

} // namespace

TavlibBinding::TavlibBinding(std::string programDir) : programDir_(std::move(programDir)) {}

TavlibBinding::~TavlibBinding() { detail::unloadLibrary(library_); }

void* TavlibBinding::bind(Export e, std::string& why) {
    if (exports_[e]) return exports_[e];
    const std::string file = detail::libraryFileName();
    if (!library_) {
        if (!loadError_.empty()) {
            why = loadError_;
            return nullptr;
        }
        std::string reason;
        library_ = detail::loadLibrary(programDir_, file, reason);
        if (!library_) {
            // Not retried: the program goes on without USB, and each call
            // reports the same cause.
            loadError_ = "The USB library " + file + " could not be loaded: " + reason;
            why = loadError_;
            return nullptr;
        }
    }
    std::string reason;
    exports_[e] = detail::findExport(library_, kExportNames[e], reason);
    if (!exports_[e])
        why = std::string("The USB library ") + file + " has no function " + kExportNames[e] + ": " + reason;
    return exports_[e];
}

UsbCall TavlibBinding::findDevices() {
    std::string why;
    void* f = bind(FindDevices, why);
    if (!f) return failed(why);
    return UsbCall{as<FindDevicesFn>(f)(), {}};
}

UsbCall TavlibBinding::deviceName(std::int32_t index, char* name) {
    std::string why;
    void* f = bind(DeviceName, why);
    if (!f) return failed(why);
    return UsbCall{as<DeviceNameFn>(f)(index, name), {}};
}

UsbCall TavlibBinding::open(const char* path) {
    std::string why;
    void* f = bind(Open, why);
    if (!f) return failed(why);
    return UsbCall{as<OpenFn>(f)(path), {}};
}

UsbCall TavlibBinding::write(const std::uint8_t* data, std::int32_t length) {
    std::string why;
    void* f = bind(Write, why);
    if (!f) return failed(why);
    return UsbCall{as<WriteFn>(f)(data, length), {}};
}

UsbCall TavlibBinding::read(std::uint8_t* buffer) {
    std::string why;
    void* f = bind(Read, why);
    if (!f) return failed(why);
    return UsbCall{as<ReadFn>(f)(buffer), {}};
}

UsbCall TavlibBinding::close() {
    std::string why;
    void* f = bind(Close, why);
    if (!f) return failed(why);
    return UsbCall{as<CloseFn>(f)(), {}};
}

} // namespace fw
