// A stand-in for TAVLIB: the six exports, each recording its call, with
// results set by the test through the fake_tavlib_* controls.

#include <cstdint>
#include <cstring>
#include <string>

namespace {

struct State {
    std::string log;
    std::int32_t results[6] = {0, 0, 0, 0, 0, 0};
    std::uint8_t reply[300] = {};
    std::int32_t replyCount = 0;
    std::int32_t replyCopy = 0;
    bool readBufferWasBlank = false;
};
State& state() {
    static State s;
    return s;
}
enum { FindDevices, DeviceName, Open, Write, Read, Close };

} // namespace

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_EXPORT void fake_tavlib_reset() { state() = State{}; }
FAKE_EXPORT void fake_tavlib_set_result(int which, std::int32_t result) { state().results[which] = result; }
// What usb_read places in the caller's buffer (at most 256 bytes are copied)
// and the count it returns.
FAKE_EXPORT void fake_tavlib_set_reply(const std::uint8_t* bytes, std::int32_t copy, std::int32_t count) {
    std::memcpy(state().reply, bytes, static_cast<std::size_t>(copy));
    state().replyCount = count;
    state().replyCopy = copy;
    state().results[Read] = count;
}
FAKE_EXPORT const char* fake_tavlib_log() { return state().log.c_str(); }
FAKE_EXPORT int fake_tavlib_read_buffer_was_blank() { return state().readBufferWasBlank ? 1 : 0; }

FAKE_EXPORT std::int32_t usb_find_devices() {
    state().log += "usb_find_devices()\n";
    return state().results[FindDevices];
}

FAKE_EXPORT std::int32_t usb_device_name(std::int32_t index, char* name) {
    state().log += "usb_device_name(" + std::to_string(index) + ")\n";
    std::strcpy(name, "/dev/usb/lp7");
    return state().results[DeviceName];
}

FAKE_EXPORT std::int32_t usb_open(const char* path) {
    state().log += "usb_open(" + std::string(path) + ")\n";
    return state().results[Open];
}

FAKE_EXPORT std::int32_t usb_write(const std::uint8_t* data, std::int32_t length) {
    state().log += "usb_write(" + std::to_string(length) + ":" +
                   std::string(reinterpret_cast<const char*>(data), static_cast<std::size_t>(length > 0 ? length : 0)) +
                   ")\n";
    return length > 256 ? -1 : state().results[Write];
}

FAKE_EXPORT std::int32_t usb_read(std::uint8_t* buffer) {
    state().log += "usb_read()\n";
    bool blank = true;
    for (int i = 0; i < 256; ++i) blank = blank && buffer[i] == ' ';
    state().readBufferWasBlank = blank;
    const std::int32_t n = state().replyCopy;
    if (n > 0) std::memcpy(buffer, state().reply, static_cast<std::size_t>(n > 256 ? 256 : n));
    return state().results[Read];
}

#ifndef FAKE_TAVLIB_WITHOUT_CLOSE
FAKE_EXPORT std::int32_t usb_close() {
    state().log += "usb_close()\n";
    return state().results[Close];
}
#endif
