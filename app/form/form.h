#pragma once
// Form1's logic without a toolkit: the handlers of the window's controls,
// from start-up to "&OK". A front end creates the window, hands its toolkit
// here and runs these handlers when the user acts.

#include "channels/usb_library.h"
#include "engine/session.h"
#include "form/form_state.h"
#include "form/toolkit.h"
#include "settings/locations.h"

#include <string>

namespace fw {

// Length of the USB device path after a selection in CboUSB.
inline constexpr int kDevicePathChars = UsbLibrary::kNameSize;

// Shows the settings frame of `option` and hides the other two, in the order
// serial, USB, Ethernet. Changes nothing else. Not an option: nothing.
void showInterfaceFrame(Toolkit& ui, Ctl option);

// Sets the USB device path to that of the printer at the selected position
// of CboUSB: the path, its NUL, then blanks up to 256 characters; 256 blanks
// when the library has no path for that position or cannot be loaded.
void takeUsbDevicePath(Toolkit& ui, FormState& state, UsbLibrary& usb);

class Form final : public ToolkitEvents {
public:
    // `where` tells where the settings file, the packages and the ports/COMn
    // links are.
    Form(Toolkit& ui, UsbLibrary& usb, DownloadSession& session, Locations where);
    // Everything in `programDir`, the folder that holds the program file.
    Form(Toolkit& ui, UsbLibrary& usb, DownloadSession& session, const std::string& programDir);
    ~Form() override;
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    // Fills the lists, restores the settings and chooses the interface;
    // the front end shows the window afterwards.
    void startUp();
    // File → Open.
    void openPackage();
    // "Download Start": the Open step, then one download session. Afterwards
    // the front end closes the window if endRequested() says so.
    void startDownload();
    // "&OK": stores the settings; the front end closes the window afterwards.
    void storeSettings();
    // The window is asked to close. False while a session runs: the session
    // then stops at its next look, releases its channel and returns, and the
    // window closes after that.
    bool mayClose();
    bool endRequested() const { return state_.endRequested; }

    FormState& state() { return state_; }
    const Locations& locations() const { return where_; }

    void optionClicked(Ctl option) override;
    void listClicked(Ctl list) override;

private:
    Toolkit& ui_;
    UsbLibrary& usb_;
    DownloadSession& session_;
    Locations where_;
    FormState state_;
};

} // namespace fw
