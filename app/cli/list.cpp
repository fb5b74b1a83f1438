// firmware-cli list: the serial ports COM1 to COM10 with the device each
// reaches, and the USB printers TAVLIB finds with each one's maker, product
// and serial number.
#include "channels/serial_port_names.h"
#include "channels/tavlib_binding.h"
#include "channels/usb_identity.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "form/startup.h"
#include "settings/locations.h"

#include <array>

namespace fw {

namespace {

struct UsbPrinter {
    int position = 0; // from 1, as USB001
    std::string device;
};

// The printers as start-up lists them; a failure when the library is missing.
Result findUsbPrinters(UsbLibrary& usb, std::vector<UsbPrinter>& printers, std::int32_t& count)
{
    if (const Result found = usb.findDevices(count); !found.ok())
        return found;
    for (int k = 0; k < count && k < kMaxListedPrinters; ++k) {
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        std::int32_t ignored = 0;
        if (const Result named = usb.deviceName(k, name.data(), ignored); !named.ok())
            return named;
        printers.push_back({k + 1, std::string(name.data())});
    }
    return Result::success();
}

} // namespace

int runList(const CommonOptions& common, std::FILE* out)
{
    const Locations where = programLocations();

    Json serialJson = Json::array();
    std::string serialText;
    for (int n = 1; n <= static_cast<int>(std::size(kPortEntries)); ++n) {
        const std::string port = "COM" + std::to_string(n);
        const std::string device = resolveSerialPort(n, where.settingsFolder);
        const SerialPortDetails details =
            device.empty() ? SerialPortDetails{} : describeSerialPort(device);
        Json o;
        o["port"] = port;
        o["device"] = device.empty() ? Json(nullptr) : Json(device);
        o["description"] = details.description;
        o["manufacturer"] = details.manufacturer;
        o["serialNumber"] = details.serialNumber;
        serialJson.push_back(std::move(o));

        std::string line = port + (n < 10 ? "   " : "  ") + (device.empty() ? "-" : device);
        for (const std::string* part :
             {&details.description, &details.manufacturer, &details.serialNumber})
            if (!part->empty())
                line += "  " + *part;
        serialText += "  " + line + "\n";
    }

    TavlibBinding usb(where.libraryFolder);
    std::vector<UsbPrinter> printers;
    std::int32_t count = -1;
    const Result found = findUsbPrinters(usb, printers, count);

    if (common.json) {
        Json printerJson = Json::array();
        for (const UsbPrinter& p : printers) {
            Json o;
            o["position"] = p.position;
            o["name"] = usbEntryName(p.position);
            o["device"] = p.device;
            const UsbIdentity id = describeUsbPrinter(p.device);
            o["manufacturer"] = id.manufacturer;
            o["product"] = id.product;
            o["serialNumber"] = id.serialNumber;
            printerJson.push_back(std::move(o));
        }
        Json usbJson;
        usbJson["found"] = count;
        usbJson["error"] = found.ok() ? Json(nullptr) : Json(found.error());
        usbJson["printers"] = std::move(printerJson);
        Json all;
        all["serial"] = std::move(serialJson);
        all["usb"] = std::move(usbJson);
        return writeResult(out, jsonText(all), kExitSuccess);
    }
    std::string text = "Serial ports:\n" + serialText + "USB printers:";
    if (!found.ok())
        text += "\n  none: " + found.error();
    else if (count < 0)
        text += "\n  none: the search for USB printers failed";
    else if (printers.empty())
        text += "\n  none attached";
    for (const UsbPrinter& p : printers) {
        text += "\n  " + usbEntryName(p.position) + "  " + p.device;
        const UsbIdentity id = describeUsbPrinter(p.device);
        for (const std::string* part : {&id.manufacturer, &id.product})
            if (!part->empty())
                text += "  " + *part;
        if (!id.serialNumber.empty())
            text += "  serial " + id.serialNumber;
    }
    return writeResult(out, text, kExitSuccess);
}

} // namespace fw
