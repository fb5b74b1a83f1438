#include "engine/session.h"

#include "engine/package.h"
#include "engine/protocol.h"

#include <cstdio>
#include <limits>
#include <new>

namespace fw {

namespace {

// Thrown when the user ended the program while the session let the window
// run; caught at the top of the session, never outside it.
struct EndRequested {};

using Kind = SessionOutcome::Kind;

// The state of one session.
class SessionRun final : public ProtocolHost {
public:
    SessionRun(ChannelSet& channels, Clock& clock, PackageReader& reader,
               std::vector<std::uint8_t>& package, SessionView& view)
        : channels_(channels), clock_(clock), reader_(reader), package_(package), view_(view)
    {}

    SessionOutcome run(const std::string& packagePath)
    {
        try {
            checkEnd();
            view_.showBusy(true);
            if (loadPackage(packagePath) && prepare() && chooseStart()) {
                transfer();
                finish();
            }
        } catch (const EndRequested&) {
            abandon();
            outcome_ = {Kind::Ended, {}};
        }
        outcome_.modelCode = modelCode_;
        outcome_.channelOpened = usbOpened_;
        outcome_.recordsSent = recordsSent_;
        outcome_.bytesSent = bytesSent_;
        return outcome_;
    }

    void report(const std::string& description) override
    {
        view_.showBusy(false);
        // A close asked for while the session waited would be dropped once
        // a modal box is open: take it first.
        view_.processWindowRequests();
        checkEnd();
        view_.showMessage(description);
        checkEnd();
    }

    void progressUpdate(std::size_t position) override
    {
        view_.showProgress(static_cast<std::int64_t>(position) - start_);
        view_.processEvents();
        checkEnd();
    }

private:
    void checkEnd()
    {
        if (view_.endRequested())
            throw EndRequested{};
    }

    void lock(bool locked)
    {
        if (locked != locked_)
            view_.lockControls(locked);
        locked_ = locked;
    }

    DownloadChannel* chosenChannel()
    {
        const std::optional<ChannelKind> kind = view_.chosenInterface();
        return kind ? &channels_.channel(*kind) : nullptr;
    }

    // Reads the package. False when the session has ended.
    bool loadPackage(const std::string& path)
    {
        if (const Result opened = reader_.open(path); !opened.ok())
            report(opened.error());
        lock(true);

        std::int64_t length = 0;
        if (const Result len = reader_.length(length); !len.ok()) {
            report(len.error());
            length = 0;
        }
        if (length > kMaxPackageBytes) {
            report(tooLargeText(length));
            length = 0;
        }
        if (length <= 0) {
            reader_.close();
            return endWith(Kind::NotOpen, kMsgFirmwareNotOpen);
        }

        try {
            package_.assign(static_cast<std::size_t>(length), 0);
        } catch (const std::bad_alloc&) {
            package_.clear();
            reader_.close();
            report("Not enough memory to hold the package file (" + std::to_string(length) +
                   " bytes).");
            return endWith(Kind::NotOpen, kMsgFirmwareNotOpen);
        }
        const Result rd = reader_.read(package_);
        reader_.close();
        // A print path left open by an earlier session's early end.
        if (DownloadChannel& net = channels_.channel(ChannelKind::Network); net.isOpen())
            net.close();
        if (!rd.ok()) {
            // Part of a package must never reach a printer.
            package_.clear();
            report(rd.error());
            return endWith(Kind::NotOpen, kMsgFirmwareNotOpen);
        }
        return true;
    }

    // Scans the package and opens the channel. False when the session has ended.
    bool prepare()
    {
        view_.setProgressMaximum(static_cast<float>(package_.size()));

        if (const std::optional<std::string> why = view_.refusePackage(package_))
            return endWith(Kind::Damaged, *why);
        const ScanResult scan = scanPackage(package_);
        if (scan.fault)
            return endWith(Kind::Damaged, describe(*scan.fault));
        index_ = scan.index;
        if (const auto damage = damageOnEveryWay(package_, index_))
            return endWith(Kind::Damaged, describe(*damage));

        channel_ = chosenChannel();
        if (!channel_)
            return endWith(Kind::NoInterface, kMsgNoInterface);
        const Result opened = channel_->open(view_.channelSettings());
        if (opened.failed())
            report(failureText(opened));
        usbOpened_ = opened.ok();
        return true;
    }

