#pragma once
// The model query: which printer answers on the open channel.

#include "session/clock.h"
#include "session/download_channel.h"
#include "session/session_host.h"

#include <cstdint>
#include <span>

namespace fw {

// The model code for a printer's answer: 2, 3 or 4 for the three known
// models, 5 for anything else.
std::uint8_t modelCodeOf(std::span<const std::uint8_t> reply);

// Writes the query and waits for the answer as the channel kind asks.
// Gives 1 after a failed channel operation (reported through `host`).
std::uint8_t GetPrinterModel(DownloadChannel& channel, Clock& clock, SessionHost& host);

} // namespace fw
