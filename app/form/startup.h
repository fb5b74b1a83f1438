#pragma once
// Start-up of the window before it is first shown, and its counterpart at
// the end of a run, "&OK" storing the settings.

#include "channels/usb_library.h"
#include "form/form_state.h"
#include "form/toolkit.h"

#include <span>
#include <string>

namespace fw {

inline constexpr const char* kMsgNoUsbDevice = "Not Connect USB Device and Power off!";
inline constexpr const char* kNoUsbDeviceTitle = "Firmware Downloader";
inline constexpr const char* kDefaultIpAddress = "192.168.0.10";
// The only entry of CboUSB when no printer is listed.
inline constexpr const char* kNoUsbEntry = "LPT1";
// Printers are listed only up to this many; more counts as none.
inline constexpr int kMaxListedPrinters = 99;

// The fixed entries of the lists, position 0 first. The download reads the
// port number and line settings from their positions and texts.
inline constexpr const char* kPortEntries[] = {"COM1", "COM2", "COM3", "COM4", "COM5",
                                               "COM6", "COM7", "COM8", "COM9", "COM10"};
inline constexpr const char* kBaudRateEntries[] = {
    "2400 bps", "4800 bps", "9600 bps", "19200 bps", "38400 bps", "57600 bps", "115200 bps"};
inline constexpr const char* kBitLengthEntries[] = {"8 bit"};
inline constexpr const char* kParityEntries[] = {"NONE", "EVEN", "ODD"};
inline constexpr const char* kStopBitEntries[] = {"1 bit"};
inline constexpr const char* kHandShakeEntries[] = {"DTR/DSR"};

// The display name of the printer at `k` (from 1) of the library's list:
// USB001 ... USB099.
std::string usbEntryName(int k);

// Fills the lists, lists the USB printers, restores the last settings from
// the settings file in `settingsFolder` and chooses the stored interface. The
// window's handlers must already be connected: selecting options and USB
// entries runs them. The caller shows the window afterwards.
void startUp(Toolkit& ui, FormState& state, UsbLibrary& usb, const std::string& settingsFolder);

// "&OK": writes the interface, the list positions and the address into the
// settings file in `settingsFolder`. The caller closes the window afterwards.
void storeSettings(Toolkit& ui, const std::string& settingsFolder);

} // namespace fw
