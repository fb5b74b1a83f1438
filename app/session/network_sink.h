#pragma once
// Where the bytes of the network print path go on this platform: the UNC path
// as a file on Windows, an SMB print job elsewhere.

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "session/network_address.h"

namespace fw {

class NetworkSink {
public:
    virtual ~NetworkSink() = default;
    // `path` is the print path as built from the address; `address` its
    // checked parts. Empty result: open; else the reason it is not.
    virtual std::string open(const std::string& path, const NetworkAddress& address) = 0;
    virtual std::string write(std::span<const std::uint8_t> bytes) = 0;
    // Ends the job (the printer gets it now); gives the reason when that fails.
    virtual std::string close() = 0;
    virtual bool isOpen() const = 0;
};

std::unique_ptr<NetworkSink> makeNetworkSink();

} // namespace fw
