// The six exports over the one library-wide connection.

#include "tavlib.h"

#include "library.h"
#include "system_platform.h"

namespace {

fw::usb::Library& library()
{
    static fw::usb::Library instance(fw::usb::systemPlatform(), TAVLIB_RECEIVE_TIMEOUT_MS);
    return instance;
}

} // namespace

extern "C" {

TAVLIB_API int32_t usb_find_devices(void)
{
    return library().findDevices();
}

TAVLIB_API int32_t usb_device_name(int32_t index, char* name)
{
    return library().deviceName(index, name);
}

TAVLIB_API int32_t usb_open(const char* path)
{
    return library().open(path);
}

TAVLIB_API int32_t usb_write(const uint8_t* data, int32_t length)
{
    return library().write(data, length);
}

TAVLIB_API int32_t usb_read(uint8_t* buffer)
{
    return library().read(buffer);
}

TAVLIB_API int32_t usb_close(void)
{
    return library().close();
}

} // extern "C"
