#pragma once
// The pieces an end-to-end test puts together: a program folder of its own,
// the real Firmware window in it, and a user who answers its boxes.

#include "engine/clock.h"
#include "modal_responder.h"
#include "program_window.h"
#include "sample_packages.h"

#include <filesystem>
#include <memory>
#include <string>

namespace fw::e2e {

using test::ProgramWindow;

// A throw-away program folder: K20T with the sample packages, a settings
// file when asked for, and the TAVLIB of this build beside the program.
class ProgramFolder {
public:
    ProgramFolder();
    ~ProgramFolder();
    const std::filesystem::path& path() const { return dir_; }
    std::string str() const { return dir_.string(); }
    // Writes a package into a folder of the program folder (K20T unless
    // told) and gives its full path.
    std::string addPackage(const samples::Package& p, const std::string& folder = "K20T");
    void writeSettings(const std::string& text);
    std::string readSettings() const;

private:
    std::filesystem::path dir_;
};

// Time that runs `factor` times faster than the real clock, so a 5-second
// acknowledgement wait costs a test a fraction of that.
class FastClock final : public Clock {
public:
    explicit FastClock(int factor) : factor_(factor) {}
    duration now() override { return real_.now() * factor_; }
    void sleep(std::chrono::milliseconds d) override { real_.sleep(d / factor_); }

private:
    SteadyClock real_;
    int factor_;
};

// Presses "Download Start" with `package` chosen in its dialog; gives the
// texts of every box the session showed.
QStringList downloadThroughWindow(MainWindow& window, const std::string& package);

// The program started afresh in `folder` downloads `package`, written into
// its K20T: the boxes it showed. What a run must leave behind for the next.
QStringList downloadInNextRun(ProgramFolder& folder, const samples::Package& package,
                              Clock* clock = nullptr);

// Asks the X server to close `window` the way a window manager does when the
// user clicks the title bar's close button, over a connection of its own, so
// it may be called from any thread. False without an X display, or in a
// build without Xlib.
bool sendWindowManagerClose(unsigned long window);

} // namespace fw::e2e
