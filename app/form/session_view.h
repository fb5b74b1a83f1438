#pragma once
// The download session as the window shows it: the session's view realised
// on the window's controls, and where the printer is, read from them.

#include "engine/session.h"
#include "form/form_state.h"
#include "form/toolkit.h"

#include <chrono>
#include <iterator>
#include <string>

namespace fw {

// Where the printer is, as the window's controls say at this moment.
ChannelSettings channelSettingsFromWindow(const Toolkit& ui, const FormState& state);

// A single-precision number with at most seven significant digits: whole
// numbers below 10,000,000 as plain integers, larger ones in exponent form
// ("1E+07", "1.234568E+07").
std::string formatSingle(float value);

// "<passed>/<maximum>", the counter under the progress bar.
std::string counterText(std::int64_t passed, float maximum);

class WindowSessionView final : public SessionView {
public:
    WindowSessionView(Toolkit& ui, FormState& state) : ui_(ui), state_(state) {}

    std::optional<ChannelKind> chosenInterface() override;
    ChannelSettings channelSettings() override { return channelSettingsFromWindow(ui_, state_); }
    void lockControls(bool locked) override;
    void showBusy(bool busy) override;
    void setProgressMaximum(float maximum) override;
    void showProgress(std::int64_t passed) override;
    void showMessage(const std::string& text) override;
    void processEvents() override { ui_.processEvents(); }
    void processWindowRequests() override;
    bool endRequested() override { return state_.endRequested; }

    // The bar and the counter change at most once a frame: a fast printer
    // acknowledges thousands of records a second, more than a screen shows.
    static constexpr std::chrono::milliseconds kFrame{16};

    // Disabled while a download runs; everything else stays live.
    static constexpr Ctl kLocked[] = {Ctl::OptSerial, Ctl::OptUSB,   Ctl::OptEthernet,
                                      Ctl::cboPORT,   Ctl::cmdSTART, Ctl::cmdCancel,
                                      Ctl::cmdClose};

private:
    void showHeldProgress();

    Toolkit& ui_;
    FormState& state_;
    bool wasEnabled_[std::size(kLocked)] = {};
    std::optional<Ctl> focusBefore_;
    std::int64_t passed_ = 0;
    bool held_ = false; // passed_ is not on the controls yet
    std::chrono::steady_clock::time_point shownAt_{};
};

} // namespace fw
