#include "form/session_view.h"

#include "choice/list_entries.h"

#include <cstdio>

namespace fw {

ChannelSettings channelSettingsFromWindow(const Toolkit& ui, const FormState& state)
{
    ChannelSettings s;
    s.portNumber = ui.listIndex(Ctl::cboPORT) + 1;
    s.line = serialLineFromTexts(ui.listText(Ctl::cboBaudRate), ui.listText(Ctl::cboParity),
                                 ui.listText(Ctl::cboBitLength), ui.listText(Ctl::cboStopBit));
    s.usbDevicePath = state.usbDevicePath.substr(0, state.usbDevicePath.find('\0'));
    s.networkAddress = ui.text(Ctl::TextEthernet);
    return s;
}

std::optional<ChannelKind> WindowSessionView::chosenInterface()
{
    if (ui_.isSelected(Ctl::OptSerial))
        return ChannelKind::Serial;
    if (ui_.isSelected(Ctl::OptUSB))
        return ChannelKind::Usb;
    if (ui_.isSelected(Ctl::OptEthernet))
        return ChannelKind::Network;
    return std::nullopt;
}

// Unlocking gives each control back the state it had: OptUSB stays off for a
// run in which no USB printer was listed. The focus goes back to the control
// that had it: locking took it from "Download Start" (to the Handshake list,
// or to nothing), and enabling a control does not give it back.
void WindowSessionView::lockControls(bool locked)
{
    if (!locked)
        showHeldProgress();
    else
        focusBefore_ = ui_.focus();
    for (std::size_t k = 0; k < std::size(kLocked); ++k) {
        if (locked) {
            wasEnabled_[k] = ui_.isEnabled(kLocked[k]);
            ui_.setEnabled(kLocked[k], false);
        } else {
            ui_.setEnabled(kLocked[k], wasEnabled_[k]);
        }
    }
    if (!locked && focusBefore_)
        ui_.setFocus(*focusBefore_);
}

void WindowSessionView::showBusy(bool busy)
{
    ui_.setPointer(busy ? Pointer::Hourglass : Pointer::Normal);
}

void WindowSessionView::setProgressMaximum(float maximum)
{
    showHeldProgress(); // a count held back belongs to the old maximum
    ui_.setVisible(Ctl::ProgressBar, true);
    ui_.setProgressMax(maximum);
}

void WindowSessionView::showProgress(std::int64_t passed)
{
    passed_ = passed;
    held_ = true;
    const auto now = std::chrono::steady_clock::now();
    if (now - shownAt_ >= kFrame) {
        shownAt_ = now;
        showHeldProgress();
    }
}

// Whatever ends a run or opens a box shows the last count first.
void WindowSessionView::showMessage(const std::string& text)
{
    showHeldProgress();
    ui_.messageBox(text);
}

void WindowSessionView::processWindowRequests()
{
    showHeldProgress();
    ui_.processWindowRequests();
}

void WindowSessionView::showHeldProgress()
{
    if (!held_)
        return;
    held_ = false;
    // Past the maximum (MDL40 packages whose end mark follows the section
    // header) the bar stays full.
    if (!ui_.setProgressValue(static_cast<float>(passed_)))
        ui_.setProgressValue(ui_.progressMax());
    ui_.setText(Ctl::Label3, counterText(passed_, ui_.progressMax()));
}

std::string formatSingle(float value)
{
    // %G with seven digits is exactly the single-precision print: plain below
    // 10^7, exponent form with a capital E and two exponent digits from there
    // on, trailing zeros of the mantissa dropped.
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.7G", static_cast<double>(value));
    return buf;
}

std::string counterText(std::int64_t passed, float maximum)
{
    return std::to_string(passed) + "/" + formatSingle(maximum);
}

} // namespace fw
