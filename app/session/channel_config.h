#pragma once
// The channel setup read from the window when a download opens its channel.

#include "session/download_channel.h"
#include "window/form_state.h"
#include "window/toolkit.h"

#include <string>

namespace fw {

// "9600 bps", "NONE", "8 bit", "1 bit" give "9600,N,8,1": the leading number
// of each numeric text and the first character of the parity text.
std::string serialSettingsString(const std::string& baud, const std::string& parity,
                                 const std::string& dataBits, const std::string& stopBits);

ChannelConfig channelConfigFromWindow(const Toolkit& ui, const FormState& state);

} // namespace fw
