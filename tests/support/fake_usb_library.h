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

    Result findDevices(std::int32_t& result) override
    {
        ++findCalls;
        result = loadable ? printers : -1;
        return loadable ? Result::success() : Result::failure("TAVLIB could not be loaded");
    }
    Result deviceName(std::int32_t index, char* name, std::int32_t& result) override
    {
        nameCalls.push_back(index);
        result = -1;
        if (!loadable)
            return Result::failure("TAVLIB could not be loaded");
        if (index >= 0 && index < printers) {
            const std::string p = pathOf(index);
            std::memcpy(name, p.c_str(), p.size() + 1);
        }
        result = nameResult;
        return Result::success();
    }
    Result open(const char*, std::int32_t& result) override { return refused(result); }
    Result write(const std::uint8_t*, std::int32_t, std::int32_t& result) override
    {
        return refused(result);
    }
    Result read(std::uint8_t*, std::int32_t& result) override { return refused(result); }
    Result close(std::int32_t& result) override
    {
        result = 0;
        return Result::success();
    }

    int printers;
    bool loadable = true;
    std::int32_t nameResult = 0;
    int findCalls = 0;
    std::vector<std::int32_t> nameCalls;

private:
    static Result refused(std::int32_t& result)
    {
        result = -1;
        return Result::success();
    }
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
