#pragma once
// firmware-cli: the download engine and channels without a window.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace fw {

// Exit codes; the README and --help list them.
enum ExitCode : int {
    kExitSuccess = 0,       // "Download Success."
    kExitCommunication = 1, // "Communication Error.", or the printer could not be reached
    kExitUsage = 2,         // the command line is not understood
    kExitNotOpen = 3,       // "Firmware file not open.": the package could not be opened or read
    kExitDamaged = 4,       // the package's records are damaged
    kExitInvalidModel = 5,  // "Invalid Printer model data"
    kExitHungUp = 129,      // ended because the terminal closed
    kExitInterrupted = 130, // ended by Ctrl+C or a termination request
};

struct CommonOptions {
    bool json = false;
    bool quiet = false;
    bool verbose = false;
};

// Walks the arguments of one command.
class Arguments {
public:
    explicit Arguments(std::vector<std::string> args) : args_(std::move(args)) {}
    bool done() const { return at_ >= args_.size(); }
    const std::string& next() { return args_[at_++]; }
    // The value after an option such as --baud; nullopt when none follows.
    std::optional<std::string> value();

private:
    std::vector<std::string> args_;
    std::size_t at_ = 0;
};

// Reports a usage error on standard error; gives kExitUsage.
int usageError(const std::string& message);

int runList(Arguments args, std::FILE* out);
int runInspect(Arguments args, std::FILE* out);
int runDownload(Arguments args, std::FILE* out);

// The help text of the whole program.
extern const char* const kHelpText;

} // namespace fw
