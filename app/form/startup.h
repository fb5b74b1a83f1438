#pragma once
// Start-up of the window before it is first shown, and its counterpart at
// the end of a run, "&OK" storing the settings.

#include "channels/usb_library.h"
#include "choice/list_entries.h"
#include "form/form_state.h"
#include "form/toolkit.h"

#include <span>
#include <string>

namespace fw {

inline constexpr const char* kMsgNoUsbDevice = "Not Connect USB Device and Power off!";
inline constexpr const char* kNoUsbDeviceTitle = "Firmware Downloader";

// Fills the lists, lists the USB printers, restores the last settings from
// the settings file in `settingsFolder` and chooses the stored interface. The
// window's handlers must already be connected: selecting options and USB
// entries runs them. The caller shows the window afterwards.
void startUp(Toolkit& ui, FormState& state, UsbLibrary& usb, const std::string& settingsFolder);

// "&OK": writes the interface, the list positions and the address into the
// settings file in `settingsFolder`; each key is tried, and the first that
// could not be written is the failure. The caller closes the window
// afterwards.
Result<> storeSettings(Toolkit& ui, const std::string& settingsFolder);

} // namespace fw
