#pragma once
// What `Firmware --help` answers, on Linux and on Windows alike.

#include "settings/locations.h"

#include <string>

namespace fw {

// The usage and where this copy keeps its files; lines end in `lineEnd`.
// `portLinks`: the platform takes ports/COMn links.
std::string windowProgramHelp(const Locations& where, const char* lineEnd, bool portLinks);

} // namespace fw
