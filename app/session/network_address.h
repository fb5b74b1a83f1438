#pragma once
// The typed printer address of the network print path, checked so that it can
// reach nothing but the share lp1 on one host.

#include <optional>
#include <string>

namespace fw {

struct NetworkAddress {
    std::string host; // as typed, without the port
    int port = 0;     // 0: the protocol's own port
};

// "\\" + address + "\lp1", the address exactly as typed.
std::string networkPrintPath(const std::string& address);

// Refuses an empty host, a port that is not 1 to 65535, and any character that
// would leave the host part of a path or URL: / \ @ ? # % and control
// characters. Gives nullopt and the reason in `why`.
std::optional<NetworkAddress> checkNetworkAddress(const std::string& address, std::string& why);

} // namespace fw
