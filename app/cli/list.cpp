// firmware-cli list: the serial ports COM1 to COM10 and those of every
// ports/COMn link, with the device each reaches, and the USB printers TAVLIB
// finds.
#include "channels/serial_port_names.h"
#include "channels/tavlib_binding.h"
#include "cli/cli.h"
#include "cli/json.h"
#include "form/startup.h"
#include "settings/locations.h"

#include <algorithm>
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

// 1st, 2nd, 3rd, 4th, ... 11th, 12th, 13th, ... 21st.
std::string ordinal(int n)
{
    const char* suffix = "th";
    if (n % 100 < 11 || n % 100 > 13)
        suffix = n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
    return std::to_string(n) + suffix;
}

} // namespace

int runList(Arguments args, std::FILE* out)
{
    CommonOptions common;
    while (!args.done()) {
        const std::string& a = args.next();
        if (a == "--json")
            common.json = true;
        else if (a != "--verbose" && a != "--quiet")
            return usageError("list takes no argument '" + a + "'");
    }
    const Locations where = programLocations();

    // COM1 to COM10 as the window lists them, and every port a link names.
    const std::vector<PortLink> links = listPortLinks(where.settingsFolder);
    std::vector<int> numbers;
    for (int n = 1; n <= static_cast<int>(std::size(kPortEntries)); ++n)
        numbers.push_back(n);
    for (const PortLink& l : links)
        if (l.portNumber > static_cast<int>(std::size(kPortEntries)))
            numbers.push_back(l.portNumber);
    std::string serialJson;
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
        JsonObject o;
        o.add("port", port);
        o.addOptional("device", device.empty() ? std::nullopt : std::optional(device));
        o.add("description", details.description).add("manufacturer", details.manufacturer);
        o.add("serialNumber", details.serialNumber);
        o.add("source", choice.source == PortSource::Link ? "link"
                        : enumerated                      ? "enumeration"
                                                          : "none");
        if (!choice.stableName.empty())
            o.add("stableName", choice.stableName);
        if (link != links.end()) {
            JsonObject l;
            l.add("target", link->target).add("state", linkStateText(link->state));
            o.add("link", l);
        }
        serialJson += (serialJson.empty() ? "" : ",") + o.text();

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
    std::vector<UsbPrinter> printers;
    std::int32_t count = -1;
    const Result found = findUsbPrinters(usb, printers, count);

    if (common.json) {
        std::string printerJson;
        for (const UsbPrinter& p : printers) {
            JsonObject o;
            o.add("position", p.position)
                .add("name", usbEntryName(p.position))
                .add("device", p.device);
            printerJson += (printerJson.empty() ? "" : ",") + o.text();
        }
        JsonObject usbJson;
        usbJson.add("found", static_cast<std::int64_t>(count));
        usbJson.addOptional("error", found.ok() ? std::nullopt : std::optional(found.error()));
        usbJson.addArray("printers", printerJson);
        JsonObject all;
        all.addArray("serial", serialJson).add("usb", usbJson);
        std::fprintf(out, "%s\n", all.text().c_str());
        return kExitSuccess;
    }
    std::fprintf(out, "Serial ports:\n%s", serialText.c_str());
    std::fprintf(out, "USB printers:\n");
    if (!found.ok())
        std::fprintf(out, "  none: %s\n", found.error().c_str());
    else if (count < 0)
        std::fprintf(out, "  none: the search for USB printers failed\n");
    else if (printers.empty())
        std::fprintf(out, "  none attached\n");
    for (const UsbPrinter& p : printers)
        std::fprintf(out, "  %s  %s\n", usbEntryName(p.position).c_str(), p.device.c_str());
    return kExitSuccess;
}

} // namespace fw
