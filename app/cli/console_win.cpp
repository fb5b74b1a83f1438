#include "cli/console.h"

#include "base/wide_text.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>

namespace fw {

namespace {

volatile LONG requests = 0;
volatile LONG closed = 0;
volatile LONG held = 0;
volatile LONG counting = 0;

BOOL WINAPI onConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (event == CTRL_CLOSE_EVENT && requests == 0)
        InterlockedExchange(&closed, 1);
    if (counting) {
        InterlockedIncrement(&requests);
        return TRUE;
    }
    if (held) {
        // Ending now could leave the printer with part of the job.
        InterlockedIncrement(&requests);
        std::fprintf(stderr, "firmware-cli: %s\n", kCannotStopNow);
        return TRUE;
    }
    // Asked twice: let the system end the program.
    return InterlockedIncrement(&requests) == 1 ? TRUE : FALSE;
}

} // namespace

std::FILE* takeResultsOutput(bool libraryLinesToStderr)
{
    std::fflush(stdout);
    const int results = _dup(_fileno(stdout));
    if (results < 0)
        return stdout;
    const int target = libraryLinesToStderr ? _dup(_fileno(stderr)) : _open("NUL", _O_WRONLY);
    if (target >= 0) {
        _dup2(target, _fileno(stdout));
        _close(target);
    }
    std::FILE* out = _fdopen(results, "w");
    return out ? out : stdout;
}

namespace {

UINT consoleCodePage = 0;

void restoreConsole()
{
    SetConsoleOutputCP(consoleCodePage);
}

} // namespace

// The program's texts are UTF-8 (a package's name may hold any character):
// the console shows them as such while the program runs, and gets its own
// code page back at the end.
void startSystem(int&, char**)
{
    // The progress bar and the station's table are redrawn with the
    // console's escape sequences.
    const HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    DWORD mode = 0;
    if (GetConsoleMode(err, &mode))
        SetConsoleMode(err, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    const UINT current = GetConsoleOutputCP();
    if (current != 0 && current != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
        consoleCodePage = current;
        std::atexit(restoreConsole);
    }
}

std::vector<std::string> commandArguments(int, char**)
{
    // The system's own command line, so that paths outside the 8-bit code
    // page arrive whole.
    std::vector<std::string> out;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!wide)
        return out;
    for (int i = 1; i < count; ++i) {
        out.push_back(utf8FromWide(wide[i]));
    }
    LocalFree(wide);
    return out;
}

bool isTerminal(std::FILE* stream)
{
    return _isatty(_fileno(stream)) != 0;
}

int terminalRows(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetConsoleScreenBufferInfo(h, &info))
        return info.srWindow.Bottom - info.srWindow.Top + 1;
    return 24;
}

int terminalColumns(std::FILE* stream)
{
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetConsoleScreenBufferInfo(h, &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}

void catchInterrupts()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

void countInterrupts()
{
    InterlockedExchange(&counting, 1);
    catchInterrupts();
}

int interruptCount()
{
    return static_cast<int>(requests);
}

void requestEnd()
{
    // As the system's own handler ends a program on a second Ctrl+C.
    if (!onConsoleEvent(CTRL_C_EVENT))
        ExitProcess(STATUS_CONTROL_C_EXIT);
}

bool interrupted()
{
    return requests > 0;
}

bool hungUp()
{
    return closed != 0;
}

void holdInterrupts(bool hold)
{
    InterlockedExchange(&held, hold ? 1 : 0);
}

} // namespace fw
