#include "form/open_step.h"

#include "engine/package_file.h"
#include "engine/session.h"

namespace fw {

namespace {

std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(' ');
    return s.substr(first, last - first + 1);
}

// Length of a readable regular file, or 0 when it cannot be opened. The file
// is opened and closed here, without ever waiting on a pipe or a device.
std::int64_t readableLength(const std::string& path)
{
    FilePackageReader file;
    std::int64_t length = 0;
    if (!file.open(path).ok() || !file.length(length).ok())
        return 0;
    return length;
}

} // namespace

void runOpenStep(Toolkit& ui, FormState& state, const std::string& packagesFolder)
{
    OpenDialogSetup setup;
    setup.flags = kOfnReadOnly | kOfnHideReadOnly | kOfnPathMustExist;
    setup.title = "Open";
    setup.initialDir = packagesFolder;
    setup.filter = "Firmware File(*.DPX)|*.DPX";

    const OpenDialogResult chosen = ui.showOpenDialog(setup);
    if (chosen.fileName.empty())
        return;

    state.packagePath = chosen.fileName;
    ui.setText(Ctl::lblFileType, "FILE TYPE : " + packageType(chosen.fileTitle));
    ui.setText(Ctl::lblFileName, "FILE NAME : " + trimmed(chosen.fileTitle));

    const std::int64_t length = readableLength(state.packagePath);
    if (length <= 0) {
        ui.messageBox(kMsgFirmwareNotOpen);
        return;
    }
    ui.setText(Ctl::lblSize, "Size Total : " + std::to_string(length));
    ui.setBackColour(Ctl::cmdSTART, kStartColourArmed);
    // While a download runs the session owns the button; it enables it again
    // when it ends, so no second session can start from this one.
    if (!state.sessionRunning)
        ui.setEnabled(Ctl::cmdSTART, true);
}

} // namespace fw
