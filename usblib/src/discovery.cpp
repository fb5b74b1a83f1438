#include "discovery.h"

#include <cstdio>
#include <cstring>
#include <new>

namespace fw::usb {

namespace {

bool accepted(const char* devid)
{
    for (const char* prefix : kAcceptedPrefixes) {
        if (std::memcmp(devid, prefix, kPrefixLength) == 0)
            return true;
    }
    return false;
}

std::int32_t countDevices(Platform& platform)
{
    auto list = platform.devices();
    if (!list) {
        std::printf("SetupDiGetClassDevs error \n");
        std::printf("FindUsbDevice() ERR = %d \n", -1);
        return -1;
    }

    std::int32_t nCount = 0;
    char devid[260];
    bool failed = false;
    for (int i = 0;; ++i) {
        if (const Member m = list->device(i); m != Member::Found) {
            failed = m == Member::Failed;
            break;
        }
        std::memset(devid, 0, sizeof devid);
        if (!list->instanceId(devid, sizeof devid)) {
            std::printf(">>SetupDiGetDeviceInstanceId error<<\n");
            continue;
        }
        devid[sizeof devid - 1] = '\0';
        std::printf("devid = %s \n", devid);
        // devid is zero-filled, so a shorter ID differs at its terminator.
        if (accepted(devid))
            ++nCount;
        else
            std::printf("Mismatch !!! \n");
    }
    list.reset();

    if (failed) {
        std::printf("FindUsbDevice() ERR = %d \n", -1);
        return -1;
    }
    std::printf("nCount = %d \n", nCount);
    return nCount;
}

} // namespace

std::int32_t findUsbDevice(Platform& platform)
{
    try {
        return countDevices(platform);
    } catch (const std::bad_alloc&) {
        // Without memory for it, the list cannot be read.
        std::printf("FindUsbDevice() ERR = %d \n", -1);
        return -1;
    }
}

std::int32_t findDeviceName(Platform& platform, std::int32_t index, char* name)
{
    if (name == nullptr)
        return 0;

    try {
        auto list = platform.devices();
        if (list && index >= 0) {
            std::string path;
            // A path that would not fit the caller's buffer is not handed out.
            if (list->interfacePath(index, path) && path.size() < kNameCapacity) {
                std::memcpy(name, path.c_str(), path.size() + 1);
                std::printf("Attempting to open %s\n", name);
                if (!platform.testOpen(name))
                    std::printf("FAILED to open %s\n", name);
            }
        }
    } catch (const std::bad_alloc&) {
        // Nothing is found without memory to look with.
    }

    std::printf("usb_device_name(%d) = %s \n", index, name);
    return 0;
}

} // namespace fw::usb
