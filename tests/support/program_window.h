#pragma once
// The program's window with the program's own parts, as main() puts them
// together: TAVLIB bound by name from the program folder, the real channels
// and the steady clock, unless the test brings a clock of its own.

#include "channels/product_channels.h"
#include "channels/tavlib_binding.h"
#include "engine/clock.h"
#include "window/main_window.h"

#include <string>

namespace fw::test {

class ProgramWindow {
public:
    explicit ProgramWindow(const std::string& programDir, Clock* clock = nullptr);
    ~ProgramWindow();
    ProgramWindow(const ProgramWindow&) = delete;
    ProgramWindow& operator=(const ProgramWindow&) = delete;

    MainWindow& operator*() { return window_; }
    MainWindow* operator->() { return &window_; }
    operator MainWindow&() { return window_; }

private:
    TavlibBinding usb_;
    ProductChannels channels_;
    SteadyClock steady_;
    MainWindow window_;
};

} // namespace fw::test
