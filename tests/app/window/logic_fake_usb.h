#pragma once
// A USB library for the window's tests: reports a set number of printers
// (or a failed search, or no library at all) and gives each a device path.

#include "session/usb_library.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fw::test {

class FakeUsbLibrary : public UsbLibrary {
public:
    explicit FakeUsbLibrary(int printers = 0) : printers(printers) {}

    // The device path the library gives for position `index`.
    static std::string pathOf(int index)
    {
        return "\\\\?\\usb#vid_0dd4&pid_01" + std::to_string(index) + "#printer" + std::to_string(index);
    }

    UsbCall findDevices() override
    {
        ++findCalls;
        if (!loadable)
            return {-1, "TAVLIB could not be loaded"};
        return {printers, {}};
    }
    UsbCall deviceName(std::int32_t index, char* name) override
    {
        nameCalls.push_back(index);
        if (!loadable)
            return {-1, "TAVLIB could not be loaded"};
        if (index >= 0 && index < printers) {
            const std::string p = pathOf(index);
            std::memcpy(name, p.c_str(), p.size() + 1);
        }
        return {nameResult, {}};
    }
    UsbCall open(const char*) override { return {-1, {}}; }
    UsbCall write(const std::uint8_t*, std::int32_t) override { return {-1, {}}; }
    UsbCall read(std::uint8_t*) override { return {-1, {}}; }
    UsbCall close() override { return {0, {}}; }

    int printers;
    bool loadable = true;
    std::int32_t nameResult = 0;
    int findCalls = 0;
    std::vector<std::int32_t> nameCalls;
};

// strDevice as the CboUSB handler leaves it for `path`: the path, a NUL,
// then blanks up to 256 characters.
inline std::string devicePathField(const std::string& path)
{
    std::string s(256, ' ');
    s.replace(0, path.size() + 1, path + '\0');
    return s;
}

} // namespace fw::test
