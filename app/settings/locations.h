#pragma once
// Where the program's own files are found.
//
// Two layouts. Portable: everything in the program's folder, as it has always
// been (and always on Windows). Installed (Linux): the program's folder cannot
// be written, so the settings file and the ports/COMn links live in the
// user's configuration folder, and the Open dialog starts in the sample
// packages installed with the program.

#include "base/result.h"

#include <filesystem>
#include <string>

namespace fw {

// The folder that holds the running program's file; empty when the system
// cannot tell.
std::string programFolder();

struct Locations {
    bool installed = false;
    // Holds the settings file Firmware.ini and the folder ports/ of COMn links.
    std::string settingsFolder;
    // Where the Open dialog starts.
    std::string packagesFolder;
    // Searched for TAVLIB before the system's search path.
    std::string libraryFolder;
};

// The portable layout in `folder`; tests give their own folder this way.
inline Locations portableLocations(const std::string& folder)
{
    Locations where;
    where.settingsFolder = folder;
    // Through UTF-8 both ways: on Windows the path's own text would take the
    // folder's name for the 8-bit code page and spoil any character beyond it.
    const std::u8string packages =
        (std::filesystem::path(std::u8string(folder.begin(), folder.end())) / "K20T").u8string();
    where.packagesFolder.assign(packages.begin(), packages.end());
    where.libraryFolder = folder;
    return where;
}

// What the layout is decided from.
struct LocationInputs {
    std::string programFolder;
    std::string xdgConfigHome; // $XDG_CONFIG_HOME as set, or empty
    std::string home;          // the user's home folder
    // The folder the build installs the program to: installed even where it
    // can be written (root running the installed program).
    std::string installFolder;
    // The sample packages installed with the program, relative to its folder.
    std::string installedSamples;
};

// The layout for these inputs. The program's folder keeps every role when it
// already holds a Firmware.ini, or (unless it is the install folder) when it
// can be written; otherwise the installed layout, with the settings in
// $XDG_CONFIG_HOME/firmware-downloader (an absolute $XDG_CONFIG_HOME only),
// else ~/.config/firmware-downloader. A folder without any write permission
// bit counts as not writable for root too. Without a home folder there is
// nowhere else: portable. In both layouts the Open dialog starts in K20T
// beside the program where there is one, else in the installed samples.
Locations decideLocations(const LocationInputs& in);

// The running program's layout, from programFolder() and the environment.
Locations programLocations();

// Creates the settings folder where it is missing (only the user may enter a
// folder made here).
Result<> makeSettingsFolder(const Locations& where);

} // namespace fw
