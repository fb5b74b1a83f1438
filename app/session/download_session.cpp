#include "session/download_session.h"

#include "session/channel_config.h"
#include "session/package_scan.h"
#include "session/printer_model.h"
#include "session/progress_text.h"
#include "session/protocol_bytes.h"
#include "session/range_choice.h"
#include "session/record_assembly.h"
#include "session/record_exchange.h"
#include "session/session_host.h"
#include "session/session_messages.h"

#include <cstdint>
#include <iterator>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>

namespace fw {

namespace {

constexpr Ctl kLockedDuringDownload[] = {Ctl::OptSerial, Ctl::OptUSB,   Ctl::OptEthernet,
                                         Ctl::cboPORT,   Ctl::cmdSTART, Ctl::cmdCancel,
                                         Ctl::cmdClose};

// Thrown when the user ended the program while the session let the window
// run; caught at the top of the session, never outside it.
struct EndRequested {};

// The state of one press of "Download Start".
class SessionRun final : public SessionHost {
public:
    SessionRun(Toolkit& ui, FormState& state, ChannelSet& channels, Clock& clock,
               const std::function<void()>& openStep, PackageReader& reader)
        : ui_(ui), state_(state), channels_(channels), clock_(clock), openStep_(openStep),
          reader_(reader)
    {
    }

    void run()
    {
        try {
            if (openStep_)
                openStep_();
            checkEnd();
            ui_.setPointer(Pointer::Hourglass);
            if (!loadPackage() || !prepare() || !chooseStart())
                return;
            transfer();
            finish();
        } catch (const EndRequested&) {
            abandon();
        }
    }

    void report(const std::string& description) override
    {
        ui_.setPointer(Pointer::Normal);
        // A close asked for while the session waited would be dropped once
        // a modal box is open: take it first.
        ui_.processWindowRequests();
        checkEnd();
        ui_.messageBox(description);
        checkEnd();
    }

    void progressUpdate(std::size_t position) override
    {
        const auto passed = static_cast<std::int64_t>(position) - start_;
        // Past the maximum (MDL40 packages whose end mark follows the
        // section header) the bar stays full.
        if (!ui_.setProgressValue(static_cast<float>(passed)))
            ui_.setProgressValue(ui_.progressMax());
        ui_.setText(Ctl::Label3, counterText(passed, ui_.progressMax()));
        ui_.processEvents();
        checkEnd();
    }

private:
    void checkEnd() const
    {
        if (state_.endRequested)
            throw EndRequested{};
    }

    // Unlocking gives each control back the state it had: OptUSB stays off
    // for a run in which no USB printer was listed.
    void lockControls(bool locked)
    {
        for (std::size_t k = 0; k < std::size(kLockedDuringDownload); ++k) {
            const Ctl c = kLockedDuringDownload[k];
            if (locked && !locked_) {
                wasEnabled_[k] = ui_.isEnabled(c);
                ui_.setEnabled(c, false);
            } else if (!locked && locked_) {
                ui_.setEnabled(c, wasEnabled_[k]);
            }
        }
        locked_ = locked;
    }

    DownloadChannel* selectedChannel()
    {
        if (ui_.isSelected(Ctl::OptSerial))
            return &channels_.channel(ChannelKind::Serial);
        if (ui_.isSelected(Ctl::OptUSB))
            return &channels_.channel(ChannelKind::Usb);
        if (ui_.isSelected(Ctl::OptEthernet))
            return &channels_.channel(ChannelKind::Network);
        return nullptr;
    }

    // Reads the package into mFirmwareData. False when the session has ended.
    bool loadPackage()
    {
        const FileStep opened = reader_.open(state_.strFirmwareFile);
        if (!opened.ok)
            report(opened.error);
        lockControls(true);
        outcome_.clear();

        std::int64_t length = 0;
        if (const FileStep len = reader_.length(length); !len.ok) {
            report(len.error);
            length = 0;
        }
        if (length > std::numeric_limits<std::int32_t>::max()) {
            report("The package file is too large (" + std::to_string(length) + " bytes).");
            length = 0;
        }
        if (length <= 0) {
            reader_.close();
            return endWith(kMsgFirmwareNotOpen);
        }

        try {
            state_.mFirmwareData.assign(static_cast<std::size_t>(length), 0);
        } catch (const std::bad_alloc&) {
            state_.mFirmwareData.clear();
            reader_.close();
            report("Not enough memory to hold the package file (" + std::to_string(length) +
                   " bytes).");
            return endWith(kMsgFirmwareNotOpen);
        }
        const FileStep rd = reader_.read(state_.mFirmwareData);
        reader_.close();
        // A print path left open by an earlier session's early end.
        if (DownloadChannel& net = channels_.channel(ChannelKind::Network); net.isOpen())
            net.close();
        if (!rd.ok) {
            // Part of a package must never reach a printer.
            state_.mFirmwareData.clear();
            report(rd.error);
            return endWith(kMsgFirmwareNotOpen);
        }
        return true;
    }

