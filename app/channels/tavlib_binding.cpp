#include "channels/tavlib_binding.h"

#include "channels/tavlib_binding_loader.h"

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
Fn as(void* p)
{
    return reinterpret_cast<Fn>(p);
}

} // namespace

TavlibBinding::TavlibBinding(std::string programDir) : programDir_(std::move(programDir)) {}

TavlibBinding::~TavlibBinding()
{
    detail::unloadLibrary(library_);
}

Result TavlibBinding::bind(Export e, void*& address)
{
    address = exports_[e];
    if (address)
        return Result::success();
    const std::string file = detail::libraryFileName();
    if (!library_) {
        if (!loadError_.empty())
            return Result::failure(loadError_);
        if (const Result loaded = detail::loadLibrary(programDir_, file, library_); !loaded.ok()) {
            // Not retried: the program goes on without USB, and each call
            // reports the same cause.
            loadError_ = "The USB library " + file + " could not be loaded: " + loaded.error();
            return Result::failure(loadError_);
        }
    }
    if (const Result found = detail::findExport(library_, kExportNames[e], exports_[e]);
        !found.ok())
        return Result::failure(std::string("The USB library ") + file + " has no function " +
                               kExportNames[e] + ": " + found.error());
    address = exports_[e];
    return Result::success();
}

// Binds the export and calls it with `args`; -1 when it cannot be bound.
template <typename Fn, typename... Args>
Result TavlibBinding::call(Export e, std::int32_t& result, Args... args)
{
    result = -1;
    void* f = nullptr;
    const Result bound = bind(e, f);
    if (bound.ok())
        result = as<Fn>(f)(args...);
    return bound;
}

Result TavlibBinding::findDevices(std::int32_t& result)
{
    return call<FindDevicesFn>(FindDevices, result);
}

Result TavlibBinding::deviceName(std::int32_t index, char* name, std::int32_t& result)
{
    return call<DeviceNameFn>(DeviceName, result, index, name);
}

Result TavlibBinding::open(const char* path, std::int32_t& result)
{
    return call<OpenFn>(Open, result, path);
}

Result TavlibBinding::write(const std::uint8_t* data, std::int32_t length, std::int32_t& result)
{
    return call<WriteFn>(Write, result, data, length);
}

Result TavlibBinding::read(std::uint8_t* buffer, std::int32_t& result)
{
    return call<ReadFn>(Read, result, buffer);
}

Result TavlibBinding::close(std::int32_t& result)
{
    return call<CloseFn>(Close, result);
}

} // namespace fw
