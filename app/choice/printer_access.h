#pragma once
// The program's own way to its printers, put together once for every front
// end: the USB library found beside the program, the three channels (with the
// ports/COMn links of the settings folder) and the wall clock.

#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "settings/locations.h"

namespace fw {

struct PrinterAccess {
    explicit PrinterAccess(const Locations& where)
        : usb(where.libraryFolder), channels(where.settingsFolder, usb)
    {}
    PrinterAccess(const PrinterAccess&) = delete;
    PrinterAccess& operator=(const PrinterAccess&) = delete;

    TavlibBinding usb;
    ProductChannels channels;
    SteadyClock clock;
};

} // namespace fw
