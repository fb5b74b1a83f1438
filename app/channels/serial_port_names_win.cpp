#include "channels/serial_port_names.h"

namespace fw {

std::string resolveSerialPort(int portNumber, const std::string&) {
    if (portNumber < 1) return {};
    return "COM" + std::to_string(portNumber);
}

} // namespace fw
