#pragma once
// One way to the printer: a serial port, a USB printer through TAVLIB, or a
// network print path. The session and the protocol use only these operations.

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fw {

enum class ChannelKind { Serial, Usb, Network };

// Outcome of one channel operation.
//  Ok:           done.
//  Failed:       the session reports `error` to the user (report and continue).
//  NotDelivered: the platform refused quietly (a TAVLIB export returned -1);
//                nothing is reported, but the session may look at it.
struct ChannelStatus {
    enum class State { Ok, Failed, NotDelivered };
    State state = State::Ok;
    std::string error;

    bool ok() const { return state == State::Ok; }
    bool failed() const { return state == State::Failed; }
    static ChannelStatus success() { return {}; }
    static ChannelStatus failure(std::string why) { return {State::Failed, std::move(why)}; }
    static ChannelStatus notDelivered() { return {State::NotDelivered, {}}; }
};

// What the window says about the channel at the moment it is opened.
struct ChannelConfig {
    int portNumber = 0;       // cboPORT position + 1; 0 when nothing is chosen
    std::string settings;     // "9600,N,8,1"
    std::string device;       // strDevice, read up to its first NUL
    std::string address;      // TextEthernet exactly as typed
};

class DownloadChannel {
public:
    virtual ~DownloadChannel() = default;
    virtual ChannelKind kind() const = 0;

    virtual ChannelStatus open(const ChannelConfig& config) = 0;
    virtual ChannelStatus write(std::span<const std::uint8_t> bytes) = 0;

    // Serial only: the number of received bytes not yet read. When none are
    // waiting it may block up to `slice` for one to arrive, so a poll loop
    // does not burn a processor.
    virtual ChannelStatus waitingCount(int& count, std::chrono::milliseconds slice) = 0;

    // Serial: every received byte not yet read. USB: one usb_read; nothing
    // when it returns 0 or less.
    virtual ChannelStatus read(std::vector<std::uint8_t>& bytes) = 0;

    // Serial: close when open. USB: usb_close, always. Network: abandon the
    // job: the printer receives none of it.
    virtual void close() = 0;

    // Network: gives the printer the job written so far and closes the path,
    // so a job that cannot be handed over is not taken for a success; only a
    // job handed over reaches the printer. The other channels deliver every
    // write at once and have nothing to do.
    virtual ChannelStatus handOver() { return ChannelStatus::success(); }
    virtual bool isOpen() const = 0;
};

// The window's three channels; each lives as long as the window.
class ChannelSet {
public:
    virtual ~ChannelSet() = default;
    virtual DownloadChannel& channel(ChannelKind kind) = 0;
};

} // namespace fw
