#pragma once
// The system's own words for a Windows error code.

#include "base/wide_text.h"

#include <string>

namespace fw {

// Without the trailing line end and full stop; "error N" when the system has
// no text for the code.
std::string windowsErrorText(unsigned long code);

} // namespace fw
