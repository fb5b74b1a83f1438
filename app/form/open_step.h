#pragma once
// The Open step: the user chooses a package file; the window shows its type,
// name and size and arms "Download Start".

#include "engine/package_file.h" // packageType
#include "form/form_state.h"
#include "form/toolkit.h"

#include <string>

namespace fw {

// Runs the whole step, dialog included. The dialog starts in
// `packagesFolder` (the K20T folder).
void runOpenStep(Toolkit& ui, FormState& state, const std::string& packagesFolder);

} // namespace fw
