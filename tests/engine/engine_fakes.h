#pragma once
// Test doubles for the download engine: a clock that only moves when told,
// an in-memory channel whose printer answers from a script, a package reader
// with scripted failures, and a session view that records what it is shown.

#include "engine/channel.h"
#include "engine/clock.h"
#include "engine/package_file.h"
#include "engine/printer_replies.h"
#include "engine/protocol.h"
#include "engine/session.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fw::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline Bytes bytesOf(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

class FakeClock final : public Clock {
public:
    duration now() override { return t; }
    void sleep(std::chrono::milliseconds d) override
    {
        sleeps.push_back(d);
        t += d;
    }
    duration t{std::chrono::hours(1)};
    std::vector<std::chrono::milliseconds> sleeps;
};

// One channel of any kind, with the rules of that kind's channel. Bytes from
// the printer arrive at set times: on Serial they pile up until read; on USB
// each arrival is what one read gets.
class ScriptedChannel final : public DownloadChannel, public PolledInput, public BlockInput {
public:
    ScriptedChannel(ChannelKind kind, FakeClock& clock) : kind_(kind), clock_(clock) {}

    ChannelKind kind() const { return kind_; }

    Result<> open(const ChannelSettings& settings) override
    {
        opens.push_back(settings);
        open_ = openStatus.ok();
        return openStatus;
    }

    Result<> write(std::span<const std::uint8_t> bytes) override
    {
        Bytes b(bytes.begin(), bytes.end());
        writes.push_back(b);
        writeTimes.push_back(clock_.t);
        const Result<> s = writeStatus ? writeStatus(b) : Result<>::success();
        if (s.ok() && printer)
            printer(*this, b);
        return s;
    }

    Result<> waitingCount(int& count, std::chrono::milliseconds slice) override
    {
        ++polls;
        count = 0;
        if (failingPolls > 0) {
            --failingPolls;
            clock_.t += slice;
            return Result<>::failure("poll failed");
        }
        if (!pollStatus.ok())
            return pollStatus; // a poll that fails does so at once
        collect();
        if (buffer_.empty()) {
            const Clock::duration until = clock_.t + slice;
            if (!arrivals_.empty() && arrivals_.front().at <= until)
                clock_.t = arrivals_.front().at;
            else
                clock_.t = until;
            collect();
        }
        count = static_cast<int>(buffer_.size());
        return Result<>::success();
    }

    Result<> read(std::vector<std::uint8_t>& bytes) override
    {
        ++reads;
        bytes.clear();
        if (!readStatus.ok())
            return readStatus;
        if (kind_ == ChannelKind::Usb) {
            if (arrivals_.empty() || arrivals_.front().at > clock_.t + usbReadWait) {
                clock_.t += usbReadWait;
                return emptyUsbRead;
            }
            clock_.t = std::max(clock_.t, arrivals_.front().at);
            bytes = arrivals_.front().bytes;
            arrivals_.pop_front();
            return Result<>::success();
        }
        collect();
        bytes.swap(buffer_);
        buffer_.clear();
        return Result<>::success();
    }

    // What has arrived by now is dropped, as a serial port's flush does.
    void discardInput() override
    {
        ++discards;
        if (kind_ != ChannelKind::Serial)
            return;
        collect();
        buffer_.clear();
    }

