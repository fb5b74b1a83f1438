#include "channels/network_address.h"

#include <charconv>

namespace fw {

std::string networkPrintPath(const std::string& address)
{
    return "\\\\" + address + "\\lp1";
}

Result<> checkNetworkAddress(const std::string& address, NetworkAddress& out)
{
    const std::string shown = "\"" + address + "\"";
    for (unsigned char c : address) {
        if (c < 0x20 || c == 0x7f) {
            return Result<>::failure(
                "The printer address " +
                std::string("contains a control character; type a host name or IP address only."));
        }
        if (c == '/' || c == '\\' || c == '@' || c == '?' || c == '#' || c == '%') {
            return Result<>::failure(
                "The printer address " + shown + " contains '" +
                std::string(1, static_cast<char>(c)) +
                "'; type a host name or IP address only, optionally with :port.");
        }
    }
    out = NetworkAddress{};
    out.host = address;
    const auto colon = address.rfind(':');
    const bool bracketed = !address.empty() && address.front() == '[';
    if (colon != std::string::npos &&
        !(bracketed && address.find(']', colon) != std::string::npos)) {
        const std::string portText = address.substr(colon + 1);
        int port = 0;
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (portText.empty() || ec != std::errc() || end != portText.data() + portText.size() ||
            port < 1 || port > 65535) {
            return Result<>::failure("The port in the printer address " + shown +
                                     " is not a number from 1 to 65535.");
        }
        out.host = address.substr(0, colon);
        out.port = port;
    }
    if (out.host.empty() || out.host == "[]") {
        return Result<>::failure("The printer address " + shown +
                                 " has no host name or IP address.");
    }
    if (!bracketed && out.host.find(':') != std::string::npos) {
        return Result<>::failure(
            "The printer address " + shown +
            " is not a host name or IP address; write an IPv6 address in [ ].");
    }
    return Result<>::success();
}

} // namespace fw
