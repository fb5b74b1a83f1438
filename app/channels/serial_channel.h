#pragma once
// The serial channel: a serial port polled without an event loop, through
// termios on Linux and the communications functions on Windows.

#include "channels/serial_port_names.h"
#include "engine/channel.h"
#include "engine/printer_replies.h"

#include <memory>
#include <string>

namespace fw {

// Refuses line settings no serial port takes: a baud rate that is not
// positive, a parity other than N, E, O, M, S, data bits outside 5 to 8,
// stop bits other than 1 or 2.
Result<> checkSerialLine(const SerialLine& line);

class SerialChannel final : public DownloadChannel, public PolledInput {
public:
    // `programDir` holds the optional ports/COMn links.
    explicit SerialChannel(std::string programDir);
    ~SerialChannel() override;

    Result<> open(const ChannelSettings& settings) override;
    Result<> write(std::span<const std::uint8_t> bytes) override;
    Result<> waitingCount(int& count, std::chrono::milliseconds slice) override;
    Result<> read(std::vector<std::uint8_t>& bytes) override;
    // One flush of the port's input, and of what this channel holds.
    void discardInput() override;
    // The model answer and each acknowledgement are polled for on the line.
    std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) override;
    AckWait awaitAck(Clock& clock, FailureReport& failures,
                     std::vector<std::uint8_t>& heard) override;
    // Every record is acknowledged.
    RecordRule recordRule(std::uint8_t) const override { return {}; }
    void close() override;
    // Closed when open.
    void closeAfterSession(bool) override;
    bool isOpen() const override;

    // The device the last open used ("" before the first), and how its port
    // number found it.
    const std::string& device() const { return device_; }
    const PortChoice& choice() const { return choice_; }

private:
    // What every platform checks before it opens the port: a port chosen that
    // names a device, and line settings a port takes. Sets the port's name
    // and device.
    Result<> prepareOpen(const ChannelSettings& settings);
    // The report of a use of the port while it is not open.
    Result<> notOpen() const;

    // The platform's port, defined by each platform's file.
    struct Port;

    std::string programDir_;
    std::string portName_; // "COM3"; empty when no port is chosen
    std::string device_;
    PortChoice choice_;
    std::unique_ptr<Port> port_;
};

} // namespace fw
