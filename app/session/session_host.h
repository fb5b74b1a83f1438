#pragma once
// What the protocol needs from the session around it.

#include "session/download_channel.h"

#include <cstddef>
#include <string>

namespace fw {

class SessionHost {
public:
    virtual ~SessionHost() = default;
    // Report a failed step to the user and carry on with the next one.
    virtual void report(const std::string& description) = 0;
    // The progress update after a record; `position` is just past it.
    virtual void progressUpdate(std::size_t position) = 0;
};

// The words for a channel operation that did not go through.
inline std::string failureText(const ChannelStatus& status)
{
    return status.error.empty() ? std::string("The printer connection refused the data.")
                                : status.error;
}

} // namespace fw
