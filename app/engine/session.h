#pragma once
// One download session: read the package, check it, open the channel, ask
// the printer's model, send the records, and end with one outcome. The
// session knows no window: whoever runs it (the window, the command line, a
// test) says where the printer is and shows what the session reports.

#include "engine/channel.h"
#include "engine/clock.h"
#include "engine/package_file.h"
#include "engine/protocol.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace fw {

// The texts a download ends with.
inline constexpr const char* kMsgDownloadSuccess = "Download Success.";
inline constexpr const char* kMsgCommunicationError = "Communication Error.";
inline constexpr const char* kMsgInvalidModel = "Invalid Printer model data";
inline constexpr const char* kMsgFirmwareNotOpen = "Firmware file not open.";
inline constexpr const char* kMsgNoInterface =
    "No interface chosen. Choose Serial, USB or Ethernet, then press Download Start again.";

// What the session asks of whoever runs it.
class SessionView {
public:
    virtual ~SessionView() = default;

    // The interface chosen at this moment; nullopt when none is.
    virtual std::optional<ChannelKind> chosenInterface() = 0;
    // Where the printer is, read when the channel is opened.
    virtual ChannelSettings channelSettings() = 0;

    // The controls that must not change while a download runs. Unlocking
    // gives them back as they were.
    virtual void lockControls(bool locked) = 0;
    virtual void showBusy(bool busy) = 0;
    // The progress maximum; also makes the progress visible.
    virtual void setProgressMaximum(float maximum) = 0;
    // Package bytes passed since sending began (records with their line ends).
    virtual void showProgress(std::int64_t passed) = 0;
    // A failure report or the outcome; returns when the user has read it.
    virtual void showMessage(const std::string& text) = 0;
    // The outcome, at the end of a session that has one.
    virtual void showOutcome(const std::string& text) { showMessage(text); }
    // The chosen channel took the open, or refused it (reported, and the
    // session goes on as its rules say).
    virtual void channelOpened(bool /*ok*/) {}
    // The model code of the printer's answer to the model query.
    virtual void modelAnswered(std::uint8_t /*code*/) {}
    // A record the channel took, with its bytes on the wire.
    virtual void recordSent(std::size_t /*bytes*/) {}
    // Read whole, before anything is sent: a reason to send nothing of it
    // (the session ends as for a damaged package), or nullopt to go on.
    virtual std::optional<std::string> refusePackage(std::span<const std::uint8_t> /*package*/)
    {
        return std::nullopt;
    }
    // Each record's exchange as it ended, taken or not: where it starts in
    // the package, and what the printer answered. For views that show the wire.
    virtual void recordExchanged(std::size_t /*offset*/, const ExchangeResult& /*exchange*/) {}
    // Lets the user act between records (repaint, clicks, keys).
    virtual void processEvents() = 0;
    // Takes requests the system holds for the program (a close), without
    // user input; called before each message, which would otherwise drop them.
    virtual void processWindowRequests() {}
    // The user asked to end the program: the session stops at its next look.
    virtual bool endRequested() = 0;
    // The print server may already hold the job: from now on the session
    // does not stop when asked to, and ends with the outcome the printer got.
    virtual void handOverCannotStop() {}
};

struct SessionOutcome {
    enum class Kind {
        Success,            // "Download Success."
        CommunicationError, // "Communication Error."
        InvalidModel,       // "Invalid Printer model data"
        NotOpen,            // "Firmware file not open."
        Damaged,            // the package's record structure is broken
        NoInterface,        // no interface chosen
        QueryFailed,        // the model query failed: nothing sent, no outcome box
        Ended,              // the user ended the program during the session
    };
    Kind kind = Kind::NotOpen;
    std::string damage{};        // what is broken, for Damaged
    std::uint8_t modelCode = 0;  // 0 when no query was made
    bool channelOpened = false;  // the channel took the open
    std::size_t recordsSent = 0; // records the channel took
    std::size_t bytesSent = 0;   // their bytes on the wire

    // The outcome box; empty for QueryFailed and Ended.
    std::string text() const;
};

class DownloadSession {
public:
    // Reads packages from disk.
    DownloadSession(ChannelSet& channels, Clock& clock);
    DownloadSession(ChannelSet& channels, Clock& clock, PackageReader& reader);
    ~DownloadSession();
    DownloadSession(const DownloadSession&) = delete;
    DownloadSession& operator=(const DownloadSession&) = delete;

    SessionOutcome run(const std::string& packagePath, SessionView& view);

    // The last package read, kept until the next session.
    std::span<const std::uint8_t> package() const { return package_; }

private:
    ChannelSet& channels_;
    Clock& clock_;
    FilePackageReader fileReader_;
    PackageReader& reader_;
    std::vector<std::uint8_t> package_;
};

} // namespace fw
