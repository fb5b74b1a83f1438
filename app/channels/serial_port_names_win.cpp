#include "channels/serial_port_names.h"

namespace fw {

std::string resolveSerialPort(int portNumber, const std::string&)
{
    if (portNumber < 1)
        return {};
    return "COM" + std::to_string(portNumber);
}

// The Windows front end names ports by number only; no details yet.
SerialPortDetails describeSerialPort(const std::string&)
{
    return {};
}

} // namespace fw
