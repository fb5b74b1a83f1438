#pragma once
// The platform on Windows: SetupAPI for the printer-class interfaces and
// overlapped file I/O on the printer's two pipes.

#include "platform.h"

#include <windows.h>

namespace fw::usb {

class WindowsPlatform final : public Platform {
public:
    std::unique_ptr<DeviceList> devices() override;
    bool testOpen(const char* path) override;
    std::uint32_t lastError() override { return lastError_; }
    std::uint32_t nameTooLongError() const override { return ERROR_FILENAME_EXCED_RANGE; }

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

    void setLastError(std::uint32_t error) { lastError_ = error; }

private:
    std::uint32_t lastError_ = 0;
    // Completion records of the request in flight in each direction.
    OVERLAPPED readOverlap_{};
    OVERLAPPED writeOverlap_{};
};

} // namespace fw::usb
