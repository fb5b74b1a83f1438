#include "choice/program_help.h"

#include "settings/settings_store.h"

namespace fw {

std::string windowProgramHelp(const Locations& where, const char* lineEnd, bool portLinks)
{
    const std::string n = lineEnd;
    std::string text = "Usage: Firmware [--help] [--version]" + n + n +
                       "Opens the window of the Firmware Downloader: choose a package with" + n +
                       "File > Open, the printer's interface, then press Download Start." + n +
                       "Without a window, use firmware-cli (firmware-cli --help)." + n + n +
                       "Files:" + n + "  settings  " + settingsFilePath(where.settingsFolder) +
                       " (written by &OK)" + n + "  packages  " + where.packagesFolder +
                       " (where File > Open starts)" + n;
    if (portLinks)
        text += "  ports     " + where.settingsFolder + "/ports/COMn (links to serial devices)" + n;
    return text;
}

} // namespace fw
