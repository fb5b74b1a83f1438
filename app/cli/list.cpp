// firmware-cli list: the serial ports COM1 to COM10 with the device each
// reaches, and the USB printers TAVLIB finds.
#include "channels/serial_port_names.h"
#include "channels/tavlib_binding.h"
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

    std::string serialJson;
    std::string serialText;
    for (int n = 1; n <= static_cast<int>(std::size(kPortEntries)); ++n) {
        const std::string port = "COM" + std::to_string(n);
        const std::string device = resolveSerialPort(n, where.settingsFolder);
        const SerialPortDetails details =
            device.empty() ? SerialPortDetails{} : describeSerialPort(device);
        JsonObject o;
        o.add("port", port);
        o.addOptional("device", device.empty() ? std::nullopt : std::optional(device));
        o.add("description", details.description).add("manufacturer", details.manufacturer);
        o.add("serialNumber", details.serialNumber);
        serialJson += (serialJson.empty() ? "" : ",") + o.text();

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
