#pragma once
// The interface and its settings as start-up restores them from a settings
// file, without a window: the same keys, list entries and fallbacks.

#include "engine/channel.h"

#include <optional>
#include <string>

namespace fw {

struct StoredInterface {
    std::optional<ChannelKind> kind; // none when no usable Interface is stored
    ChannelSettings settings;        // port, line settings and address as restored
    int usbPosition = -1;            // USB: the chosen printer's position in the library's list
    bool usbWanted = false;          // USB was stored but no printer is listed: Serial stands in
};

// `usbPrinters` is the library's count of attached printers; USB counts as
// chosen only while printers are listed, as at start-up.
StoredInterface readStoredInterface(const std::string& settingsPath, int usbPrinters);

} // namespace fw
