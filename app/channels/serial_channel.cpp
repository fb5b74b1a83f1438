#include "channels/serial_channel.h"

#include "channels/serial_port_names.h"

#include <string_view>
#include <sys/stat.h>

namespace fw {

Result<> checkSerialLine(const SerialLine& line)
{
    if (line.baud <= 0)
        return Result<>::failure("The baud rate " + std::to_string(line.baud) +
                                 " is not a positive number.");
    if (std::string_view("NEOMS").find(line.parity) == std::string_view::npos ||
        line.parity == '\0')
        return Result<>::failure(std::string("The parity '") + line.parity +
                                 "' is not one of N, E, O, M, S.");
    if (line.dataBits < 5 || line.dataBits > 8)
        return Result<>::failure("The data bits " + std::to_string(line.dataBits) +
                                 " are not 5 to 8.");
    if (line.stopBits != 1 && line.stopBits != 2)
        return Result<>::failure("The stop bits " + std::to_string(line.stopBits) +
                                 " are not 1 or 2.");
    return Result<>::success();
}

Result<> SerialChannel::prepareOpen(const ChannelSettings& settings)
{
    portName_.clear();
    device_.clear();
    choice_ = {};
    if (!settings.serialDevice.empty()) {
        portName_ = device_ = settings.serialDevice;
        struct stat st {};
        if (::stat(device_.c_str(), &st) != 0)
            return Result<>::failure("The serial port " + portName_ +
                                     " does not exist on this computer.");
        if (!S_ISCHR(st.st_mode))
            return Result<>::failure("The serial port " + portName_ + " is not a device.");
        choice_ = {device_, PortSource::Path, {}};
        return checkSerialLine(settings.line);
    }
    if (settings.portNumber < 1)
        return Result<>::failure("No serial port is chosen: choose one in the Port list.");
    portName_ = "COM" + std::to_string(settings.portNumber);
    choice_ = findSerialPort(settings.portNumber, programDir_);
    device_ = choice_.device;
    if (device_.empty())
        return Result<>::failure("The serial port " + portName_ +
                                 " does not exist on this computer.");
    return checkSerialLine(settings.line);
}

std::uint8_t SerialChannel::awaitModelAnswer(Clock& clock, FailureReport& failures)
{
    return awaitPolledAnswer(*this, clock, failures);
}

AckWait SerialChannel::awaitAck(Clock& clock, FailureReport& failures,
                                std::vector<std::uint8_t>& heard)
{
    return awaitPolledAck(*this, clock, failures, heard);
}

void SerialChannel::closeAfterSession(bool)
{
    if (isOpen())
        close();
}

// No port chosen names no port: there is no COM0.
Result<> SerialChannel::notOpen() const
{
    if (portName_.empty())
        return Result<>::failure("No serial port is chosen, so nothing can be sent or read.");
    return Result<>::failure("The serial port " + portName_ + " is not open.");
}

} // namespace fw
