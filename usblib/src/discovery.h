#pragma once
// Finding printers: the logic of usb_find_devices and usb_device_name.

#include "platform.h"

#include <cstdint>

namespace fw::usb {

// Instance IDs start with one of these to count as a supported printer.
inline constexpr std::size_t kPrefixLength = 21;
inline constexpr const char* kAcceptedPrefixes[] = {
    "USB\\VID_0483&PID_7C10",
    "USB\\VID_0483&PID_7C20",
    "USB\\VID_0483&PID_7C30",
    "USB\\VID_067B&PID_2305",
};

// The caller's name buffer: 256 bytes of path plus the terminator.
inline constexpr std::size_t kNameCapacity = 257;

std::int32_t findUsbDevice(Platform& platform);
std::int32_t findDeviceName(Platform& platform, std::int32_t index, char* name);

} // namespace fw::usb
