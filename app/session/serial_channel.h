#pragma once
// The serial channel: a serial port through Qt Serial Port, polled without an
// event loop.

#include "session/download_channel.h"

#include <memory>
#include <string>

class QSerialPort;

namespace fw {

class SerialChannel final : public DownloadChannel {
public:
    // `programDir` holds the optional ports/COMn links.
    explicit SerialChannel(std::string programDir);
    ~SerialChannel() override;

    ChannelKind kind() const override { return ChannelKind::Serial; }
    ChannelStatus open(const ChannelConfig& config) override;
    ChannelStatus write(std::span<const std::uint8_t> bytes) override;
    ChannelStatus waitingCount(int& count, std::chrono::milliseconds slice) override;
    ChannelStatus read(std::vector<std::uint8_t>& bytes) override;
    void close() override;
    bool isOpen() const override;

    // The device the last open used ("" before the first).
    const std::string& device() const { return device_; }

private:
    ChannelStatus portFault(const char* what);

    std::string programDir_;
    std::string portName_; // "COM3"
    std::string device_;
    std::unique_ptr<QSerialPort> port_;
};

} // namespace fw
