#pragma once
// The Open step: the user chooses a package file; the window shows its type,
// name and size and arms "Download Start".

#include "engine/package_file.h" // packageType
#include "form/form_state.h"
#include "form/toolkit.h"

#include <string>

namespace fw {

// Runs the whole step, dialog included. `programDir` is the folder that holds
// the program file; the dialog starts in its K20T folder.
void runOpenStep(Toolkit& ui, FormState& state, const std::string& programDir);

} // namespace fw
