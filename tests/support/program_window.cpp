#include "program_window.h"

namespace fw::test {

ProgramWindow::ProgramWindow(const std::string& programDir, Clock* clock)
    : usb_(programDir), channels_(programDir, usb_),
      window_(programDir, usb_, channels_, clock ? *clock : steady_)
{}

ProgramWindow::~ProgramWindow() = default;

} // namespace fw::test
