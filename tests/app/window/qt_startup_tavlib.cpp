// A stand-in for TAVLIB that reports STANDIN_PRINTERS printers (a count, or
// -1 for a failed search) and names the printer at position k
// "/dev/usb/lp<k>". Built once per count, each beside a program folder of
// its own, so the window finds it by name as it finds the real library.

#include <cstdint>
#include <cstdio>

#ifndef STANDIN_PRINTERS
#error "STANDIN_PRINTERS must be defined"
#endif

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

STANDIN_EXPORT std::int32_t usb_find_devices() { return STANDIN_PRINTERS; }

STANDIN_EXPORT std::int32_t usb_device_name(std::int32_t index, char* name)
{
    // No path for a position outside the list: the buffer stays as it was.
    if (index >= 0 && index < STANDIN_PRINTERS)
        std::snprintf(name, 257, "/dev/usb/lp%d", static_cast<int>(index));
    return 0;
}

STANDIN_EXPORT std::int32_t usb_open(const char*) { return -1; }
STANDIN_EXPORT std::int32_t usb_write(const std::uint8_t*, std::int32_t) { return -1; }
STANDIN_EXPORT std::int32_t usb_read(std::uint8_t*) { return -1; }
STANDIN_EXPORT std::int32_t usb_close() { return 0; }
