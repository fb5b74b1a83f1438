// firmware-cli: lists printers, inspects packages and downloads them without
// a window, for scripts on repair benches and factory lines.
#include "cli/cli.h"
#include "channels/serial_port_names.h"
#include "cli/console.h"
#include "cli/station.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cstring>

namespace fw {

namespace {

constexpr const char* kFooter =
    "The outcome is the last line of standard output: \"Download Success.\",\n"
    "\"Communication Error.\", \"Invalid Printer model data\", \"Firmware file not open.\",\n"
    "a damaged-package report, or \"Interrupted.\"; with --json one JSON object instead.\n"
    "Global options may also come after the command; '--' ends the options.\n"
    "\n"
    "Exit codes:\n"
    "  0    Download Success.\n"
    "  1    Communication Error., or the printer could not be reached\n"
    "  2    the command line is not understood, or the --log file cannot be opened\n"
    "       (nothing is sent)\n"
    "  3    Firmware file not open.: the package could not be opened or read (a folder,\n"
    "       a device, a pipe, a file over 2 GiB, an empty file)\n"
    "  4    the package is damaged (its records run out before their line end or end mark),\n"
    "       or download: the file does not look like a package and --force is not given\n"
    "  5    Invalid Printer model data\n"
    "  6    the outcome could not be written to standard output or the --log line to its\n"
    "       file (full disk, a reader gone); standard error says which, and the outcome\n"
    "  7    station: not every printer ended in \"Download Success.\", or none was found\n"
    "  129  the terminal closed (SIGHUP): ended as Ctrl+C ends it\n"
    "  130  interrupted (Ctrl+C, SIGTERM): the port is released, nothing partial is printed\n"
    "\n"
    "Once a print server may hold a network job, Ctrl+C no longer stops it: the\n"
    "download waits for the server and ends with the outcome the printer got.\n";

// COMn (1 to 255) or a device named directly.
std::string serialPortError(std::string& text)
{
    SerialPortName named;
    if (!parseSerialPortName(text, named))
        return "needs a port COM1 to COM255 or a device path";
    return {};
}

} // namespace

int writeResult(std::FILE* out, const std::string& text, int code)
{
    errno = 0;
    const bool written =
        (text.empty() || (std::fputs(text.c_str(), out) >= 0 && std::fputc('\n', out) != EOF)) &&
        std::fflush(out) == 0 && !std::ferror(out);
    if (written)
        return code;
    const int err = errno;
    sayError("the result could not be written to standard output (" +
             std::string(err ? std::strerror(err) : "write failed") + "): " + text);
    return kExitNotWritten;
}

int usageError(const std::string& message)
{
    sayError(message);
    std::fputs("Try 'firmware-cli --help'.\n", stderr);
    return kExitUsage;
}

void sayError(const std::string& text)
{
    std::fprintf(stderr, "firmware-cli: %s\n", text.c_str());
}

} // namespace fw

