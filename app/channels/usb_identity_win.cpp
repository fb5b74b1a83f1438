#include "channels/usb_identity.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace fw {

UsbIdentity describeUsbPrinter(const std::string& devicePath)
{
    // \\?\usb#vid_0483&pid_7c30#SERIAL#{interface class}: the instance ID
    // USB\VID_0483&PID_7C30\SERIAL with "#" for "\".
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (std::size_t at; (at = devicePath.find('#', from)) != std::string::npos; from = at + 1)
        parts.push_back(devicePath.substr(from, at - from));
    parts.push_back(devicePath.substr(from));
    UsbIdentity id;
    if (parts.size() < 4)
        return id;
    std::string ids = parts[1];
    std::transform(ids.begin(), ids.end(), ids.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const auto amp = ids.find('&');
    id.manufacturer = ids.substr(0, amp);
    id.product = amp == std::string::npos ? "" : ids.substr(amp + 1);
    // A serial number with "&" in it is one the system made up (no serial
    // number in the device).
    if (parts[2].find('&') == std::string::npos)
        id.serialNumber = parts[2];
    return id;
}

} // namespace fw
