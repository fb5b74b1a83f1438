#pragma once
// Restoring a list's selection from a number stored as text.

#include "form/toolkit.h"

#include <string>

namespace fw {

// Selects the entry listEntryFor picks, which runs the list's own selection
// handler. A list without entries is left alone.
void selectListEntry(Toolkit& ui, Ctl list, const std::string& text);

} // namespace fw
