#pragma once
// Where the bytes of the network print path go on this platform: the UNC path
// as a file on Windows, an SMB print job elsewhere.
//
// A print share gives the printer whatever the job file holds when the file
// is closed, by any close. So nothing is written before the whole job is
// there: deliver() writes it and closes, abandon() closes the file still
// empty, which the print server drops.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channels/network_address.h"
#include "engine/channel.h"
#include "base/result.h"

namespace fw {

class NetworkSink {
public:
    virtual ~NetworkSink() = default;
    // Opens the job file. `path` is the print path as built from the address;
    // `address` its checked parts. A failure says why it could not be opened.
    virtual Result<> open(const std::string& path, const NetworkAddress& address) = 0;
    // Writes the whole job and closes the file: the printer gets it now.
    // Waits as long as the print server keeps taking the job. A refusal: the
    // watch asked to stop in time and the printer gets nothing; a failure
    // says what the printer may have got. Closed afterwards either way.
    virtual Result<> deliver(std::vector<std::uint8_t> job, HandOverWatch& watch) = 0;
    // Closes the file without writing, so the printer gets nothing. Never
    // waits for a print server that does not answer.
    virtual void abandon() = 0;
    virtual bool isOpen() const = 0;
};

// How long a hand-over waits on a print server that takes nothing more.
inline constexpr std::chrono::milliseconds kHandOverStall{10000};

std::unique_ptr<NetworkSink> makeNetworkSink(std::chrono::milliseconds stall = kHandOverStall);

} // namespace fw
