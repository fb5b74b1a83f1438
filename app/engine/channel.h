#pragma once
// One way to the printer: a serial port, a USB printer through TAVLIB, or a
// network print path. The session and the protocol use only these operations.

#include "engine/clock.h"
#include "base/result.h"

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

// Whoever hears of a channel operation that did not go through; the wait
// it happened in carries on as the interface's rules say.
class FailureReport {
public:
    virtual ~FailureReport() = default;
    // False: the user ended the program meanwhile; the caller stops at once.
    virtual bool report(const std::string& description) = 0;
};

// How the wait for a record's acknowledgement ended.
inline constexpr std::size_t kMaxHeardBytes = 64;

// Ended: the user ended the program while a failure was shown.
enum class AckWait { Accepted, TimedOut, Lost, Ended };

// What tells the session that the printer took a record, on one interface
// for one model answer.
struct RecordRule {
    enum class Confirmation {
        Acknowledgement, // the printer's ACK, then the progress moves
        Delivery,        // the channel took it: the progress moves at once
        None,            // nothing tells: the progress stays
    };
    Confirmation confirmation = Confirmation::Acknowledgement;
    // A pause after each record the channel took.
    std::chrono::milliseconds pauseAfter{0};
    // Only a refused open or write can show a lost record: none is sent
    // after a refused open.
    bool lostUnlessOpened = false;
};

// One way to the printer. Each interface brings its own rules for what the
// protocol exchanges over it: how the model answer and the acknowledgements
// come back, what confirms a record, what ending a session means.
class DownloadChannel {
public:
    virtual ~DownloadChannel() = default;

    virtual Result<> open(const ChannelSettings& settings) = 0;
    // A failure is reported to the user; a refusal (USB) is not.
    virtual Result<> write(std::span<const std::uint8_t> bytes) = 0;

    // Drops what the printer sent that nobody has read: it came before the
    // next write and cannot answer it.
    virtual void discardInput() {}

    // After the model query went out: the model code of the answer, or
    // kModelQueryFailed after a failure (reported through `failures`).
    virtual std::uint8_t awaitModelAnswer(Clock& clock, FailureReport& failures) = 0;

    // After a record went out, where its rule asks for an acknowledgement.
    // Keeps in `heard` the first kMaxHeardBytes the printer sent meanwhile,
    // for whoever shows the exchange; the wait itself does not look at them.
    virtual AckWait awaitAck(Clock& clock, FailureReport& failures,
                             std::vector<std::uint8_t>& heard) = 0;

    // What confirms a record for this model answer.
    virtual RecordRule recordRule(std::uint8_t modelCode) const = 0;

    virtual void close() = 0;
    // What the end of a session leaves of the channel; `earlyEnd`: the
    // model query failed and nothing was sent.
    virtual void closeAfterSession(bool earlyEnd) = 0;

    // A channel that holds what was written until it is handed over, and
    // delivers nothing without that (a print path).
    virtual bool holdsUntilHandOver() const { return false; }
    // Gives the printer the job written so far and closes the channel, so a
    // job that cannot be handed over is not taken for a success. A refusal:
    // stopped at the user's request in time, the printer receives nothing.
    virtual Result<> handOver(HandOverWatch&) { return Result<>::success(); }
    virtual bool isOpen() const = 0;
};

// The three channels of a program; each lives as long as the program.
class ChannelSet {
public:
    virtual ~ChannelSet() = default;
    virtual DownloadChannel& channel(ChannelKind kind) = 0;
};

} // namespace fw
