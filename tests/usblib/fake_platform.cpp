#include "fake_platform.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace fw::usb::test {

namespace {

class FakeList final : public DeviceList {
public:
    explicit FakeList(FakePlatform& platform) : m_platform(platform) {}
    ~FakeList() override { m_platform.listReleased(); }

    bool device(int i) override
    {
        if (i < 0 || static_cast<std::size_t>(i) >= m_platform.printers.size()) {
            m_platform.setLastError(m_platform.enumerationEnd);
            return false;
        }
        m_current = static_cast<std::size_t>(i);
        return true;
    }

    bool instanceId(char* id, std::size_t size) override
    {
        const auto& text = m_platform.printers[m_current].instanceId;
        if (!text || text->size() + 1 > size) {
            m_platform.setLastError(13);
            return false;
        }
        std::memcpy(id, text->c_str(), text->size() + 1);
        return true;
    }

    bool interfacePath(int i, std::string& path) override
    {
        m_platform.allocate("interfacePath");
        if (i < 0 || static_cast<std::size_t>(i) >= m_platform.printers.size()) {
            m_platform.setLastError(kErrorNoMoreItems);
            return false;
        }
        const auto& text = m_platform.printers[static_cast<std::size_t>(i)].path;
        if (!text)
            return false;
        path = *text;
        return true;
    }

private:
    FakePlatform& m_platform;
    std::size_t m_current = 0;
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
        m_lastError = 13;
        return nullptr;
    }
    ++m_liveLists;
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
        m_lastError = pipeError;
        return kInvalidHandle;
    }
    const Handle pipe = m_nextPipe++;
    m_openPipes.insert(pipe);
    return pipe;
}

void FakePlatform::closePipe(Handle pipe)
{
    allocate("closePipe");
    if (!m_openPipes.erase(pipe))
        throw std::logic_error("closing a pipe that is not open");
}

Event FakePlatform::createEvent()
{
    if (eventsBeforeFailure >= 0 && m_eventsCreated >= eventsBeforeFailure) {
        m_lastError = 8;
        return kNoEvent;
    }
    ++m_eventsCreated;
    const Event event = m_nextEvent++;
    m_events.insert(event);
    return event;
}

void FakePlatform::closeEvent(Event event)
{
    if (!m_events.erase(event))
        throw std::logic_error("closing an event that does not exist");
}

Issue FakePlatform::startWrite(Handle pipe, Event event, const std::uint8_t* data, std::uint32_t count,
                               std::uint32_t& moved)
{
    if (!m_openPipes.count(pipe) || !m_events.count(event) || m_writePending)
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
        m_writePending = true;
        m_writeStep = step;
        m_writeData = data;
        m_writeCount = count;
    }
    return step.issue;
}

Collect FakePlatform::finishWrite(Handle, std::uint32_t& moved)
{
    moved = 0;
    if (!m_writePending)
        throw std::logic_error("collecting a write that is not pending");
    if (m_writeStep.collect == Collect::Incomplete)
        return Collect::Incomplete;
    m_writePending = false;
    if (m_writeStep.collect == Collect::Done) {
        moved = std::min(m_writeStep.moved, m_writeCount);
        sent.insert(sent.end(), m_writeData, m_writeData + moved);
    }
    return m_writeStep.collect;
}

std::uint32_t FakePlatform::deliver(std::uint8_t* buffer, std::uint32_t size, const std::vector<std::uint8_t>& data)
{
    const auto n = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(data.size()));
    std::copy_n(data.begin(), n, buffer);
    return n;
}

Issue FakePlatform::startRead(Handle pipe, Event event, std::uint8_t* buffer, std::uint32_t size,
                              std::uint32_t& moved)
{
    if (!m_openPipes.count(pipe) || !m_events.count(event) || m_readPending)
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
        m_readPending = true;
        m_readStep = step;
        m_readBuffer = buffer;
        m_readSize = size;
    }
    return step.issue;
}

Wait FakePlatform::waitRead(Handle, Event, int timeoutMs)
{
    lastWaitMs = timeoutMs;
    return m_readStep.wait;
}

Collect FakePlatform::finishRead(Handle, std::uint32_t& moved)
{
    moved = 0;
    if (!m_readPending)
        throw std::logic_error("collecting a read that is not pending");
    if (m_readStep.collect == Collect::Incomplete)
        return Collect::Incomplete;
    m_readPending = false;
    if (m_readStep.collect == Collect::Done)
        moved = deliver(m_readBuffer, m_readSize, m_readStep.data);
    return m_readStep.collect;
}

Collect FakePlatform::withdrawRead(Handle, std::uint32_t& moved)
{
    ++withdrawals;
    moved = 0;
    if (m_readPending && m_readStep.withdrawn == Collect::Done)
        moved = deliver(m_readBuffer, m_readSize, m_readStep.data);
    m_readPending = false;
    m_readBuffer = nullptr;
    return m_readStep.withdrawn;
}

} // namespace fw::usb::test
