// firmware-cli station's options: where the printers are, their lines,
// watching, retries; checked as they are parsed.
#include "cli/station.h"

#include "channels/serial_port_names.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <charconv>

namespace fw {

Result<StationPort> parseStationPort(const std::string& text)
{
    using Parsed = Result<StationPort>;
    StationPort port;
    const auto at = text.rfind('@');
    port.name = text.substr(0, at);
    SerialPortName named;
    if (!parseSerialPortName(port.name, named))
        return Parsed::failure(port.name + ": needs a port COM1 to COM255 or a device path");
    if (at == std::string::npos)
        return port;
    const std::string line = text.substr(at + 1);
    const auto slash = line.find('/');
    const std::string baud = line.substr(0, slash);
    int value = 0;
    const auto [end, ec] = std::from_chars(baud.data(), baud.data() + baud.size(), value);
    if (ec != std::errc() || end != baud.data() + baud.size() || value < 1 || value > 4000000)
        return Parsed::failure(text + ": the baud rate after @ must be 1 to 4000000");
    port.baud = value;
    if (slash == std::string::npos)
        return port;
    const std::string dps = line.substr(slash + 1);
    const char parity =
        dps.size() == 3 ? static_cast<char>(std::toupper(static_cast<unsigned char>(dps[1]))) : 0;
    if (dps.size() != 3 || dps[0] < '5' || dps[0] > '8' ||
        (parity != 'N' && parity != 'E' && parity != 'O') || (dps[2] != '1' && dps[2] != '2'))
        return Parsed::failure(text + ": the line after / must be data bits 5 to 8, parity N, E "
                                      "or O and stop bits 1 or 2, as in 8N1");
    port.dataBits = dps[0] - '0';
    port.parity = parity;
    port.stopBits = dps[2] - '0';
    return port;
}

namespace {

// COMn or a device, with the line after @.
std::string stationPortError(std::string& text)
{
    const Result<StationPort> port = parseStationPort(text);
    return port.ok() ? std::string() : port.error();
}

std::string usbChoiceError(std::string& text)
{
    if (text == "all")
        return {};
    int n = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (ec == std::errc() && end == text.data() + text.size() && n > 0)
        return {};
    return "--usb takes all or positions of 'firmware-cli list' (1, 2, ...)";
}

} // namespace

CLI::App* addStationCommand(CLI::App& app, StationOptions& o)
{
    CLI::App* station = app.add_subcommand(
        "station", "one package into many printers at once, each in a session of its own");
    station->add_option("PACKAGE", o.package, "the package file")->required()->type_name("");
    const char* where = "Where the printers are (any of them, each more than once)";
    station
        ->add_option("--serial", o.serial,
                     "serial ports COMn or device paths, each with its own\n"
                     "line as PORT@BAUD or PORT@BAUD/8N1 where it differs")
        ->delimiter(',')
        ->expected(1, CLI::detail::expected_max_vector_size)
        ->allow_extra_args(false)
        ->check(CLI::Validator(stationPortError, "", "serial port"))
        ->type_name("PORT,...")
        ->group(where);
    station->add_option("--usb", o.usb, "all: every USB printer the library lists; or positions")
        ->delimiter(',')
        ->expected(1, CLI::detail::expected_max_vector_size)
        ->allow_extra_args(false)
        ->check(CLI::Validator(usbChoiceError, "", "USB printers"))
        ->type_name("all|N,...")
        ->group(where);
    station
        ->add_option("--usb-serial", o.usbSerial,
                     "the USB printers whose serial number starts with PREFIX")
        ->delimiter(',')
        ->expected(1, CLI::detail::expected_max_vector_size)
        ->allow_extra_args(false)
        ->type_name("PREFIX,...")
        ->group(where);
    station->add_option("--usb-path", o.usbPath, "USB printers by their device paths")
        ->delimiter(',')
        ->expected(1, CLI::detail::expected_max_vector_size)
        ->allow_extra_args(false)
        ->type_name("PATH,...")
        ->group(where);
    station->add_option("--net", o.net, "the print share lp1 on each HOST")
        ->delimiter(',')
        ->expected(1, CLI::detail::expected_max_vector_size)
        ->allow_extra_args(false)
        ->type_name("HOST[:PORT],...")
        ->group(where);
    station->add_option("--settings", o.settingsFile, "the printer a Firmware.ini stores")
        ->type_name("FILE")
        ->group(where);
    const char* line = "Serial line (every port whose own line does not say)";
    station->add_option("--baud", "baud rate, 1 to 4000000 (9600)")
        ->check(CLI::Range(1, 4000000).description(""))
        ->type_name("BAUD")
        ->group(line)
        ->each([&o](const std::string& v) { o.baud = std::stoi(v); });
    station->add_option("--parity", "N, E or O (N): none, even, odd")
        ->check(CLI::IsMember({"N", "E", "O"}, CLI::ignore_case).description(""))
        ->type_name("N|E|O")
        ->group(line)
        ->each([&o](const std::string& v) {
            o.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(v.front())));
        });
    station->add_option("--data", "data bits, 5 to 8 (8)")
        ->check(CLI::Range(5, 8).description(""))
        ->type_name("BITS")
        ->group(line)
        ->each([&o](const std::string& v) { o.dataBits = std::stoi(v); });
    station->add_option("--stop", "stop bits, 1 or 2 (1)")
        ->check(CLI::IsMember({1, 2}).description(""))
        ->type_name("BITS")
        ->group(line)
        ->each([&o](const std::string& v) { o.stopBits = std::stoi(v); });
    station
        ->add_flag("--watch", o.watch,
                   "flash each printer that appears (and each present at the\n"
                   "start) once per plug-in, until Ctrl+C, --count or --timeout")
        ->group("Watching");
    station->add_option("--count", o.count, "--watch ends after N printers")
        ->check(CLI::PositiveNumber.description(""))
        ->type_name("N")
        ->group("Watching");
    station
        ->add_option("--timeout", o.timeout,
                     "--watch ends after S seconds with no printer under way\n"
                     "and none appearing")
        ->check(CLI::PositiveNumber.description(""))
        ->type_name("S")
        ->group("Watching");
    station
        ->add_option("--retry", o.retry,
                     "up to N more sessions for a printer whose session ends\n"
                     "in \"Communication Error.\" (each one logged)")
        ->check(CLI::NonNegativeNumber.description(""))
        ->type_name("N");
    station
        ->add_option("--log", o.logFile,
                     "append one JSON line per session to FILE, which must\n"
                     "open before anything is sent")
        ->type_name("FILE");
    station->add_flag("--force", o.force,
                      "send a file that does not look like a package all the same");
    station->footer(
        "Each printer gets a session of its own, exactly the one 'download' runs, all at\n"
        "the same time; the package is read and checked once, and a damaged one is sent to\n"
        "no printer. On a terminal a table shows every printer; otherwise each printer's\n"
        "line (with --json its JSON object, with \"where\" and \"attempt\") comes as it ends.\n"
        "The last line is the summary: \"8 printers: 7 Download Success., 1 Communication\n"
        "Error. (COM4)\" (with --json an object with \"printers\" and \"outcomes\").\n"
        "Ctrl+C ends the sessions under way at their next record boundary, a second one at\n"
        "once. A printer held by another station is not opened: its row says so.\n"
        "\n"
        "Exit codes: 0 every printer ended in \"Download Success.\"; 7 not every one did, or\n"
        "none was found; 2, 3, 4 as for download (nothing sent to any printer); 6 a\n"
        "printer's line or log line could not be written; 129, 130 ended by the terminal\n"
        "closing or Ctrl+C with sessions under way.");
    return station;
}

} // namespace fw
