#pragma once
// The form on the headless window, as the program wires it: a fake USB
// library, and behind the session scripted channels, a fake clock and a
// scripted package reader.

#include "engine_fakes.h"
#include "fake_toolkit.h"
#include "fake_usb_library.h"
#include "form/form.h"

#include <string>
#include <utility>

namespace fw::test {

constexpr int kNoLibrary = -1000; // the USB library cannot be loaded at all

struct FormRun {
    explicit FormRun(int printers = 0, std::string programDir = {})
        : usb(printers == kNoLibrary ? 0 : printers), form(ui, usb, session, std::move(programDir))
    {
        usb.loadable = printers != kNoLibrary;
    }
    FormState& state() { return form.state(); }

    FakeToolkit ui;
    FakeUsbLibrary usb;
    FakeClock clock;
    FakeChannels channels{clock};
    ScriptedReader reader;
    DownloadSession session{channels, clock, reader};
    Form form;
};

} // namespace fw::test
