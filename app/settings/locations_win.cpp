#include "settings/locations.h"

#include "base/wide_text.h"

#include <windows.h>

#include <vector>

namespace fw {

std::string programFolder()
{
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0)
            return {};
        if (n < path.size()) {
            std::wstring exe(path.data(), n);
            exe.resize(exe.find_last_of(L"\\/"));
            return utf8FromWide(exe);
        }
        path.resize(path.size() * 2);
    }
}

// On Windows the program's folder always holds its files.
Locations decideLocations(const LocationInputs& in)
{
    return portableLocations(in.programFolder);
}

Locations programLocations()
{
    return portableLocations(programFolder());
}

Result<> makeSettingsFolder(const Locations& where)
{
    // The program's own folder, always there.
    if (where.settingsFolder.empty())
        return Result<>::failure("The program's folder is not known.");
    return Result<>::success();
}

} // namespace fw
