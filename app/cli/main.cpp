// firmware-cli: lists printers, inspects packages and downloads them without
// a window, for scripts on repair benches and factory lines.
#include "cli/cli.h"
#include "cli/console.h"

#include <algorithm>
#include <cstdio>

namespace fw {

const char* const kHelpText =
    "Usage: firmware-cli COMMAND [OPTIONS]\n"
    "\n"
    "Loads a firmware or font package (.DPX) into a receipt printer, as the\n"
    "program Firmware does, without a window.\n"
    "\n"
    "Commands:\n"
    "  list                     serial ports COM1 to COM10, every ports/COMn link and the\n"
    "                           USB printers found\n"
    "  inspect PACKAGE          what a download of PACKAGE would send; touches no device\n"
    "  download PACKAGE WHERE   one download session, as \"Download Start\" runs it\n"
    "\n"
    "WHERE, one of:\n"
    "  --serial COMn|DEVICE [--baud 9600] [--parity N|E|O] [--data 8] [--stop 1]\n"
    "  --usb N                  the N-th USB printer of 'list' (USB00N)\n"
    "  --usb-path PATH          a USB printer by its device path\n"
    "  --net HOST[:PORT]        the print share lp1 on HOST\n"
    "  --settings FILE          the interface and settings stored in a Firmware.ini\n"
    "\n"
    "Options:\n"
    "  --json                   one JSON object on standard output instead of text\n"
    "  --quiet                  no progress on standard error\n"
    "  --log FILE               download: append one line per session to FILE\n"
    "  --verbose                the USB library's diagnostic lines, on standard error\n"
    "  --help, --version\n"
    "\n"
    "The outcome is the last line of standard output: \"Download Success.\",\n"
    "\"Communication Error.\", \"Invalid Printer model data\", \"Firmware file not open.\",\n"
    "a damaged-package report, or \"Interrupted.\".\n"
    "\n"
    "Exit codes:\n"
    "  0    Download Success.\n"
    "  1    Communication Error., or the printer could not be reached\n"
    "  2    the command line is not understood\n"
    "  3    Firmware file not open.: the package could not be opened or read\n"
    "  4    the package is damaged\n"
    "  5    Invalid Printer model data\n"
    "  129  the terminal closed (SIGHUP): ended as Ctrl+C ends it\n"
    "  130  interrupted (Ctrl+C): the port is released, nothing partial is printed\n"
    "\n"
    "Once a print server may hold a network job, Ctrl+C no longer stops it: the\n"
    "download waits for the server and ends with the outcome the printer got.\n";

std::optional<std::string> Arguments::value()
{
    if (done())
        return std::nullopt;
    return next();
}

int usageError(const std::string& message)
{
    std::fprintf(stderr, "firmware-cli: %s\nTry 'firmware-cli --help'.\n", message.c_str());
    return kExitUsage;
}

} // namespace fw

int main(int argc, char** argv)
{
    using namespace fw;
    std::vector<std::string> args = commandArguments(argc, argv);
    startSystem(argc, argv);
    if (args.empty())
        return usageError("no command given");
    const std::string command = args.front();
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelpText, stdout);
        return kExitSuccess;
    }
    if (command == "--version") {
        std::printf("firmware-cli %s\n", FW_VERSION);
        return kExitSuccess;
    }
    args.erase(args.begin());
    if (std::find(args.begin(), args.end(), "--help") != args.end()) {
        std::fputs(kHelpText, stdout);
        return kExitSuccess;
    }
    const bool verbose = std::find(args.begin(), args.end(), "--verbose") != args.end();
    std::FILE* out = takeResultsOutput(verbose);
    int code = kExitUsage;
    if (command == "list")
        code = runList(Arguments(args), out);
    else if (command == "inspect")
        code = runInspect(Arguments(args), out);
    else if (command == "download")
        code = runDownload(Arguments(args), out);
    else
        code = usageError("unknown command '" + command + "'");
    std::fflush(out);
    return code;
}
