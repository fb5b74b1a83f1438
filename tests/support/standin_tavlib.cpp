// A stand-in for TAVLIB: the six exports, each recording its call, with the
// answers set by the test at run time through the standin_tavlib_* controls
// (see standin_control.h). One build serves every test: a test reaches the
// copy the program loaded by opening the same file.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

enum { FindDevices, DeviceName, Open, Write, Read, Close, ExportCount };

struct State {
    std::string log;
    std::int32_t results[ExportCount] = {};
    // usb_find_devices gives this count; the printer at position k below it
    // is "/dev/usb/lp<k>".
    std::int32_t printers = 0;
    std::uint8_t reply[256] = {};
    std::int32_t replyCopy = 0;
    bool readBufferWasBlank = false;
};

State& state()
{
    static State s;
    return s;
}

} // namespace

#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))

// ---- controls

STANDIN_EXPORT void standin_tavlib_reset()
{
    state() = State{};
}

STANDIN_EXPORT void standin_tavlib_set_result(int which, std::int32_t result)
{
    if (which >= 0 && which < ExportCount)
        state().results[which] = result;
}

STANDIN_EXPORT void standin_tavlib_set_printers(std::int32_t count)
{
    state().printers = count;
    state().results[FindDevices] = count;
}

// What usb_read places at the start of the caller's buffer (`copy` bytes, at
// most 256) and the count it returns.
STANDIN_EXPORT void standin_tavlib_set_reply(const std::uint8_t* bytes, std::int32_t copy,
                                             std::int32_t count)
{
    const std::int32_t n = copy < 0 ? 0 : copy > 256 ? 256 : copy;
    if (n > 0)
        std::memcpy(state().reply, bytes, static_cast<std::size_t>(n));
    state().replyCopy = n;
    state().results[Read] = count;
}

STANDIN_EXPORT const char* standin_tavlib_log()
{
    return state().log.c_str();
}

STANDIN_EXPORT int standin_tavlib_read_buffer_was_blank()
{
    return state().readBufferWasBlank ? 1 : 0;
}

// ---- the six exports

STANDIN_EXPORT std::int32_t usb_find_devices()
{
    state().log += "usb_find_devices()\n";
    return state().results[FindDevices];
}

STANDIN_EXPORT std::int32_t usb_device_name(std::int32_t index, char* name)
{
    state().log += "usb_device_name(" + std::to_string(index) + ")\n";
    // No path for a position outside the list: the buffer stays as it was.
    if (index >= 0 && index < state().printers)
        std::snprintf(name, 257, "/dev/usb/lp%d", static_cast<int>(index));
    return state().results[DeviceName];
}

STANDIN_EXPORT std::int32_t usb_open(const char* path)
{
    state().log += "usb_open(" + std::string(path) + ")\n";
    return state().results[Open];
}

STANDIN_EXPORT std::int32_t usb_write(const std::uint8_t* data, std::int32_t length)
{
    state().log += "usb_write(" + std::to_string(length) + ":" +
                   std::string(reinterpret_cast<const char*>(data),
                               static_cast<std::size_t>(length > 0 ? length : 0)) +
                   ")\n";
    return length > 256 ? -1 : state().results[Write];
}

STANDIN_EXPORT std::int32_t usb_read(std::uint8_t* buffer)
{
    state().log += "usb_read()\n";
    bool blank = true;
    for (int i = 0; i < 256; ++i)
        blank = blank && buffer[i] == ' ';
    state().readBufferWasBlank = blank;
    if (state().replyCopy > 0)
        std::memcpy(buffer, state().reply, static_cast<std::size_t>(state().replyCopy));
    return state().results[Read];
}

STANDIN_EXPORT std::int32_t usb_close()
{
    state().log += "usb_close()\n";
    return state().results[Close];
}