    std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) override
    {
        switch (kind_) {
        case ChannelKind::Serial: return awaitPolledAnswer(*this, clock, failures);
        case ChannelKind::Usb: return awaitBlockAnswer(*this, clock, failures);
        case ChannelKind::Network: break;
        }
        clock.sleep(kModelAnswerWait);
        return kModelK20T;
    }
    AckWait awaitAck(Clock& clock, FailureReport& failures,
                     std::vector<std::uint8_t>& heard) override
    {
        return kind_ == ChannelKind::Usb ? awaitBlockAck(*this, clock, failures, heard)
                                         : awaitPolledAck(*this, clock, failures, heard);
    }
    RecordRule recordRule(std::uint8_t modelCode) const override
    {
        using C = RecordRule::Confirmation;
        if (kind_ == ChannelKind::Network)
            return {C::Delivery, {}, false};
        if (kind_ == ChannelKind::Usb && modelCode == kModelMDL40)
            return {C::None, kUsbRecordPause, true};
        if (kind_ == ChannelKind::Usb && modelCode == kModelUnknown)
            return {C::None, {}, true};
        return {};
    }

    void close() override
    {
        ++closes;
        open_ = false;
    }
    void closeAfterSession(bool earlyEnd) override
    {
        if (kind_ == ChannelKind::Usb || (kind_ == ChannelKind::Serial && open_) ||
            (kind_ == ChannelKind::Network && !earlyEnd))
            close();
    }
    bool holdsUntilHandOver() const override { return kind_ == ChannelKind::Network; }
    Result<> handOver(HandOverWatch& watch) override
    {
        ++handOvers;
        const Result<> r = handOverScript ? handOverScript(watch) : handOverStatus;
        if (open_)
            close();
        return r;
    }
    bool isOpen() const override { return open_; }

    // Bytes from the printer, arriving `delay` from now.
    void reply(Bytes bytes, Clock::duration delay = {})
    {
        const Clock::duration at = clock_.t + delay;
        auto pos = std::find_if(arrivals_.begin(), arrivals_.end(),
                                [&](const Arrival& a) { return a.at > at; });
        arrivals_.insert(pos, Arrival{at, std::move(bytes)});
    }

    // Everything written after the model query, one entry per write.
    std::vector<Bytes> recordsWritten() const
    {
        std::vector<Bytes> out;
        for (const Bytes& w : writes)
            if (!(w.size() == 10 && w[0] == 0x01 && w[1] == '9' && w[2] == '7' && w[3] == 0x02))
                out.push_back(w);
        return out;
    }

    // --- script ---
    Result<> handOverStatus;
    std::function<Result<>(HandOverWatch&)> handOverScript; // instead of handOverStatus
    int handOvers = 0;
    Result<> openStatus;
    std::function<Result<>(const Bytes&)> writeStatus;
    Result<> pollStatus;
    int failingPolls = 0; // this many polls fail before pollStatus applies
    Result<> readStatus;
    Result<> emptyUsbRead; // what a USB read that times out gives
    Clock::duration usbReadWait = std::chrono::milliseconds(50);
    std::function<void(ScriptedChannel&, const Bytes&)> printer; // runs after each write
    bool open_ = false;

    // --- record ---
    std::vector<ChannelSettings> opens;
    std::vector<Bytes> writes;
    std::vector<Clock::duration> writeTimes;
    int polls = 0;
    int reads = 0;
    int closes = 0;
    int discards = 0;

private:
    struct Arrival {
        Clock::duration at;
        Bytes bytes;
    };
    void collect()
    {
        while (!arrivals_.empty() && arrivals_.front().at <= clock_.t) {
            buffer_.insert(buffer_.end(), arrivals_.front().bytes.begin(),
                           arrivals_.front().bytes.end());
            arrivals_.pop_front();
        }
    }

    ChannelKind kind_;
    FakeClock& clock_;
    std::deque<Arrival> arrivals_;
    Bytes buffer_;
};

inline bool isModelQuery(const Bytes& b)
{
    return b == Bytes{0x01, 0x39, 0x37, 0x02, 0x30, 0x31, 0x31, 0x03, 0x36, 0x45};
}

// A printer that answers the query with `model` and acknowledges every record.
inline std::function<void(ScriptedChannel&, const Bytes&)>
printerAnswering(std::string model, Clock::duration ackDelay = std::chrono::milliseconds(1))
{
    return [model, ackDelay](ScriptedChannel& ch, const Bytes& written) {
        if (isModelQuery(written)) {
            if (!model.empty())
                ch.reply(bytesOf(model), std::chrono::milliseconds(10));
        } else {
            ch.reply({0x06}, ackDelay);
        }
    };
}

class FakeChannels final : public ChannelSet {
public:
    explicit FakeChannels(FakeClock& clock)
        : serial(ChannelKind::Serial, clock), usb(ChannelKind::Usb, clock),
          network(ChannelKind::Network, clock)
    {}
    DownloadChannel& channel(ChannelKind kind) override { return of(kind); }
    ScriptedChannel& of(ChannelKind kind)
    {
        return kind == ChannelKind::Serial ? serial : kind == ChannelKind::Usb ? usb : network;
    }
    ScriptedChannel serial, usb, network;
};

