#pragma once
// The controls of the stand-in TAVLIB (standin_tavlib.cpp), reached in the
// copy the program loads: the test opens the same file (or a link to it)
// before the program does, so both share one loaded library.

#include <cstdint>
#include <string>
#include <vector>

namespace fw::test {

class StandinTavlib {
public:
    enum Export { FindDevices, DeviceName, Open, Write, Read, Close };

    // The stand-in as built.
    static std::string file();
    static std::string folder();

    // Opens `file` for good (the program keeps its library loaded too) and
    // resets its answers: every export returns 0, no printers, no reply.
    explicit StandinTavlib(const std::string& file = StandinTavlib::file());
    // Empty when the controls were found.
    const std::string& error() const { return error_; }

    void reset();
    void setResult(Export e, std::int32_t result);
    // usb_find_devices gives `count` (-1: the search failed); the printer at
    // position k below it is "/dev/usb/lp<k>".
    void setPrinters(std::int32_t count);
    // usb_read copies `bytes` (at most 256) into the caller's buffer and
    // returns `count`.
    void setReply(const std::vector<std::uint8_t>& bytes, std::int32_t count);
    // The calls made since the last reset, one a line: "usb_open(/dev/usb/lp0)".
    std::string log() const;
    // Whether the last usb_read found the caller's buffer filled with blanks.
    bool readBufferWasBlank() const;

private:
    std::string error_;
    void (*reset_)() = nullptr;
    void (*setResult_)(int, std::int32_t) = nullptr;
    void (*setPrinters_)(std::int32_t) = nullptr;
    void (*setReply_)(const std::uint8_t*, std::int32_t, std::int32_t) = nullptr;
    const char* (*log_)() = nullptr;
    int (*readBufferWasBlank_)() = nullptr;
};

// The real path of the system library that holds `symbol` (libm for "cos"):
// a library that is no TAVLIB, for links named libTAVLIB.so.
std::string systemLibraryOf(const char* library, const char* symbol);

} // namespace fw::test
