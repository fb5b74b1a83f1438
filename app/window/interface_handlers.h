#pragma once
// The handlers of the interface choice: the option buttons switch the
// settings frames, and choosing a USB list entry takes that printer's
// device path.

#include "session/usb_library.h"
#include "window/form_state.h"
#include "window/toolkit.h"

namespace fw {

// Length of strDevice after a selection in CboUSB.
inline constexpr int kDevicePathChars = UsbLibrary::kNameSize;

// Shows the settings frame of `option` and hides the other two, in the order
// serial, USB, Ethernet. Changes nothing else. Not an option: nothing.
void showInterfaceFrame(Toolkit& ui, Ctl option);

// Sets strDevice to the device path of the printer at the selected position
// of CboUSB: the path, its NUL, then blanks up to 256 characters; 256 blanks
// when the library has no path for that position or cannot be loaded.
void takeUsbDevicePath(Toolkit& ui, FormState& state, UsbLibrary& usb);

} // namespace fw
