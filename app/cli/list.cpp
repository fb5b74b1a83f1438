// firmware-cli list: the serial ports COM1 to COM10 and those of every
// ports/COMn link, with the device each reaches, and the USB printers TAVLIB
// finds with each one's maker, product and serial number.
#include "channels/serial_port_names.h"
#include "channels/tavlib_binding.h"
#include "channels/usb_identity.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "choice/list_entries.h"
#include "settings/locations.h"

#include <algorithm>
#include <array>

namespace fw {

namespace {

struct UsbPrinter {
    int position = 0; // from 1, as USB001
    std::string device;
};

struct UsbPrinters {
    std::int32_t found = -1; // the library's count, -1 for a failed search
    std::vector<UsbPrinter> listed;
};

// The printers as start-up lists them; a failure when the library is missing.
Result<UsbPrinters> findUsbPrinters(UsbLibrary& usb)
{
    const Result<std::int32_t> found = usb.findDevices();
    if (!found.ok())
        return found.status();
    UsbPrinters printers;
    printers.found = *found;
    for (int k = 0; k < printers.found && k < kMaxListedPrinters; ++k) {
        std::array<char, UsbLibrary::kNameSize + 1> name{};
        if (const Result<std::int32_t> named = usb.deviceName(k, name.data()); !named.ok())
            return named.status();
        printers.listed.push_back({k + 1, std::string(name.data())});
    }
    return printers;
}

// 1st, 2nd, 3rd, 4th, ... 11th, 12th, 13th, ... 21st.
std::string ordinal(int n)
{
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13)
        suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

} // namespace

int runList(const CommonOptions& common, std::FILE* out)
{
    const Locations where = programLocations();

    // COM1 to COM10 as the window lists them, and every port a link names.
    const std::vector<PortLink> links = listPortLinks(where.settingsFolder);
    std::vector<int> numbers;
    for (int n = 1; n <= static_cast<int>(std::size(kPortEntries)); ++n)
        numbers.push_back(n);
    for (const PortLink& l : links)
        if (l.portNumber > static_cast<int>(std::size(kPortEntries)))
            numbers.push_back(l.portNumber);
    Json serialJson = Json::array();
    std::string serialText;
    for (const int n : numbers) {
        const std::string port = "COM" + std::to_string(n);
        const PortChoice choice = findSerialPort(n, where.settingsFolder);
        const std::string& device = choice.device;
        const SerialPortDetails details =
            device.empty() ? SerialPortDetails{} : describeSerialPort(device);
        const auto link = std::find_if(links.begin(), links.end(),
                                       [n](const PortLink& l) { return l.portNumber == n; });
        const bool enumerated = choice.source == PortSource::Enumeration;
        Json o;
        o["port"] = port;
        o["device"] = device.empty() ? Json(nullptr) : Json(device);
        o["description"] = details.description;
        o["manufacturer"] = details.manufacturer;
        o["serialNumber"] = details.serialNumber;
        o["source"] = choice.source == PortSource::Link ? "link"
                      : enumerated                      ? "enumeration"
                                                        : "none";
        if (!choice.stableName.empty())
            o["stableName"] = choice.stableName;
        if (link != links.end()) {
            Json l;
            l["target"] = link->target;
            l["state"] = linkStateText(link->state);
            o["link"] = std::move(l);
        }
        serialJson.push_back(std::move(o));

        std::string line = port + std::string(port.size() < 6 ? 7 - port.size() : 1, ' ') +
                           (device.empty() ? "-" : device);
        for (const std::string* part :
             {&details.description, &details.manufacturer, &details.serialNumber})
            if (!part->empty())
                line += "  " + *part;
        // A number found by its place among the ports present moves when an
        // adapter before it goes away.
        if (enumerated)
            line += "  (no link: the " + ordinal(n) + " serial port present" +
                    (choice.stableName.empty() ? "" : "; stable name " + choice.stableName) + ")";
        if (link != links.end() && link->state != LinkState::Usable)
            line += "  (the link ports/" + port + " -> " + link->target + " is " +
                    linkStateText(link->state) + ")";
        serialText += "  " + line + "\n";
    }

    TavlibBinding usb(where.libraryFolder);
    const Result<UsbPrinters> found = findUsbPrinters(usb);
    const std::vector<UsbPrinter> printers = found.ok() ? found->listed : std::vector<UsbPrinter>{};
    const std::int32_t count = found.ok() ? found->found : -1;

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
