#pragma once
// The serial channel: a serial port through Qt Serial Port, polled without an
// event loop.

#include "engine/channel.h"

#include <memory>
#include <string>

class QSerialPort;

namespace fw {

// Refuses line settings no serial port takes: a baud rate that is not
// positive, a parity other than N, E, O, M, S, data bits outside 5 to 8,
// stop bits other than 1 or 2.
Result checkSerialLine(const SerialLine& line);

class SerialChannel final : public DownloadChannel {
public:
    // `programDir` holds the optional ports/COMn links.
    explicit SerialChannel(std::string programDir);
    ~SerialChannel() override;

    ChannelKind kind() const override { return ChannelKind::Serial; }
    Result open(const ChannelSettings& settings) override;
    Result write(std::span<const std::uint8_t> bytes) override;
    Result waitingCount(int& count, std::chrono::milliseconds slice) override;
    Result read(std::vector<std::uint8_t>& bytes) override;
    void close() override;
    bool isOpen() const override;

    // The device the last open used ("" before the first).
    const std::string& device() const { return device_; }

private:
    Result portFault(const char* what);

    std::string programDir_;
    std::string portName_; // "COM3"
    std::string device_;
    std::unique_ptr<QSerialPort> port_;
};

} // namespace fw
