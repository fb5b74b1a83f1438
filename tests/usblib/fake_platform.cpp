#include "fake_platform.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace fw::usb::test {

namespace {

class FakeList final : public DeviceList {
public:
    explicit FakeList(FakePlatform& platform) : platform_(platform) {}
    ~FakeList() override { platform_.listReleased(); }

    Member device(int i) override
    {
        if (i < 0 || static_cast<std::size_t>(i) >= platform_.printers.size())
            return platform_.enumerationEnd;
        current_ = static_cast<std::size_t>(i);
        return Member::Found;
    }

    bool instanceId(char* id, std::size_t size) override
    {
        const auto& text = platform_.printers[current_].instanceId;
        if (!text || text->size() + 1 > size) {
            platform_.setLastError(13);
            return false;
        }
        std::memcpy(id, text->c_str(), text->size() + 1);
        return true;
    }

    bool interfacePath(int i, std::string& path) override
    {
        platform_.allocate("interfacePath");
        if (i < 0 || static_cast<std::size_t>(i) >= platform_.printers.size()) {
            platform_.setLastError(2);
            return false;
        }
        const auto& text = platform_.printers[static_cast<std::size_t>(i)].path;
        if (!text)
            return false;
        path = *text;
        return true;
    }

private:
    FakePlatform& platform_;
    std::size_t current_ = 0;
};

} // namespace

void FakePlatform::allocate(const char* call)
{
    if (outOfMemoryIn == call && outOfMemoryAfter-- == 0)
        throw std::bad_alloc();
}

std::unique_ptr<DeviceList> FakePlatform::devices()
{
    allocate("devices");
    if (refuseList) {
        lastError_ = 13;
        return nullptr;
    }
    ++liveLists_;
    return std::make_unique<FakeList>(*this);
}

bool FakePlatform::testOpen(const char* path)
{
    for (const FakeDevice& device : printers) {
        if (device.path && *device.path == path)
            return device.openable;
    }
    return false;
}

Handle FakePlatform::openPipe(const char* path, Direction)
{
    allocate("openPipe");
    openedPipes.emplace_back(path);
    if (missingPipes.count(path)) {
        lastError_ = pipeError;
        return kInvalidHandle;
    }
    const Handle pipe = nextPipe_++;
    openPipes_.insert(pipe);
    return pipe;
}

void FakePlatform::closePipe(Handle pipe)
{
    allocate("closePipe");
    if (!openPipes_.erase(pipe))
        throw std::logic_error("closing a pipe that is not open");
}

Event FakePlatform::createEvent()
{
    if (eventsBeforeFailure >= 0 && eventsCreated_ >= eventsBeforeFailure) {
        lastError_ = 8;
        return kNoEvent;
    }
    ++eventsCreated_;
    const Event event = nextEvent_++;
    events_.insert(event);
    return event;
}

void FakePlatform::closeEvent(Event event)
{
    if (!events_.erase(event))
        throw std::logic_error("closing an event that does not exist");
}

Issue FakePlatform::startWrite(Handle pipe, Event event, const std::uint8_t* data,
                               std::uint32_t count, std::uint32_t& moved)
{
    if (!openPipes_.count(pipe) || !events_.count(event) || writePending_)
        throw std::logic_error("write issued on a closed pipe or over a pending one");
    allocate("startWrite");
    ++writeAttempts;
    WriteStep step;
    if (!writes.empty()) {
        step = writes.front();
        writes.pop_front();
    }
    moved = 0;
    if (step.issue == Issue::Done) {
        moved = std::min(step.moved, count);
        sent.insert(sent.end(), data, data + moved);
    } else if (step.issue == Issue::Pending) {
        writePending_ = true;
        writeStep_ = step;
        writeData_ = data;
        writeCount_ = count;
    }
    return step.issue;
}

Collect FakePlatform::finishWrite(Handle, std::uint32_t& moved)
{
    moved = 0;
    if (!writePending_)
        throw std::logic_error("collecting a write that is not pending");
    if (writeStep_.collect == Collect::Incomplete)
        return Collect::Incomplete;
    writePending_ = false;
    if (writeStep_.collect == Collect::Done) {
        moved = std::min(writeStep_.moved, writeCount_);
        sent.insert(sent.end(), writeData_, writeData_ + moved);
    }
    return writeStep_.collect;
}

std::uint32_t FakePlatform::deliver(std::uint8_t* buffer, std::uint32_t size,
                                    const std::vector<std::uint8_t>& data)
{
    const auto n = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(data.size()));
    std::copy_n(data.begin(), n, buffer);
    return n;
}

Issue FakePlatform::startRead(Handle pipe, Event event, std::uint8_t* buffer, std::uint32_t size,
                              std::uint32_t& moved)
{
    if (!openPipes_.count(pipe) || !events_.count(event) || readPending_)
        throw std::logic_error("read issued on a closed pipe or over a pending one");
    allocate("startRead");
    ++readRequests;
    ReadStep step;
    if (!reads.empty()) {
        step = reads.front();
        reads.pop_front();
    }
    moved = 0;
    if (step.issue == Issue::Done) {
        moved = deliver(buffer, size, step.data);
    } else if (step.issue == Issue::Pending) {
        readPending_ = true;
        readStep_ = step;
        readBuffer_ = buffer;
        readSize_ = size;
    }
    return step.issue;
}

Wait FakePlatform::waitRead(Handle, Event, int timeoutMs)
{
    lastWaitMs = timeoutMs;
    return readStep_.wait;
}

Collect FakePlatform::finishRead(Handle, std::uint32_t& moved)
{
    moved = 0;
    if (!readPending_)
        throw std::logic_error("collecting a read that is not pending");
    if (readStep_.collect == Collect::Incomplete)
        return Collect::Incomplete;
    readPending_ = false;
    if (readStep_.collect == Collect::Done)
        moved = deliver(readBuffer_, readSize_, readStep_.data);
    return readStep_.collect;
}

void FakePlatform::discardReceived(Handle pipe, Event event)
{
    if (!openPipes_.count(pipe) || !events_.count(event) || readPending_)
        throw std::logic_error("input discarded on a closed pipe or over a pending read");
    ++discards;
}

Collect FakePlatform::withdrawRead(Handle, std::uint32_t& moved)
{
    ++withdrawals;
    moved = 0;
    if (readPending_ && readStep_.withdrawn == Collect::Done)
        moved = deliver(readBuffer_, readSize_, readStep_.data);
    readPending_ = false;
    readBuffer_ = nullptr;
    return readStep_.withdrawn;
}

} // namespace fw::usb::test
