#include "discovery.h"

#include "diagnostics.h"

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
        deviceListRefusedLine().print();
        deviceCountFailedLine().print();
        return -1;
    }

    std::int32_t count = 0;
    char devid[260];
    bool failed = false;
    for (int i = 0;; ++i) {
        if (const Member m = list->device(i); m != Member::Found) {
            failed = m == Member::Failed;
            break;
        }
        std::memset(devid, 0, sizeof devid);
        if (!list->instanceId(devid, sizeof devid)) {
            instanceIdUnreadableLine().print();
            continue;
        }
        devid[sizeof devid - 1] = '\0';
        instanceIdLine(devid).print();
        // devid is zero-filled, so a shorter ID differs at its terminator.
        if (accepted(devid))
            ++count;
        else
            prefixMismatchLine().print();
    }
    list.reset();

    if (failed) {
        deviceCountFailedLine().print();
        return -1;
    }
    deviceCountLine(count).print();
    return count;
}

} // namespace

std::int32_t findUsbDevice(Platform& platform)
{
    try {
        return countDevices(platform);
    } catch (const std::bad_alloc&) {
        // Without memory for it, the list cannot be read.
        deviceCountFailedLine().print();
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
                openingDeviceLine(name).print();
                if (!platform.testOpen(name))
                    deviceOpenFailedLine(name).print();
            }
        }
    } catch (const std::bad_alloc&) {
        // Nothing is found without memory to look with.
    }

    deviceNameLine(index, name).print();
    return 0;
}

} // namespace fw::usb
