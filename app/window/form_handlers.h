#pragma once
// The window's selection handlers, as the toolkit runs them: option buttons
// switch the settings frames, CboUSB takes the chosen printer's path.

#include "session/usb_library.h"
#include "window/form_state.h"
#include "window/toolkit.h"

namespace fw {

class FormHandlers : public ToolkitEvents {
public:
    FormHandlers(Toolkit& ui, FormState& state, UsbLibrary& usb) : ui_(ui), state_(state), usb_(usb) {}

    void optionClicked(Ctl option) override;
    void listClicked(Ctl list) override;

private:
    Toolkit& ui_;
    FormState& state_;
    UsbLibrary& usb_;
};

} // namespace fw
