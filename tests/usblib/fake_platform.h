#pragma once
// A scripted platform for unit tests of the library's logic. Devices, pipe
// failures and the outcome of every write and read attempt are set up front;
// what the logic did is recorded for the test to check.

#include "platform.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace fw::usb::test {

struct FakeDevice {
    std::optional<std::string> instanceId; // nullopt: the ID cannot be read
    std::optional<std::string> path;       // nullopt: the interface detail cannot be read
    bool openable = true;
};

inline constexpr std::uint32_t kAll = UINT32_MAX;

// One write attempt: how it is issued and, when pending, how it finishes.
struct WriteStep {
    Issue issue = Issue::Done;
    std::uint32_t moved = kAll;
    Collect collect = Collect::Done;
};

// One read request.
struct ReadStep {
    Issue issue = Issue::Pending;
    std::vector<std::uint8_t> data;
    Wait wait = Wait::TimedOut;
    Collect collect = Collect::Done;
    Collect withdrawn = Collect::Failed; // Done: it finished before it could be withdrawn
};

class FakePlatform final : public Platform {
public:
    // Set up by the test.
    bool refuseList = false;
    Member enumerationEnd = Member::End; // what the list gives past its last printer
    std::vector<FakeDevice> printers;
    std::set<std::string> missingPipes;
    std::uint32_t pipeError = 2;
    int eventsBeforeFailure = -1; // events created before creation fails; -1 never fails
    std::deque<WriteStep> writes; // empty: every attempt takes everything at once
    std::deque<ReadStep> reads;   // empty: every read times out
    std::string outOfMemoryIn;    // this call throws std::bad_alloc...
    int outOfMemoryAfter = 0;     // ...after succeeding this many times

    // Recorded.
    std::vector<std::uint8_t> sent;
    std::vector<std::string> openedPipes;
    int writeAttempts = 0;
    int readRequests = 0;
    int withdrawals = 0;
    int discards = 0; // discardReceived() calls
    int lastWaitMs = -1;

    int liveLists() const { return liveLists_; }
    std::size_t openPipes() const { return openPipes_.size(); }
    std::size_t liveEvents() const { return events_.size(); }
    bool outstanding() const { return writePending_ || readPending_; }

    std::unique_ptr<DeviceList> devices() override;
    bool testOpen(const char* path) override;
    std::uint32_t lastError() override { return lastError_; }
    std::uint32_t nameTooLongError() const override { return 206; }

    Handle openPipe(const char* path, Direction direction) override;
    void closePipe(Handle pipe) override;
    Event createEvent() override;
    void closeEvent(Event event) override;

    Issue startWrite(Handle pipe, Event event, const std::uint8_t* data, std::uint32_t count,
                     std::uint32_t& moved) override;
    Collect finishWrite(Handle pipe, std::uint32_t& moved) override;
    Issue startRead(Handle pipe, Event event, std::uint8_t* buffer, std::uint32_t size,
                    std::uint32_t& moved) override;
    Wait waitRead(Handle pipe, Event event, int timeoutMs) override;
    Collect finishRead(Handle pipe, std::uint32_t& moved) override;
    void discardReceived(Handle pipe, Event event) override;
    Collect withdrawRead(Handle pipe, std::uint32_t& moved) override;

    void setLastError(std::uint32_t error) { lastError_ = error; }
    void listReleased() { --liveLists_; }
    // Where a platform may allocate: throws as set up.
    void allocate(const char* call);

private:
    std::uint32_t deliver(std::uint8_t* buffer, std::uint32_t size,
                          const std::vector<std::uint8_t>& data);

    std::uint32_t lastError_ = 0;
    int liveLists_ = 0;
    Handle nextPipe_ = 0x40;
    Event nextEvent_ = 0x1a4;
    int eventsCreated_ = 0;
    std::set<Handle> openPipes_;
    std::set<Event> events_;

    bool writePending_ = false;
    WriteStep writeStep_;
    const std::uint8_t* writeData_ = nullptr;
    std::uint32_t writeCount_ = 0;

    bool readPending_ = false;
    ReadStep readStep_;
    std::uint8_t* readBuffer_ = nullptr;
    std::uint32_t readSize_ = 0;
};

} // namespace fw::usb::test
