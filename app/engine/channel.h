#pragma once
// One way to the printer: a serial port, a USB printer through TAVLIB, or a
// network print path. The session and the protocol use only these operations.

#include "engine/result.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace fw {

enum class ChannelKind { Serial, Usb, Network };

// How a serial port holds back output the other end cannot take yet.
enum class Handshake {
    None,
    RtsCts, // the port's own hardware flow control
    DtrDsr, // output goes on only while the other end raises DSR
};

// The line settings of a serial port.
struct SerialLine {
    int baud = 9600;
    char parity = 'N'; // N, E, O, M or S; taken as it stands
    int dataBits = 8;
    int stopBits = 1;
    Handshake handshake = Handshake::None; // the window's list is not applied
};

// Where the printer is, as the user set it up when the channel is opened.
struct ChannelSettings {
    int portNumber = 0; // COMn; 0 when no port is chosen
    SerialLine line;
    std::string usbDevicePath;  // the printer's device path
    std::string networkAddress; // the printer's address exactly as typed
    std::string serialDevice{}; // a serial device named directly, in place of COMn
};

// Whoever waits while a network channel hands a job over.
class HandOverWatch {
public:
    virtual ~HandOverWatch() = default;
    // Asked about every 50 ms while the job goes out; lets the window run.
    // True: the user wants to stop.
    virtual bool stopRequested() = 0;
    // The print server may already hold the job, or part of it: a stop
    // would no longer keep it from the printer, so none is taken from now on.
    virtual void tooLateToStop() = 0;
};

class DownloadChannel {
public:
    virtual ~DownloadChannel() = default;
    virtual ChannelKind kind() const = 0;

    virtual Result open(const ChannelSettings& settings) = 0;
    // A failure is reported to the user; a refusal (USB) is not.
    virtual Result write(std::span<const std::uint8_t> bytes) = 0;

    // Serial only: the number of received bytes not yet read. When none are
    // waiting it may block up to `slice` for one to arrive, so a poll loop
    // does not burn a processor.
    virtual Result waitingCount(int& count, std::chrono::milliseconds slice) = 0;

    // Serial: every received byte not yet read. USB: one usb_read; nothing
    // when it returns 0 or less.
    virtual Result read(std::vector<std::uint8_t>& bytes) = 0;

    // Drops what the printer sent that nobody has read: it came before the
    // next write and cannot answer it. Serial only: TAVLIB drains a USB
    // printer when it opens it, and a print path sends nothing back.
    virtual void discardInput() {}

    // Serial: close when open. USB: usb_close, always. Network: abandon the
    // job: the printer receives none of it.
    virtual void close() = 0;

    // Network: gives the printer the job written so far and closes the path,
    // so a job that cannot be handed over is not taken for a success; only a
    // job handed over reaches the printer. A refusal: stopped at the user's
    // request in time, the printer receives nothing. The other channels
    // deliver every write at once and have nothing to do.
    virtual Result handOver(HandOverWatch&) { return Result::success(); }
    virtual bool isOpen() const = 0;
};

// The three channels of a program; each lives as long as the program.
class ChannelSet {
public:
    virtual ~ChannelSet() = default;
    virtual DownloadChannel& channel(ChannelKind kind) = 0;
};

} // namespace fw
