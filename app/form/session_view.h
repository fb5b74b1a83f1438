#pragma once
// The download session as the window shows it: the session's view realised
// on the window's controls, and where the printer is, read from them.

#include "engine/session.h"
#include "form/form_state.h"
#include "form/toolkit.h"

#include <iterator>
#include <string>

namespace fw {

// The line settings from the texts of the serial lists: the leading number
// of "9600 bps", "8 bit" and "1 bit", and the first letter of "NONE".
SerialLine serialLineFromTexts(const std::string& baud, const std::string& parity,
                               const std::string& dataBits, const std::string& stopBits);

// Where the printer is, as the window's controls say at this moment.
ChannelSettings channelSettingsFromWindow(const Toolkit& ui, const FormState& state);

class WindowSessionView final : public SessionView {
public:
    WindowSessionView(Toolkit& ui, FormState& state) : ui_(ui), state_(state) {}

    std::optional<ChannelKind> chosenInterface() override;
    ChannelSettings channelSettings() override { return channelSettingsFromWindow(ui_, state_); }
    void lockControls(bool locked) override;
    void showBusy(bool busy) override;
    void setProgressMaximum(float maximum) override;
    void showProgress(std::int64_t passed) override;
    void showMessage(const std::string& text) override { ui_.messageBox(text); }
    void processEvents() override { ui_.processEvents(); }
    void processWindowRequests() override { ui_.processWindowRequests(); }
    bool endRequested() override { return state_.endRequested; }

    // Disabled while a download runs; everything else stays live.
    static constexpr Ctl kLocked[] = {Ctl::OptSerial, Ctl::OptUSB,   Ctl::OptEthernet, Ctl::cboPORT,
                                      Ctl::cmdSTART,  Ctl::cmdCancel, Ctl::cmdClose};

private:
    Toolkit& ui_;
    FormState& state_;
    bool wasEnabled_[std::size(kLocked)] = {};
};

} // namespace fw
