#include "form/session_view.h"

#include "form/select_list_entry.h"

#include <limits>

namespace fw {

namespace {

// The leading number of a list text as a whole number; 0 when it is too
// large to be one, which the channel then refuses.
int wholeNumber(const std::string& text)
{
    const double v = roundHalfEven(leadingNumber(text));
    if (!(v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()))
        return 0;
    return static_cast<int>(v);
}

} // namespace

SerialLine serialLineFromTexts(const std::string& baud, const std::string& parity,
                               const std::string& dataBits, const std::string& stopBits)
{
    SerialLine line;
    line.baud = wholeNumber(baud);
    line.parity = parity.empty() ? '\0' : parity.front();
    line.dataBits = wholeNumber(dataBits);
    line.stopBits = wholeNumber(stopBits);
    return line;
}

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

} // namespace fw
