#pragma once
// The platform on Linux: printers served by the kernel's usblp driver.
//
// A printer-class interface is a usbmisc device "lpN" whose parent
// usb_interface has bInterfaceClass 07; positions follow N. Its instance ID
// is written in the Windows form "USB\VID_XXXX&PID_XXXX\<serial>" so the
// accepted prefixes apply unchanged, and its device path is the node
// (/dev/usb/lpN). The two pipes "\PIPE01" and "\PIPE00" are the two
// directions of that one node: the driver allows a single opener, so the
// node is opened once and shared. Nothing blocks forever: reads wait with
// poll() for the receive time-out, writes for the write time-out.

#include "platform.h"

#include <string>
#include <vector>

namespace fw::usb {

class LinuxPlatform final : public Platform {
public:
    // A write the printer does not take within this time fails; a block's
    // acknowledgement deadline is 5 seconds anyway.
    static constexpr int kWriteTimeoutMs = 5000;

    explicit LinuxPlatform(int writeTimeoutMs = kWriteTimeoutMs) : writeTimeoutMs_(writeTimeoutMs)
    {}
    ~LinuxPlatform() override;

    std::unique_ptr<DeviceList> devices() override;
    bool testOpen(const char* path) override;
    std::uint32_t lastError() override { return lastError_; }
    std::uint32_t nameTooLongError() const override;

    Handle openPipe(const char* path, Direction direction) override;
    void closePipe(Handle pipe) override;
    Event createEvent() override;
    void closeEvent(Event event) override;

    Issue startWrite(Handle pipe, Event event, const std::uint8_t* data, std::uint32_t count,
                     std::uint32_t& moved) override;
    Collect finishWrite(Handle pipe, std::uint32_t& moved) override;
    Issue startRead(Handle pipe, Event event, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t& moved) override;
    Wait waitRead(Handle pipe, Event event, int timeoutMs) override;
    Collect finishRead(Handle pipe, std::uint32_t& moved) override;
    void discardReceived(Handle pipe, Event event) override;
    Collect withdrawRead(Handle pipe, std::uint32_t& moved) override;

    struct Printer {
        unsigned number = 0;
        std::string instanceId;
        std::string path;
    };
    // The printer-class interfaces present now, by lp number; false when
    // udev cannot be asked.
    bool scan(std::vector<Printer>& printers);

    void setLastError(std::uint32_t error) { lastError_ = error; }

private:
    // scan() apart from running out of memory, which it throws.
    bool scanPrinters(std::vector<Printer>& printers);

    struct OpenNode {
        int fd;
        std::string node;
    };

    int writeTimeoutMs_;
    std::uint32_t lastError_ = 0;
    std::vector<OpenNode> open_;
    Event lastEvent_ = kNoEvent;

    const std::uint8_t* writeData_ = nullptr;
    std::uint32_t writeCount_ = 0;
    std::uint8_t* readBuffer_ = nullptr;
    std::uint32_t readSize_ = 0;
    short readEvents_ = 0;
};

} // namespace fw::usb
