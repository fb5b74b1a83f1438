#pragma once
// What the window's handlers share for as long as the window lives.

#include <string>

namespace fw {

struct FormState {
    std::string packagePath;        // full path of the chosen package; set only by the Open step
    std::string usbDevicePath;      // 256 characters once CboUSB has a selection
    bool usbPrintersListed = false; // CboUSB lists the printers found at start-up

    // A session is running: a second one must not start, and the Open step
    // must not re-arm "Download Start" under it.
    bool sessionRunning = false;
    // The user ended the program while a session ran; the session stops at
    // its next look and releases what it holds.
    bool endRequested = false;
};

} // namespace fw
