#include "channels/serial_port_names.h"

namespace fw {

namespace {

// "COM12" (any case, or the number alone) gives 12; 0 when it is not COM1 to
// COM255.
int comNumber(std::string_view text)
{
    if (text.size() > 3 && (text[0] | 0x20) == 'c' && (text[1] | 0x20) == 'o' &&
        (text[2] | 0x20) == 'm')
        text.remove_prefix(3);
    if (text.empty() || text.size() > 6)
        return 0;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + (c - '0');
    }
    return n > kMaxPortNumber ? 0 : n;
}

} // namespace

std::string serialPortText(int portNumber, const std::string& devicePath)
{
    return devicePath.empty() ? "COM" + std::to_string(portNumber) : devicePath;
}

bool parseSerialPortName(std::string_view text, SerialPortName& out)
{
    out = {};
#ifdef _WIN32
    // The device namespace form, which COM10 and above need elsewhere.
    if (text.starts_with("\\\\.\\"))
        text.remove_prefix(4);
#else
    if (text.find('/') != std::string_view::npos) {
        out.devicePath = std::string(text);
        return true;
    }
#endif
    out.portNumber = comNumber(text);
    return out.portNumber != 0;
}

const char* linkStateText(LinkState state)
{
    switch (state) {
    case LinkState::Usable: return "usable";
    case LinkState::Dangling: return "dangling";
    case LinkState::Loop: return "a loop";
    case LinkState::Directory: return "a directory";
    case LinkState::RegularFile: return "a regular file";
    case LinkState::NotCharacterDevice: return "not a character device";
    }
    return "";
}

std::string resolveSerialPort(int portNumber, const std::string& linksFolder)
{
    return findSerialPort(portNumber, linksFolder).device;
}

} // namespace fw
