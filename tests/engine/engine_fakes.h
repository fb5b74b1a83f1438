#pragma once
// Test doubles for the download engine: a clock that only moves when told,
// an in-memory channel whose printer answers from a script, and a package
// reader with scripted failures.

#include "session/clock.h"
#include "session/download_channel.h"
#include "session/package_reader.h"
#include "session/session_host.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace fw::test {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

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

// One channel of any kind. Bytes from the printer arrive at set times: on
// Serial they pile up until read; on USB each arrival is what one read gets.
class ScriptedChannel final : public DownloadChannel {
public:
    ScriptedChannel(ChannelKind kind, FakeClock& clock) : kind_(kind), clock_(clock) {}

    ChannelKind kind() const override { return kind_; }

    ChannelStatus open(const ChannelConfig& config) override
    {
        opens.push_back(config);
        open_ = openStatus.ok();
        return openStatus;
    }

    ChannelStatus write(std::span<const std::uint8_t> bytes) override
    {
        Bytes b(bytes.begin(), bytes.end());
        writes.push_back(b);
        writeTimes.push_back(clock_.t);
        const ChannelStatus s = writeStatus ? writeStatus(b) : ChannelStatus::success();
        if (s.ok() && printer)
            printer(*this, b);
        return s;
    }

    ChannelStatus waitingCount(int& count, std::chrono::milliseconds slice) override
    {
        ++polls;
        slices.push_back(slice);
        count = 0;
        if (failingPolls > 0) {
            --failingPolls;
            clock_.t += slice;
            return ChannelStatus::failure("poll failed");
        }
        if (!pollStatus.ok()) {
            clock_.t += slice;
            return pollStatus;
        }
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
        return ChannelStatus::success();
    }

    ChannelStatus read(std::vector<std::uint8_t>& bytes) override
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
            return ChannelStatus::success();
        }
        collect();
        bytes.swap(buffer_);
        buffer_.clear();
        return ChannelStatus::success();
    }

    void close() override
    {
        ++closes;
        open_ = false;
    }
    ChannelStatus handOver() override
    {
        ++handOvers;
        if (open_)
            close();
        return handOverStatus;
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
    ChannelStatus handOverStatus;
    int handOvers = 0;
    ChannelStatus openStatus;
    std::function<ChannelStatus(const Bytes&)> writeStatus;
    ChannelStatus pollStatus;
    int failingPolls = 0; // this many polls fail before pollStatus applies
    ChannelStatus readStatus;
    ChannelStatus emptyUsbRead;                    // what a USB read that times out gives
    Clock::duration usbReadWait = std::chrono::milliseconds(50);
    std::function<void(ScriptedChannel&, const Bytes&)> printer; // runs after each write
    bool open_ = false;

    // --- record ---
    std::vector<ChannelConfig> opens;
    std::vector<Bytes> writes;
    std::vector<Clock::duration> writeTimes;
    std::vector<std::chrono::milliseconds> slices;
    int polls = 0;
    int reads = 0;
    int closes = 0;

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
inline std::function<void(ScriptedChannel&, const Bytes&)> printerAnswering(
    std::string model, Clock::duration ackDelay = std::chrono::milliseconds(1))
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
    {
    }
    DownloadChannel& channel(ChannelKind kind) override { return of(kind); }
    ScriptedChannel& of(ChannelKind kind)
    {
        return kind == ChannelKind::Serial ? serial : kind == ChannelKind::Usb ? usb : network;
    }
    ScriptedChannel serial, usb, network;
};

class ScriptedReader final : public PackageReader {
public:
    FileStep open(const std::string& path) override
    {
        opened.push_back(path);
        isOpen = !failOpen && !path.empty();
        return isOpen ? FileStep::success() : FileStep::failure("cannot open " + path);
    }
    FileStep length(std::int64_t& bytes) override
    {
        bytes = isOpen ? static_cast<std::int64_t>(content.size()) : 0;
        return isOpen ? FileStep::success() : FileStep::failure("no length");
    }
    FileStep read(std::span<std::uint8_t> into) override
    {
        std::copy_n(content.begin(), std::min(content.size(), into.size()), into.begin());
        return failRead ? FileStep::failure("read failed") : FileStep::success();
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
class RecordingHost final : public SessionHost {
public:
    void report(const std::string& description) override { reports.push_back(description); }
    void progressUpdate(std::size_t position) override { updates.push_back(position); }
    std::vector<std::string> reports;
    std::vector<std::size_t> updates;
};

// --- packages ---

// One record: SOH, the body, CR and LF.
inline std::string rec(const std::string& body) { return "\x01" + body + "\r\n"; }
inline std::string modelRecord() { return rec("97ABC"); }
inline std::string header90(const std::string& sixDigits) { return rec("90XXX" + sixDigits + "ZZ"); }
inline std::string header93(const std::string& eightDigits) { return rec("93XXX" + eightDigits + "ZZ"); }
inline std::string dataRecord(const std::string& tag) { return rec("00" + tag); }
inline std::string lastRecord(const std::string& tag) { return rec("00" + tag + "\x17"); }

} // namespace fw::test
