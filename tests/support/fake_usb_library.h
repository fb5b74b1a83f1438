#pragma once
// A USB library for the window's tests: reports a set number of printers
// (or a failed search, or no library at all) and gives each a device path.

#include "channels/usb_library.h"

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
        return "\\\\?\\usb#vid_0dd4&pid_01" + std::to_string(index) + "#printer" +
               std::to_string(index);
    }

    Result<std::int32_t> findDevices() override
    {
        ++findCalls;
        if (!loadable)
            return Result<std::int32_t>::failure("TAVLIB could not be loaded");
        return printers;
    }
    Result<std::int32_t> deviceName(std::int32_t index, char* name) override
    {
        nameCalls.push_back(index);
        if (!loadable)
            return Result<std::int32_t>::failure("TAVLIB could not be loaded");
        if (index >= 0 && index < printers) {
            const std::string p = pathOf(index);
            std::memcpy(name, p.c_str(), p.size() + 1);
        }
        return nameResult;
    }
    // The device paths are no printers: every transfer is refused.
    Result<std::int32_t> open(const char*) override { return -1; }
    Result<std::int32_t> write(const std::uint8_t*, std::int32_t) override { return -1; }
    Result<std::int32_t> read(std::uint8_t*) override { return -1; }
    Result<std::int32_t> close() override { return 0; }

    int printers;
    bool loadable = true;
    std::int32_t nameResult = 0;
    int findCalls = 0;
    std::vector<std::int32_t> nameCalls;
};

// The USB device path as the CboUSB handler leaves it for `path`: the path, a NUL,
// then blanks up to 256 characters.
inline std::string devicePathField(const std::string& path)
{
    std::string s(256, ' ');
    s.replace(0, path.size() + 1, path + '\0');
    return s;
}

} // namespace fw::test