int main(int argc, char** argv)
{
    using namespace fw;
    std::vector<std::string> args = commandArguments(argc, argv);
    startSystem(argc, argv);

    CommonOptions common;
    DownloadOptions d;
    InspectOptions inspectOptions;
    std::string helpFor;

    CLI::App app("Loads a firmware or font package (.DPX) into a receipt printer, as the program "
                 "Firmware does, without a window.",
                 "firmware-cli");
    app.allow_windows_style_options(false);
    app.get_formatter()->column_width(28);
    app.set_help_flag("-h,--help", "this help; 'help COMMAND' for one command's");
    app.set_version_flag("-V,--version", std::string("firmware-cli ") + FW_VERSION, "the version");
    app.add_flag("-j,--json", common.json, "one JSON object on standard output instead of text");
    app.add_flag("-q,--quiet", common.quiet, "no progress on standard error");
    app.add_flag("-v,--verbose", common.verbose,
                 "download: the wire and the USB library's lines, on standard error");
    app.require_subcommand(1, 1);
    app.footer(kFooter);

    CLI::App* list = app.add_subcommand(
        "list", "serial ports COM1 to COM10, every ports/COMn link and the USB printers found");
    CLI::App* inspect =
        app.add_subcommand("inspect", "what a download of PACKAGE would send; touches no device");
    inspect->add_option("PACKAGE", inspectOptions.package, "the package file")
        ->required()
        ->type_name("");
    bool usbView = false, netView = false;
    CLI::Option* inspectUsb = inspect->add_flag(
        "--usb", usbView, "the download over USB (records over 256 bytes refused)");
    CLI::Option* inspectNet =
        inspect->add_flag("--net", netView, "the download to a network print path (answer K20_T)");
    inspectUsb->excludes(inspectNet);
    CLI::App* download =
        app.add_subcommand("download", "one download session, as \"Download Start\" runs it");
    download->add_option("PACKAGE", d.package, "the package file")->required()->type_name("");
    std::string port;
    CLI::Option* serial =
        download
            ->add_option("--serial", port, "the serial port COMn (COM1 to COM255) or a device path")
            ->check(CLI::Validator(serialPortError, "", "serial port"))
            ->type_name("COMn|DEVICE")
            ->group("Where the printer is (exactly one)");
    CLI::Option* usbNumber =
        download->add_option("--usb", d.usbNumber, "the N-th USB printer of 'list' (USB00N)")
            ->check(CLI::PositiveNumber.description(""))
            ->type_name("N")
            ->group("Where the printer is (exactly one)");
    CLI::Option* usbPath =
        download->add_option("--usb-path", d.usbPath, "a USB printer by its device path")
            ->type_name("PATH")
            ->group("Where the printer is (exactly one)");
    CLI::Option* usbSerial =
        download->add_option("--usb-serial", d.usbSerial, "the USB printer with this serial number")
            ->type_name("SERIAL")
            ->group("Where the printer is (exactly one)");
    CLI::Option* net = download->add_option("--net", d.netAddress, "the print share lp1 on HOST")
                           ->type_name("HOST[:PORT]")
                           ->group("Where the printer is (exactly one)");
    CLI::Option* settings =
        download
            ->add_option("--settings", d.settingsFile,
                         "the interface and settings stored in a Firmware.ini;\n"
                         "--baud, --parity, --data and --stop "
                         "given too override\n"
                         "the stored ones")
            ->type_name("FILE")
            ->group("Where the printer is (exactly one)");
    int baud = 0, dataBits = 0, stopBits = 0;
    std::string parity;
    CLI::Option* baudOption = download->add_option("--baud", baud, "baud rate, 1 to 4000000 (9600)")
                                  ->check(CLI::Range(1, 4000000).description(""))
                                  ->type_name("BAUD")
                                  ->group("Serial line");
    CLI::Option* parityOption =
        download->add_option("--parity", parity, "N, E or O (N): none, even, odd")
            ->check(CLI::IsMember({"N", "E", "O"}, CLI::ignore_case).description(""))
            ->type_name("N|E|O")
            ->group("Serial line");
    CLI::Option* dataOption = download->add_option("--data", dataBits, "data bits, 5 to 8 (8)")
                                  ->check(CLI::Range(5, 8).description(""))
                                  ->type_name("BITS")
                                  ->group("Serial line");
    CLI::Option* stopOption = download->add_option("--stop", stopBits, "stop bits, 1 or 2 (1)")
                                  ->check(CLI::IsMember({1, 2}).description(""))
                                  ->type_name("BITS")
                                  ->group("Serial line");
    download->add_flag("--force", d.force,
                       "send a file that does not look like a package all the same");
    download
        ->add_option("--log", d.logFile,
                     "append one JSON line per session to FILE, which must\n"
                     "open before anything is sent")
        ->type_name("FILE");
    // What makes download one printer's worker of a station; not for users.
    std::string workerDelivery;
    download->add_option(kWorkerOption, workerDelivery)->group("");
    StationOptions stationOptions;
    CLI::App* station = addStationCommand(app, stationOptions);
    CLI::App* help = app.add_subcommand("help", "the help of the program, or of COMMAND");
    help->add_option("COMMAND", helpFor, "list, inspect, download or station")->type_name("");
    for (CLI::App* command : {list, inspect, download, station, help}) {
        command->fallthrough();
        command->allow_windows_style_options(false);
        const std::string own = command->get_footer();
        command->footer((own.empty() ? "" : own + "\n\n") +
                        "Global options (-j, -q, -v) may come before or after the command;\n"
                        "see 'firmware-cli --help' for the exit codes.");
    }

    std::reverse(args.begin(), args.end());
    try {
        app.parse(args);
        if (download->parsed()) {
            const std::size_t where = serial->count() + usbNumber->count() + usbPath->count() +
                                      usbSerial->count() + net->count() + settings->count();
            if (where != 1)
                throw CLI::ValidationError("download needs exactly one of --serial, --usb, "
                                           "--usb-path, --usb-serial, --net or --settings");
        }
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        return usageError(e.what());
    }

    if (help->parsed()) {
        CLI::App* about = &app;
        if (!helpFor.empty()) {
            about = nullptr;
            for (CLI::App* command : {list, inspect, download, station})
                if (command->get_name() == helpFor)
                    about = command;
            if (!about) {
                sayError("no command '" + helpFor + "'");
                return kExitUsage;
            }
        }
        std::string text = about->help();
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return writeResult(stdout, text, kExitSuccess);
    }

    d.common = common;
    inspectOptions.common = common;
    stationOptions.common = common;
    if (inspectUsb->count())
        inspectOptions.view = ChannelKind::Usb;
    else if (inspectNet->count())
        inspectOptions.view = ChannelKind::Network;
    if (serial->count()) {
        d.kind = ChannelKind::Serial;
        SerialPortName named;
        (void)parseSerialPortName(port, named); // checked when parsed
        d.portNumber = named.portNumber;
        d.serialDevice = named.devicePath;
    } else if (usbNumber->count() || usbPath->count() || usbSerial->count()) {
        d.kind = ChannelKind::Usb;
    } else if (net->count()) {
        d.kind = ChannelKind::Network;
    }
    if (baudOption->count())
        d.baud = baud;
    if (parityOption->count())
        d.parity = static_cast<char>(std::toupper(static_cast<unsigned char>(parity.front())));
    if (dataOption->count())
        d.dataBits = dataBits;
    if (stopOption->count())
        d.stopBits = stopBits;

    std::FILE* out = takeResultsOutput(common.verbose);
    if (list->parsed())
        return runList(common, out);
    if (inspect->parsed())
        return runInspect(inspectOptions, out);
    if (station->parsed())
        return runStation(stationOptions, out);
    if (!workerDelivery.empty())
        return runStationWorker(d, workerDelivery, out);
    return runDownload(d, out);
}
