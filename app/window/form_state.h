#pragma once
// Window-level state shared by the handlers of the one window.

#include <cstdint>
#include <string>
#include <vector>

namespace fw {

struct FormState {
    std::string strFirmwareFile;             // written only by the Open step
    std::vector<std::uint8_t> mFirmwareData; // the last package read by a session
    std::string strDevice;                   // 256 characters once CboUSB has a selection
    bool mLoadUsbFlag = false;               // CboUSB lists found printers

    // A session is running: a second one must not start, and the Open step
    // must not replace the package under it.
    bool sessionRunning = false;
    // The user ended the program while a session ran; the session stops at
    // its next look and releases what it holds.
    bool endRequested = false;
};

} // namespace fw
