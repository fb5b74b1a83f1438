#include "channels/usb_identity.h"

#include <libudev.h>

#include <memory>

namespace fw {

namespace {

std::string attribute(udev_device* device, const char* name)
{
    const char* value = udev_device_get_sysattr_value(device, name);
    return value ? value : "";
}

} // namespace

UsbIdentity describeUsbPrinter(const std::string& devicePath)
{
    UsbIdentity id;
    // /dev/usb/lpN is the usbmisc device lpN; its node's number is not asked,
    // so a node the system made elsewhere is found by its name too.
    const auto slash = devicePath.rfind('/');
    const std::string name = slash == std::string::npos ? devicePath : devicePath.substr(slash + 1);
    const std::unique_ptr<udev, decltype(&udev_unref)> context(udev_new(), udev_unref);
    if (!context || name.empty())
        return id;
    const std::unique_ptr<udev_device, decltype(&udev_device_unref)> leaf(
        udev_device_new_from_subsystem_sysname(context.get(), "usbmisc", name.c_str()),
        udev_device_unref);
    if (!leaf)
        return id;
    // Owned by the leaf.
    udev_device* usb =
        udev_device_get_parent_with_subsystem_devtype(leaf.get(), "usb", "usb_device");
    if (!usb)
        return id;
    id.manufacturer = attribute(usb, "manufacturer");
    id.product = attribute(usb, "product");
    id.serialNumber = attribute(usb, "serial");
    return id;
}

} // namespace fw
