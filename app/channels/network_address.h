#pragma once
// The typed printer address of the network print path, checked so that it can
// reach nothing but the share lp1 on one host.

#include "base/result.h"

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
// characters. On success `out` holds the address's parts.
Result<> checkNetworkAddress(const std::string& address, NetworkAddress& out);

} // namespace fw