    // Scans the package and opens the channel. False when the session has ended.
    bool prepare()
    {
        ui_.setVisible(Ctl::ProgressBar, true);
        ui_.setProgressMax(static_cast<float>(data().size()));

        const ScanResult scan = scanPackage(data());
        if (scan.fault)
            return endWith(describe(*scan.fault));
        index_ = scan.index;
        if (const auto damage = findDamage(data(), index_))
            return endWith(describe(*damage));

        channel_ = selectedChannel();
        if (!channel_)
            return endWith(kMsgNoInterface);
        const ChannelStatus opened = channel_->open(channelConfigFromWindow(ui_, state_));
        if (opened.failed())
            report(failureText(opened));
        usbOpened_ = opened.ok();
        return true;
    }

    // The model query and the range choice. False when the session has ended.
    bool chooseStart()
    {
        if (index_.headerValue < kNoQueryHeaderValue) {
            modelCode_ = GetPrinterModel(*channel_, clock_, *this);
            const RangeChoice range = chooseRange(index_, modelCode_, data());
            switch (range.kind) {
            case RangeChoice::Kind::EarlyEnd:
                earlyEnd();
                return false;
            case RangeChoice::Kind::InvalidModel:
                return endWith(kMsgInvalidModel);
            case RangeChoice::Kind::Damaged:
                return endWith(describe(range.fault));
            case RangeChoice::Kind::Send:
                position_ = static_cast<std::size_t>(range.position);
                ui_.setProgressMax(static_cast<float>(range.maximum));
                break;
            }
        }
        start_ = static_cast<std::int64_t>(position_);
        return true;
    }

    void transfer()
    {
        const ExchangeSetup setup{*channel_, modelCode_, usbOpened_};
        for (;;) {
            const ExchangeResult x = exchangeRecord(data(), position_, setup, clock_, *this);
            if (x.fault) {
                outcome_ = describe(*x.fault);
                return;
            }
            position_ = x.next;
            if (!x.delivered) {
                outcome_ = kMsgCommunicationError;
                return;
            }
            if (x.endMark) {
                progressUpdate(position_);
                outcome_ = kMsgDownloadSuccess;
                return;
            }
            if (x.ackMissing) {
                outcome_ = kMsgCommunicationError;
                return;
            }
        }
    }

    bool endWith(std::string outcome)
    {
        outcome_ = std::move(outcome);
        finish();
        return false;
    }

    // The outcome box, then the controls back and the channel closed by the
    // options as they are set now.
    void finish()
    {
        // A print path delivers the job when it is closed: hand it over
        // before telling the user it arrived.
        if (outcome_ == kMsgDownloadSuccess && ui_.isSelected(Ctl::OptEthernet)) {
            if (const ChannelStatus s = channels_.channel(ChannelKind::Network).handOver(); !s.ok()) {
                report(failureText(s));
                outcome_ = kMsgCommunicationError;
            }
        }
        ui_.setPointer(Pointer::Normal);
        ui_.processWindowRequests(); // as in report()
        checkEnd();
        ui_.messageBox(outcome_);
        lockControls(false);
        closeBySelectedOption(true);
    }

    // After a failed model query: nothing sent, no outcome box. A print path
    // stays open until the next session closes it.
    void earlyEnd()
    {
        ui_.setPointer(Pointer::Normal);
        lockControls(false);
        closeBySelectedOption(false);
    }

    // Closes the channel the options select at this moment: a serial port
    // only when open, the USB printer always, the print path only when
    // `printPath` (after an early end it stays open for the next session).
    void closeBySelectedOption(bool printPath)
    {
        if (ui_.isSelected(Ctl::OptSerial)) {
            if (DownloadChannel& s = channels_.channel(ChannelKind::Serial); s.isOpen())
                s.close();
        } else if (ui_.isSelected(Ctl::OptUSB)) {
            channels_.channel(ChannelKind::Usb).close();
        } else if (printPath && ui_.isSelected(Ctl::OptEthernet)) {
            channels_.channel(ChannelKind::Network).close();
        }
    }

    // The program is ending: release what the session holds, show nothing.
    void abandon()
    {
        reader_.close();
        if (channel_)
            channel_->close();
        ui_.setPointer(Pointer::Normal);
        lockControls(false);
    }

    std::span<const std::uint8_t> data() const { return state_.mFirmwareData; }

    Toolkit& ui_;
    FormState& state_;
    ChannelSet& channels_;
    Clock& clock_;
    const std::function<void()>& openStep_;
    PackageReader& reader_;

    std::string outcome_;
    bool locked_ = false;
    bool wasEnabled_[std::size(kLockedDuringDownload)] = {};
    PackageIndex index_;
    DownloadChannel* channel_ = nullptr;
    bool usbOpened_ = false;
    std::uint8_t modelCode_ = kModelNoQuery;
    std::size_t position_ = 0;
    std::int64_t start_ = 0;
};

} // namespace

DownloadSession::DownloadSession(Toolkit& ui, FormState& state, ChannelSet& channels, Clock& clock,
                                 std::function<void()> openStep, PackageReader* reader)
    : ui_(ui), state_(state), channels_(channels), clock_(clock), openStep_(std::move(openStep)),
      ownReader_(reader ? nullptr : std::make_unique<FilePackageReader>()),
      reader_(reader ? *reader : *ownReader_)
{
}

DownloadSession::~DownloadSession() = default;

void DownloadSession::run()
{
    if (state_.sessionRunning)
        return;
    state_.sessionRunning = true;
    struct Running {
        bool& flag;
        ~Running() { flag = false; }
    } running{state_.sessionRunning};
    SessionRun(ui_, state_, channels_, clock_, openStep_, reader_).run();
}

} // namespace fw
