// firmware-cli download: one download session exactly as "Download Start"
// runs it, with the interface and its settings from options or a settings
// file, progress on standard error and the outcome on standard output.
#include "cli/cli.h"
#include "cli/console.h"
#include "cli/json.h"
#include "cli/progress.h"
#include "cli/session_run.h"
#include "settings/locations.h"

namespace fw {

namespace {

// The progress on standard error as the user asked for it.
class ProgressWatch final : public SessionWatch {
public:
    explicit ProgressWatch(ProgressDisplay& display) : display_(display) {}
    void setMaximum(double maximum) override { display_.setMaximum(maximum); }
    void passed(std::int64_t bytes) override { display_.update(bytes); }
    void recordSent(std::size_t bytes) override { display_.recordSent(bytes); }
    void finish(const std::string& outcome) override { display_.finish(outcome); }

private:
    ProgressDisplay& display_;
};

// Writes the log line, then the result; the exit code is the download's
// unless one of them could not be written.
int finishDownload(DownloadRecord r, LogFile& log, const CommonOptions& common, std::FILE* out)
{
    int code = r.exitCode;
    if (log.isOpen()) {
        Result<> written = log.append(jsonText(logJson(r, utcNow())));
        if (written.ok())
            written = log.close();
        if (!written.ok()) {
            sayError(written.error() + "; the outcome: " + r.outcome);
            code = kExitNotWritten;
            r.exitCode = code;
        }
    }
    return writeResult(out, common.json ? jsonText(resultJson(r)) : r.outcome, code);
}

} // namespace

int runDownload(const DownloadOptions& o, std::FILE* out)
{
    LogFile log;
    if (!o.logFile.empty()) {
        if (const Result<> opened = log.open(o.logFile); !opened.ok()) {
            sayError(opened.error());
            return kExitUsage;
        }
    }

    const Locations where = programLocations();
    PrinterAccess access(where);
    TavlibBinding& usb = access.usb;
    const Result<PrinterChoice> chosen = choosePrinter(o, usb);
    if (!chosen.ok())
        return usageError(chosen.error());
    const Result<PrinterChoice> found = findPrinter(*chosen, o, usb);
    if (!found.ok()) {
        // The printer could not be found, and nothing was sent.
        sayError(found.error());
        return finishDownload(unreachableRecord(o.package, *chosen), log, o.common, out);
    }
    const PrinterChoice& choice = *found;

    const bool terminal = isTerminal(stderr);
    // With --verbose the wire's lines stand in for the progress.
    ProgressDisplay progress(stderr, o.common.quiet || o.common.verbose
                                         ? ProgressDisplay::Style::None
                                     : terminal ? ProgressDisplay::Style::Bar
                                                : ProgressDisplay::Style::Lines);
    if (choice.kind == ChannelKind::Network)
        progress.omitTimeLeft();
    ProgressWatch watch(progress);
    SessionSetup setup;
    setup.package = o.package;
    setup.force = o.force;
    setup.wire = o.common.verbose;
    setup.linksFolder = where.settingsFolder;
    return finishDownload(runSession(setup, choice, access, watch), log, o.common, out);
}

} // namespace fw
