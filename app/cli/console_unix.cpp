#include "cli/console.h"

#include <csignal>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <string_view>
#include <unistd.h>

namespace fw {

namespace {

volatile std::sig_atomic_t requests = 0;
volatile std::sig_atomic_t firstSignal = 0;
volatile std::sig_atomic_t held = 0;
volatile std::sig_atomic_t counting = 0;
volatile std::sig_atomic_t counted = 0;

void say(std::string_view text)
{
    (void)!::write(STDERR_FILENO, text.data(), text.size());
}

void onSignal(int signal)
{
    const bool again = requests != 0;
    requests = 1;
    if (!again)
        firstSignal = signal;
    counted = counted + 1;
    if (counting)
        return;
    if (held) {
        // Ending now could leave the printer with part of the job.
        say("firmware-cli: ");
        say(kCannotStopNow);
        say("\n");
        return;
    }
    if (again) {
        // Asked twice: end now, the way the system ends a program.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}

} // namespace

std::FILE* takeResultsOutput(bool libraryLinesToStderr)
{
    std::fflush(stdout);
    const int results = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (results < 0)
        return stdout;
    const int target =
        libraryLinesToStderr ? ::dup(STDERR_FILENO) : ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (target >= 0) {
        ::dup2(target, STDOUT_FILENO);
        ::close(target);
    }
    std::FILE* out = ::fdopen(results, "w");
    return out ? out : stdout;
}

void startSystem(int&, char**)
{
    // A reader of standard output that went away fails the write (EPIPE),
    // which the program reports, instead of ending it unannounced.
    ::signal(SIGPIPE, SIG_IGN);
}

std::vector<std::string> commandArguments(int argc, char** argv)
{
    return std::vector<std::string>(argv + 1, argv + argc);
}

bool isTerminal(std::FILE* stream)
{
    return ::isatty(::fileno(stream)) == 1;
}

int terminalRows(std::FILE* stream)
{
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_row > 0)
        return size.ws_row;
    return 24;
}

int terminalColumns(std::FILE* stream)
{
    winsize size{};
    if (::ioctl(::fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

void catchInterrupts()
{
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    // The terminal or the ssh session closing ends the download as Ctrl+C does.
    ::sigaction(SIGHUP, &action, nullptr);
    // A reader of standard output or error that goes away must not cut a
    // download short: writes to it fail instead, and are given up.
    ::signal(SIGPIPE, SIG_IGN);
}

void countInterrupts()
{
    counting = 1;
    catchInterrupts();
}

int interruptCount()
{
    return counted;
}

void requestEnd()
{
    onSignal(SIGTERM);
}

bool interrupted()
{
    return requests > 0;
}

bool hungUp()
{
    return firstSignal == SIGHUP;
}

void holdInterrupts(bool hold)
{
    held = hold ? 1 : 0;
}

} // namespace fw
