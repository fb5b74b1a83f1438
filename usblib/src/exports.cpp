// The six exports over the one library-wide connection.

#include "tavlib.h"

#include "connection.h"
#include "discovery.h"
#include "system_platform.h"

namespace {

fw::usb::Connection& connection()
{
    static fw::usb::Connection instance(fw::usb::systemPlatform(), TAVLIB_RECEIVE_TIMEOUT_MS);
    return instance;
}

} // namespace

extern "C" {

TAVLIB_API int32_t usb_find_devices(void)
{
    return fw::usb::findUsbDevice(fw::usb::systemPlatform());
}

TAVLIB_API int32_t usb_device_name(int32_t index, char* name)
{
    return fw::usb::findDeviceName(fw::usb::systemPlatform(), index, name);
}

TAVLIB_API int32_t usb_open(const char* path)
{
    return connection().open(path);
}

TAVLIB_API int32_t usb_write(const uint8_t* data, int32_t length)
{
    return connection().write(data, length);
}

TAVLIB_API int32_t usb_read(uint8_t* buffer)
{
    return connection().read(buffer);
}

TAVLIB_API int32_t usb_close(void)
{
    return connection().close();
}

} // extern "C"
