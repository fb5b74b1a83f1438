// Firmware.exe: loads a firmware or font package into a receipt printer.
#include "base/wide_text.h"
#include "choice/printer_access.h"
#include "choice/program_help.h"
#include "win32/form1_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>

namespace {

// Where the answer goes: the standard output it was given (a pipe, a file),
// else the console it was started from, else a message box, since a program
// started from the desktop has neither.
void answer(const std::string& text)
{
    const std::wstring wideText = fw::wideFromUtf8(text);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0, written = 0;
    if (!out || out == INVALID_HANDLE_VALUE)
        MessageBoxW(nullptr, wideText.c_str(), L"Firmware Downloader", MB_OK);
    else if (GetConsoleMode(out, &mode)) // a console shows any character, whatever its code page
        WriteConsoleW(out, wideText.data(), static_cast<DWORD>(wideText.size()), &written, nullptr);
    else // UTF-8, as firmware-cli writes
        WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

// --help and --version are answered before any window exists.
bool answeredCommandLine()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string text;
    for (int i = 1; argv && i < argc; ++i) {
        if (!lstrcmpW(argv[i], L"--help") || !lstrcmpW(argv[i], L"-h") ||
            !lstrcmpW(argv[i], L"/?")) {
            text = fw::windowProgramHelp(fw::programLocations(), "\r\n", false);
            break;
        }
        if (!lstrcmpW(argv[i], L"--version")) {
            text = std::string("Firmware ") + FW_VERSION + "\r\n";
            break;
        }
    }
    LocalFree(argv);
    if (text.empty())
        return false;
    answer(text);
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    if (answeredCommandLine())
        return 0;
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    const std::string programDir = fw::programFolder();
    fw::PrinterAccess access(fw::portableLocations(programDir));
    fw::Form1Window window(instance, programDir, access.usb, access.channels, access.clock);
    if (!window.created()) {
        MessageBoxW(nullptr, L"The window could not be created.", L"Firmware Downloader",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    window.startUp();
    window.show(showCommand);
    return window.run();
}