class ScriptedReader final : public PackageReader {
public:
    Result<> open(const std::string& path) override
    {
        opened.push_back(path);
        isOpen = !failOpen && !path.empty();
        return isOpen ? Result<>::success() : Result<>::failure("cannot open " + path);
    }
    Result<> length(std::int64_t& bytes) override
    {
        bytes = isOpen ? static_cast<std::int64_t>(content.size()) : 0;
        return isOpen ? Result<>::success() : Result<>::failure("no length");
    }
    Result<> read(std::span<std::uint8_t> into) override
    {
        std::copy_n(content.begin(), std::min(content.size(), into.size()), into.begin());
        return failRead ? Result<>::failure("read failed") : Result<>::success();
    }
    void close() override
    {
        ++closes;
        isOpen = false;
    }

    Bytes content;
    bool failOpen = false;
    bool failRead = false;
    bool isOpen = false;
    int closes = 0;
    std::vector<std::string> opened;
};

// Collects what the protocol asks of its session.
class RecordingHost final : public ProtocolHost {
public:
    bool report(const std::string& description) override
    {
        reports.push_back(description);
        return true;
    }
    bool progressUpdate(std::size_t position) override
    {
        updates.push_back(position);
        return true;
    }
    std::vector<std::string> reports;
    std::vector<std::size_t> updates;
};

struct ShownMessage {
    std::string text;
    bool busy = false; // the busy state while it was shown
};

// The session's view as a test sees it: the interface and settings it is
// given, and everything the session shows, in order.
class RecordingView final : public SessionView {
public:
    std::optional<ChannelKind> chosenInterface() override { return chosen; }
    ChannelSettings channelSettings() override { return settings; }
    void lockControls(bool l) override { locked = l; }
    void showBusy(bool b) override { busy = b; }
    void setProgressMaximum(float maximum) override { maxima.push_back(maximum); }
    void showProgress(std::int64_t p) override { passed.push_back(p); }
    void showMessage(const std::string& text) override { messages.push_back({text, busy}); }
    void processEvents() override
    {
        ++processEventsCalls;
        if (onProcessEvents)
            onProcessEvents();
    }
    void processWindowRequests() override
    {
        ++processWindowRequestsCalls;
        if (onProcessWindowRequests)
            onProcessWindowRequests();
    }
    bool endRequested() override { return end; }
    void handOverCannotStop() override { ++cannotStopCalls; }
    void channelOpened(bool ok) override { opensHeard.push_back(ok); }
    void modelAnswered(std::uint8_t code) override { answersHeard.push_back(code); }

    std::vector<std::string> messageTexts() const
    {
        std::vector<std::string> out;
        for (const ShownMessage& m : messages)
            out.push_back(m.text);
        return out;
    }
    // Forgets what was shown, before the next session.
    void clearShown()
    {
        maxima.clear();
        passed.clear();
        messages.clear();
        opensHeard.clear();
        answersHeard.clear();
    }

    // --- script ---
    std::optional<ChannelKind> chosen = ChannelKind::Serial;
    ChannelSettings settings;
    bool end = false; // the user ended the program
    // Run inside processEvents() and processWindowRequests(), as a click
    // between records or a close of the window would.
    std::function<void()> onProcessEvents;
    std::function<void()> onProcessWindowRequests;

    // --- record ---
    bool locked = false;
    bool busy = false;
    std::vector<float> maxima;        // each progress maximum, in order
    std::vector<std::int64_t> passed; // each progress shown, in order
    std::vector<ShownMessage> messages;
    int processEventsCalls = 0;
    int processWindowRequestsCalls = 0;
    int cannotStopCalls = 0;
    std::vector<bool> opensHeard;           // each open the session told of
    std::vector<std::uint8_t> answersHeard; // each model answer it told of
};

// --- packages ---

// One record: SOH, the body, CR and LF.
inline std::string rec(const std::string& body)
{
    return "\x01" + body + "\r\n";
}
inline std::string modelRecord()
{
    return rec("97ABC");
}
inline std::string header90(const std::string& sixDigits)
{
    return rec("90XXX" + sixDigits + "ZZ");
}
inline std::string header93(const std::string& eightDigits)
{
    return rec("93XXX" + eightDigits + "ZZ");
}
inline std::string dataRecord(const std::string& tag)
{
    return rec("00" + tag);
}
inline std::string lastRecord(const std::string& tag)
{
    return rec("00" + tag + "\x17");
}

} // namespace fw::test
