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

Result<void*> TavlibBinding::bind(Export e)
{
    if (exports_[e])
        return exports_[e];
    const std::string file = detail::libraryFileName();
    if (!library_) {
        if (!loadError_.empty())
            return Result<void*>::failure(loadError_);
        Result<void*> loaded = detail::loadLibrary(programDir_, file);
        if (!loaded.ok()) {
            // Not retried: the program goes on without USB, and each call
            // reports the same cause.
            loadError_ = "The USB library " + file + " could not be loaded: " + loaded.error();
            return Result<void*>::failure(loadError_);
        }
        library_ = *loaded;
    }
    const Result<void*> found = detail::findExport(library_, kExportNames[e]);
    if (!found.ok())
        return Result<void*>::failure(std::string("The USB library ") + file + " has no function " +
                                      kExportNames[e] + ": " + found.error());
    exports_[e] = *found;
    return exports_[e];
}

// Binds the export and calls it with `args`.
template <typename Fn, typename... Args>
Result<std::int32_t> TavlibBinding::call(Export e, Args... args)
{
    const Result<void*> bound = bind(e);
    if (!bound.ok())
        return bound.status();
    return as<Fn>(*bound)(args...);
}

Result<std::int32_t> TavlibBinding::findDevices()
{
    return call<FindDevicesFn>(FindDevices);
}

Result<std::int32_t> TavlibBinding::deviceName(std::int32_t index, char* name)
{
    return call<DeviceNameFn>(DeviceName, index, name);
}

Result<std::int32_t> TavlibBinding::open(const char* path)
{
    return call<OpenFn>(Open, path);
}

Result<std::int32_t> TavlibBinding::write(const std::uint8_t* data, std::int32_t length)
{
    return call<WriteFn>(Write, data, length);
}

Result<std::int32_t> TavlibBinding::read(std::uint8_t* buffer)
{
    return call<ReadFn>(Read, buffer);
}

Result<std::int32_t> TavlibBinding::close()
{
    return call<CloseFn>(Close);
}

} // namespace fw
