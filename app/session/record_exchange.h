#pragma once
// One record of the transfer: assemble it, send it, and await its
// acknowledgement where the channel and the printer model call for it.

#include "session/clock.h"
#include "session/download_channel.h"
#include "session/record_assembly.h"
#include "session/session_host.h"

#include <cstdint>
#include <span>

namespace fw {

struct ExchangeResult {
    std::size_t next = 0;
    bool endMark = false;
    // The channel did not take the record (a failed or refused write, or a
    // USB printer that could not be opened where no acknowledgement tells).
    bool delivered = true;
    bool ackMissing = false; // the acknowledgement wait ran out
    std::optional<PackageFault> fault; // nothing was sent
};

struct ExchangeSetup {
    DownloadChannel& channel;
    std::uint8_t modelCode = 0;
    bool usbOpened = true; // usb_open took the device path
};

ExchangeResult exchangeRecord(std::span<const std::uint8_t> data, std::size_t position,
                              const ExchangeSetup& setup, Clock& clock, SessionHost& host);

} // namespace fw
