#pragma once
// Where the program's own files are found.

#include <string>

namespace fw {

// The folder that holds the running program's file; empty when the system
// cannot tell.
std::string programFolder();

} // namespace fw
