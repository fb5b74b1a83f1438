// Firmware.exe: loads a firmware or font package into a receipt printer.
#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "settings/locations.h"
#include "win32/form1_window.h"

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstring>
#include <string>

namespace {

// --help and --version answer on the console the program was started from,
// before any window exists.
bool answeredOnConsole()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::string answer;
    for (int i = 1; argv && i < argc; ++i) {
        if (!lstrcmpW(argv[i], L"--help") || !lstrcmpW(argv[i], L"-h") ||
            !lstrcmpW(argv[i], L"/?")) {
            answer = "Usage: Firmware [--help] [--version]\r\n\r\n"
                     "Opens the window of the Firmware Downloader: choose a package with\r\n"
                     "File > Open, the printer's interface, then press Download Start.\r\n"
                     "Without a window, use firmware-cli (firmware-cli --help).\r\n";
            break;
        }
        if (!lstrcmpW(argv[i], L"--version")) {
            answer = std::string("Firmware ") + FW_VERSION + "\r\n";
            break;
        }
    }
    LocalFree(argv);
    if (answer.empty())
        return false;
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if ((!out || out == INVALID_HANDLE_VALUE) && AttachConsole(ATTACH_PARENT_PROCESS))
        out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(out, answer.data(), static_cast<DWORD>(answer.size()), &written, nullptr);
    }
    return true;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand)
{
    if (answeredOnConsole())
        return 0;
    INITCOMMONCONTROLSEX controls{sizeof controls,
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TAB_CLASSES};
    InitCommonControlsEx(&controls);

    const std::string programDir = fw::programFolder();
    fw::TavlibBinding usb(programDir);
    fw::ProductChannels channels(programDir, usb);
    fw::SteadyClock clock;
    fw::Form1Window window(instance, programDir, usb, channels, clock);
    if (!window.created()) {
        MessageBoxW(nullptr, L"The window could not be created.", L"Firmware Downloader",
                    MB_OK | MB_ICONERROR);
        return 1;
    }
    window.startUp();
    window.show(showCommand);
    return window.run();
}
