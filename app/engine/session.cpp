#include "engine/session.h"

#include "engine/package.h"
#include "engine/protocol.h"

#include <limits>
#include <new>

namespace fw {

namespace {

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
        if (carryOn()) {
            view_.showBusy(true);
            if (loadPackage(packagePath) && prepare() && chooseStart() && transfer())
                finish();
        }
        if (ended_) {
            abandon();
            outcome_ = {Kind::Ended};
        }
        outcome_.modelCode = modelCode_;
        outcome_.channelOpened = opened_;
        outcome_.recordsSent = recordsSent_;
        outcome_.bytesSent = bytesSent_;
        return outcome_;
    }

    bool report(const std::string& description) override
    {
        if (ended_)
            return false;
        view_.showBusy(false);
        // A close asked for while the session waited would be dropped once
        // a modal box is open: take it first.
        view_.processWindowRequests();
        if (!carryOn())
            return false;
        view_.showMessage(description);
        return carryOn();
    }

    bool progressUpdate(std::size_t position) override
    {
        if (ended_)
            return false;
        view_.showProgress(static_cast<std::int64_t>(position) - start_);
        view_.processEvents();
        return carryOn();
    }

private:
    // False once the user has ended the program: from then on the session
    // only releases what it holds (abandon()) and shows nothing.
    bool carryOn()
    {
        if (!ended_ && view_.endRequested())
            ended_ = true;
        return !ended_;
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
        if (const Result<> opened = reader_.open(path); !opened.ok() && !report(opened.error()))
            return false;
        lock(true);

        std::int64_t length = 0;
        if (const Result<> len = reader_.length(length); !len.ok()) {
            if (!report(len.error()))
                return false;
            length = 0;
        }
        if (length > kMaxPackageBytes) {
            if (!report(tooLargeText(length)))
                return false;
            length = 0;
        }
        if (length <= 0) {
            reader_.close();
            return endWith(Kind::NotOpen);
        }

        try {
            package_.assign(static_cast<std::size_t>(length), 0);
        } catch (const std::bad_alloc&) {
            package_.clear();
            reader_.close();
            if (!report("Not enough memory to hold the package file (" + std::to_string(length) +
                        " bytes)."))
                return false;
            return endWith(Kind::NotOpen);
        }
        const Result<> rd = reader_.read(package_);
        reader_.close();
        // A print path left open by an earlier session's early end: the
        // query it holds is dropped, never handed over.
        for (const ChannelKind kind : {ChannelKind::Serial, ChannelKind::Usb, ChannelKind::Network})
            if (DownloadChannel& left = channels_.channel(kind);
                left.holdsUntilHandOver() && left.isOpen())
                left.close();
        if (!rd.ok()) {
            // Part of a package must never reach a printer.
            package_.clear();
            if (!report(rd.error()))
                return false;
            return endWith(Kind::NotOpen);
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
            return endWith(Kind::NoInterface);
        const Result<> opened = channel_->open(view_.channelSettings());
        if (opened.failed() && !report(failureText(opened)))
            return false;
        opened_ = opened.ok();
        view_.channelOpened(opened_);
        return true;
    }

    // The model query and the range choice. False when the session has ended.
    bool chooseStart()
    {
        if (index_.headerValue < kNoQueryHeaderValue) {
            modelCode_ = queryPrinterModel(*channel_, clock_, *this);
            if (ended_)
                return false;
            view_.modelAnswered(modelCode_);
            const RangeChoice range = chooseRange(index_, modelCode_, package_);
            switch (range.kind) {
            case RangeChoice::Kind::EarlyEnd: earlyEnd(); return false;
            case RangeChoice::Kind::InvalidModel: return endWith(Kind::InvalidModel);
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

    // Sends the records. False when the session has ended.
    bool transfer()
    {
        const ExchangeSetup setup{*channel_, modelCode_, opened_};
        for (;;) {
            const ExchangeResult x = exchangeRecord(package_, position_, setup, clock_, *this);
            // Counted only when the session goes on: an end is told by itself.
            if (x.stopped)
                return false;
            if (!x.fault)
                view_.recordExchanged(position_, x);
            if (x.fault) {
                outcome_ = {Kind::Damaged, describe(*x.fault)};
                return true;
            }
            position_ = x.next;
            if (!x.delivered) {
                outcome_ = {Kind::CommunicationError};
                return true;
            }
            ++recordsSent_;
            bytesSent_ += x.bytes;
            view_.recordSent(x.bytes);
            // A channel that failed while the record was awaited cannot tell
            // whether the printer took it, end mark or not.
            if (x.channelLost) {
                outcome_ = {Kind::CommunicationError};
                return true;
            }
            if (x.endMark) {
                if (!progressUpdate(position_))
                    return false;
                outcome_ = {Kind::Success};
                return true;
            }
            if (x.ackMissing) {
                outcome_ = {Kind::CommunicationError};
                return true;
            }
        }
    }

    // `damage`: what is broken, for Damaged.
    bool endWith(Kind kind, std::string damage = {})
    {
        outcome_ = {kind, std::move(damage)};
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
        const std::optional<ChannelKind> now = view_.chosenInterface();
        if (outcome_.kind == Kind::Success && now && channels_.channel(*now).holdsUntilHandOver()) {
            HandOverWait wait(view_);
            const Result<> s = channels_.channel(*now).handOver(wait);
            if (s.refused()) {
                ended_ = true; // stopped in time: the printer gets nothing
                return;
            }
            mustTell = wait.tooLate || s.ok();
            if (!s.ok()) {
                if (mustTell) {
                    view_.showBusy(false);
                    view_.showMessage(failureText(s));
                } else if (!report(failureText(s))) {
                    return;
                }
                outcome_ = {Kind::CommunicationError};
            }
        }
        view_.showBusy(false);
        view_.processWindowRequests(); // as in report()
        if (!mustTell && !carryOn())
            return;
        view_.showOutcome(outcome_.text());
        lock(false);
        closeChosenChannel(false);
    }

    // After a failed model query: nothing sent, no outcome box. A print path
    // stays open until the next session closes it.
    void earlyEnd()
    {
        outcome_ = {Kind::QueryFailed};
        view_.showBusy(false);
        lock(false);
        closeChosenChannel(true);
    }

    // Closes the channel of the interface chosen at this moment, as that
    // interface ends a session.
    void closeChosenChannel(bool earlyEnd)
    {
        if (const std::optional<ChannelKind> now = view_.chosenInterface())
            channels_.channel(*now).closeAfterSession(earlyEnd);
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
    bool ended_ = false; // the user ended the program during the session
    PackageIndex index_;
    DownloadChannel* channel_ = nullptr;
    bool opened_ = false;
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

std::string SessionOutcome::text() const
{
    switch (kind) {
    case Kind::Success: return kMsgDownloadSuccess;
    case Kind::CommunicationError: return kMsgCommunicationError;
    case Kind::InvalidModel: return kMsgInvalidModel;
    case Kind::NotOpen: return kMsgFirmwareNotOpen;
    case Kind::Damaged: return damage;
    case Kind::NoInterface: return kMsgNoInterface;
    case Kind::QueryFailed:
    case Kind::Ended: break;
    }
    return {};
}

} // namespace fw
