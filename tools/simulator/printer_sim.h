#pragma once
// A printer that speaks the download protocol on a file descriptor: it answers
// the model query, acknowledges records and records every byte it receives.
// It can be told to misbehave so the program's failure paths can be exercised.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fw::sim {

inline constexpr std::uint8_t kAck = 0x06;
inline constexpr std::uint8_t kNak = 0x15;
inline constexpr std::uint8_t kSoh = 0x01;

// The 10-byte model query the program sends.
const std::vector<std::uint8_t>& modelQuery();

struct PrinterScript {
    // Answer to the model query; nullopt keeps silent.
    std::optional<std::string> answer = std::string("K20_T");
    // Answers to the first queries, one each, before `answer` takes over.
    std::vector<std::string> answersInTurn;
    // Already in the line when the host first opens it (noise at power-up).
    std::vector<std::uint8_t> leftInLine;
    // Sizes of the pieces the answer is sent in (empty: in one piece); the
    // last piece takes whatever remains. Each piece goes out `pieceGap` after
    // the host has read the one before.
    std::vector<std::size_t> answerPieces;
    std::chrono::milliseconds pieceGap{20};
    std::chrono::milliseconds ackDelay{0};
    // Record numbers count from 1 and do not include the model query.
    int noAckRecord = 0;   // leave this record unacknowledged
    int nakRecord = 0;     // answer this record with NAK
    int strayRecord = 0;   // answer this record with ACK and one more byte
    int hangUpRecord = 0;  // hang up right after receiving this record
    int lateAckRecord = 0; // acknowledge this record `lateAck` late, serving nothing meanwhile
    std::chrono::milliseconds lateAck{0};
    // Records of the package being sent (SOH up to, not including, CR), and
    // of any other packages that may be sent (one entry per package). A
    // record known by its bytes is complete the moment its last byte
    // arrives; anything else ends after `quietGap` without a byte.
    std::vector<std::vector<std::uint8_t>> packageRecords;
    std::vector<std::vector<std::vector<std::uint8_t>>> knownPackages;
    std::chrono::milliseconds quietGap{30};
    // Keep, for each record after the first, the time from writing the
    // previous acknowledgement to reading this record's first byte.
    bool timeAcks = false;
};

// Cut a package into the records the program sends: SOH up to its CR; the CR
// and the byte after it are dropped. Bytes before the first SOH are skipped.
std::vector<std::vector<std::uint8_t>> splitPackage(const std::vector<std::uint8_t>& package);

class PrinterSimulator {
public:
    // `fd` is the printer's end (a pseudo-terminal master, a socket, a mock
    // device); it is not closed, but a hang-up puts /dev/null in its place.
    PrinterSimulator(int fd, PrinterScript script);
    ~PrinterSimulator();
    PrinterSimulator(const PrinterSimulator&) = delete;
    PrinterSimulator& operator=(const PrinterSimulator&) = delete;

    // Serves until stop(), a scripted hang-up or an unrecoverable read error.
    void run();
    // Safe from any thread and from a signal handler.
    void stop();

    std::vector<std::uint8_t> received() const;             // every byte, in order
    std::vector<std::vector<std::uint8_t>> records() const; // complete records
    int queries() const;                                    // model queries answered or ignored
    std::vector<std::chrono::nanoseconds> ackToNextRecord() const;
    bool hungUp() const { return hungUp_.load(); }
    // Text of the last error that ended run(), empty when none.
    std::string lastError() const;

private:
    using Bytes = std::vector<std::uint8_t>;
    struct Position {
        std::size_t package;
        std::size_t index;
    };
    using Known = std::map<Bytes, std::vector<Position>>::const_iterator;
    enum class Match { Complete, Wait, Unknown };

    void indexPackage(const std::vector<Bytes>& records);
    // Whether the pending bytes start with a known record; on Complete,
    // `length` is its length and the next record is expected after it.
    Match matchKnown(bool quiet, std::size_t& length);
    bool expected(const Bytes* record) const;
    void expectAfter(Known record);
    void onBytes(const std::uint8_t* data, std::size_t n);
    void frame(bool quiet);
    void completeRecord(std::size_t length);
    void answerQuery();
    void acknowledge(int number);
    bool sendAll(const std::uint8_t* data, std::size_t n);
    void hangUp();
    bool pause(std::chrono::milliseconds d); // false when stopped meanwhile
    // Waits until the host has read all that was sent; false when stopped.
    bool awaitTaken();

    int fd_;
    PrinterScript script_;
    int wake_[2] = {-1, -1};
    std::atomic<bool> stopping_{false};
    std::atomic<bool> hungUp_{false};

    mutable std::mutex mutex_;
    std::vector<std::uint8_t> received_;
    std::vector<std::vector<std::uint8_t>> records_;
    int queries_ = 0;
    std::vector<std::chrono::nanoseconds> ackTimes_;
    std::string error_;

    // The known records: each once, with where it occurs; each package's
    // records in order; the lengths records have, longest first.
    std::map<Bytes, std::vector<Position>> known_;
    std::vector<std::vector<const Bytes*>> packages_;
    std::vector<std::size_t> lengths_;
    bool queryIsRecord_ = false; // a known record starts like the model query

    // framing state (run() thread only)
    std::vector<std::uint8_t> pending_;
    std::vector<Position> expected_; // where the record after the last one may be
    std::chrono::steady_clock::time_point lastByte_{};
    std::chrono::steady_clock::time_point lastAck_{};
    bool ackWritten_ = false;
};

} // namespace fw::sim
