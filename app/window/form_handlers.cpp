#include "window/form_handlers.h"

#include "window/interface_handlers.h"

namespace fw {

void FormHandlers::optionClicked(Ctl option)
{
    showInterfaceFrame(ui_, option);
}

void FormHandlers::listClicked(Ctl list)
{
    // The other lists have no handler: they are read when a download starts.
    if (list == Ctl::CboUSB)
        takeUsbDevicePath(ui_, state_, usb_);
}

} // namespace fw