    // The model query and the range choice. False when the session has ended.
    bool chooseStart()
    {
        if (index_.headerValue < kNoQueryHeaderValue) {
            modelCode_ = queryPrinterModel(*channel_, clock_, *this);
            const RangeChoice range = chooseRange(index_, modelCode_, package_);
            switch (range.kind) {
            case RangeChoice::Kind::EarlyEnd: earlyEnd(); return false;
            case RangeChoice::Kind::InvalidModel:
                return endWith(Kind::InvalidModel, kMsgInvalidModel);
            case RangeChoice::Kind::Damaged: return endWith(Kind::Damaged, describe(range.fault));
            case RangeChoice::Kind::Send:
                // Whole for another answer, maybe not for this one: the query
                // is all the printer has had.
                if (const auto damage =
                        damageFrom(package_, static_cast<std::size_t>(range.position)))
                    return endWith(Kind::Damaged, describe(*damage));
                position_ = static_cast<std::size_t>(range.position);
                view_.setProgressMaximum(static_cast<float>(range.maximum));
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
            const ExchangeResult x = exchangeRecord(package_, position_, setup, clock_, *this);
            if (!x.fault)
                view_.recordExchanged(position_, x);
            if (x.fault) {
                outcome_ = {Kind::Damaged, describe(*x.fault)};
                return;
            }
            position_ = x.next;
            if (!x.delivered) {
                outcome_ = {Kind::CommunicationError, kMsgCommunicationError};
                return;
            }
            ++recordsSent_;
            bytesSent_ += x.bytes;
            view_.recordSent(x.bytes);
            // A channel that failed while the record was awaited cannot tell
            // whether the printer took it, end mark or not.
            if (x.channelLost) {
                outcome_ = {Kind::CommunicationError, kMsgCommunicationError};
                return;
            }
            if (x.endMark) {
                progressUpdate(position_);
                outcome_ = {Kind::Success, kMsgDownloadSuccess};
                return;
            }
            if (x.ackMissing) {
                outcome_ = {Kind::CommunicationError, kMsgCommunicationError};
                return;
            }
        }
    }

    bool endWith(Kind kind, std::string text)
    {
        outcome_ = {kind, std::move(text)};
        finish();
        return false;
    }

    // Lets the window run during a hand-over and passes the user's stop on.
    class HandOverWait final : public HandOverWatch {
    public:
        explicit HandOverWait(SessionView& view) : view_(view) {}
        bool stopRequested() override
        {
            view_.processEvents();
            return view_.endRequested();
        }
        void tooLateToStop() override
        {
            tooLate = true;
            view_.handOverCannotStop();
        }
        bool tooLate = false;

    private:
        SessionView& view_;
    };

    // The outcome box, then the controls back and the channel closed by the
    // interface chosen now.
    void finish()
    {
        // A print path delivers the job when it is closed: hand it over
        // before telling the user it arrived. Once the printer has the job,
        // or the server may hold it, what the printer got is told even to a
        // user who asked to end.
        bool mustTell = false;
        if (outcome_.kind == Kind::Success && view_.chosenInterface() == ChannelKind::Network) {
            HandOverWait wait(view_);
            const Result s = channels_.channel(ChannelKind::Network).handOver(wait);
            if (s.refused())
                throw EndRequested{}; // stopped in time: the printer gets nothing
            mustTell = wait.tooLate || s.ok();
            if (!s.ok()) {
                if (mustTell) {
                    view_.showBusy(false);
                    view_.showMessage(failureText(s));
                } else {
                    report(failureText(s));
                }
                outcome_ = {Kind::CommunicationError, kMsgCommunicationError};
            }
        }
        view_.showBusy(false);
        view_.processWindowRequests(); // as in report()
        if (!mustTell)
            checkEnd();
        view_.showOutcome(outcome_.text);
        lock(false);
        closeChosenChannel(true);
    }

    // After a failed model query: nothing sent, no outcome box. A print path
    // stays open until the next session closes it.
    void earlyEnd()
    {
        outcome_ = {Kind::QueryFailed, {}};
        view_.showBusy(false);
        lock(false);
        closeChosenChannel(false);
    }

    // Closes the channel of the interface chosen at this moment: a serial
    // port only when open, the USB printer always, the print path only when
    // `printPath` (after an early end it stays open for the next session).
    void closeChosenChannel(bool printPath)
    {
        switch (view_.chosenInterface().value_or(ChannelKind::Network)) {
        case ChannelKind::Serial:
            if (DownloadChannel& s = channels_.channel(ChannelKind::Serial); s.isOpen())
                s.close();
            break;
        case ChannelKind::Usb: channels_.channel(ChannelKind::Usb).close(); break;
        case ChannelKind::Network:
            if (printPath && view_.chosenInterface())
                channels_.channel(ChannelKind::Network).close();
            break;
        }
    }

    // The program is ending: release what the session holds, show nothing.
    void abandon()
    {
        reader_.close();
        if (channel_)
            channel_->close();
        view_.showBusy(false);
        lock(false);
    }

    ChannelSet& channels_;
    Clock& clock_;
    PackageReader& reader_;
    std::vector<std::uint8_t>& package_;
    SessionView& view_;

    SessionOutcome outcome_;
    bool locked_ = false;
    PackageIndex index_;
    DownloadChannel* channel_ = nullptr;
    bool usbOpened_ = false;
    std::uint8_t modelCode_ = kModelNoQuery;
    std::size_t position_ = 0;
    std::int64_t start_ = 0;
    std::size_t recordsSent_ = 0;
    std::size_t bytesSent_ = 0;
};

} // namespace

DownloadSession::DownloadSession(ChannelSet& channels, Clock& clock)
    : channels_(channels), clock_(clock), reader_(fileReader_)
{}

DownloadSession::DownloadSession(ChannelSet& channels, Clock& clock, PackageReader& reader)
    : channels_(channels), clock_(clock), reader_(reader)
{}

DownloadSession::~DownloadSession() = default;

SessionOutcome DownloadSession::run(const std::string& packagePath, SessionView& view)
{
    return SessionRun(channels_, clock_, reader_, package_, view).run(packagePath);
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
