#include "connection.h"

#include "diagnostics.h"

#include <cstdio>
#include <cstring>

namespace fw::usb {

namespace {

// GetOverlappedResult with a wait should never answer "incomplete"; should a
// platform keep doing so, the transfer ends instead of spinning.
constexpr int kMaxIncompleteAnswers = 100;

} // namespace

std::int32_t Connection::open(const char* path)
{
    // A second open without usb_close would strand the first pipes (and with
    // a single-opener driver, make this open fail): release them first.
    close();

    Status status = kStatusSuccess;
    const std::size_t length = path ? strnlen(path, kPipeNameSize) : 0;
    const char* base = path ? path : "";
    std::uint32_t error = 0;

    if (length + sizeof "\\PIPE01" > kPipeNameSize) {
        // The pipe names would not fit: fail as an open of a missing pipe does.
        error = platform_.nameTooLongError();
    } else {
        char readName[kPipeNameSize];
        char writeName[kPipeNameSize];
        std::snprintf(readName, sizeof readName, "%s\\PIPE01", base);
        std::snprintf(writeName, sizeof writeName, "%s\\PIPE00", base);

        pipeIn_ = platform_.openPipe(readName, Direction::Read);
        if (pipeIn_ == kInvalidHandle)
            error = platform_.lastError();
        pipeOut_ = platform_.openPipe(writeName, Direction::Write);
        if (pipeOut_ == kInvalidHandle)
            error = platform_.lastError();
    }

    if (pipeIn_ != kInvalidHandle && pipeOut_ != kInvalidHandle) {
        readOverlap_ = {};
        writeOverlap_ = {};
        readOverlap_.hEvent = platform_.createEvent();
        if (readOverlap_.hEvent != kNoEvent)
            writeOverlap_.hEvent = platform_.createEvent();
        if (readOverlap_.hEvent == kNoEvent || writeOverlap_.hEvent == kNoEvent) {
            status = kStatusDriverError;
        } else {
            readEventLine(readOverlap_.hEvent).print();
            writeEventLine(writeOverlap_.hEvent).print();
        }
    } else {
        // Whichever pipe did open is released, with any event.
        close();
        lastErrorLine(error).print();
        status = static_cast<Status>(error & 0xFFFFu);
        if (status == kStatusSuccess)
            status = kStatusIoError; // a pipe did not open, whatever the code says
    }

    if (status != kStatusSuccess) {
        openFailedLine(status).print();
        return -1;
    }
    // What the printer sent before this open (acknowledgements an earlier
    // session never read, or that came after it gave up) answers nothing
    // written after it.
    platform_.discardReceived(pipeIn_, readOverlap_.hEvent);
    totalWritten_ = 0;
    return 0;
}

std::int32_t Connection::write(const std::uint8_t* data, std::int32_t length)
{
    if (length > kBlockSize || length < 0)
        return -1;

    const std::uint8_t* staged = writeBuffer_;
    if (length > 0) {
        if (data != nullptr)
            std::memcpy(writeBuffer_, data, static_cast<std::size_t>(length));
        else
            staged = nullptr; // reported by the pipe write as not initialised
    }

    std::int32_t written = 0;
    const Status status = pipeWrite(staged, length, written);
    if (failed(status)) {
        writeFailedLine(status).print();
        return -1;
    }
    if (written != length) {
        writeShortLine().print();
        return -1;
    }

    totalWritten_ += length;
    writtenLine(length, totalWritten_).print();
    byteDumpLine(writeBuffer_, static_cast<std::size_t>(length)).print();
    return 0;
}

Status Connection::pipeWrite(const std::uint8_t* buffer, std::int32_t count, std::int32_t& written)
{
    if (pipeOut_ == kInvalidHandle) {
        noWritePipeLine().print();
        return kStatusInvalidHandle;
    }
    if (buffer == nullptr) {
        notInitializedLine().print();
        return kStatusNotInitialized;
    }
    if (writeOverlap_.hEvent == kNoEvent) {
        noWriteEventLine().print();
        return kStatusDriverError;
    }
    if (count <= 0) {
        written = count;
        return kStatusSuccess;
    }

    // A failed attempt is not retried: the write ends with what was sent, so
    // a device that keeps failing cannot hold the caller.
    written = 0;
    while (written < count) {
        std::uint32_t moved = 0;
        bool attemptFailed = false;
        const Issue issued =
            platform_.startWrite(pipeOut_, writeOverlap_.hEvent, buffer + written,
                                 static_cast<std::uint32_t>(count - written), moved);
        if (issued == Issue::Pending) {
            Collect collected = Collect::Incomplete;
            for (int i = 0; i < kMaxIncompleteAnswers && collected == Collect::Incomplete; ++i)
                collected = platform_.finishWrite(pipeOut_, moved);
            if (collected != Collect::Done) {
                writeIncompleteLine().print();
                attemptFailed = true;
            }
        } else if (issued == Issue::Failed) {
            moved = 0;
            attemptFailed = true;
        }
        if (moved > static_cast<std::uint32_t>(count - written))
            moved = static_cast<std::uint32_t>(count - written);
        written += static_cast<std::int32_t>(moved);
        // An attempt that moves nothing would be repeated forever.
        if (attemptFailed || moved == 0)
            break;
    }
    return kStatusSuccess;
}

std::int32_t Connection::read(std::uint8_t* buffer)
{
    if (buffer == nullptr)
        return -1;

    std::memset(readBuffer_, 0, sizeof readBuffer_);
    std::uint32_t received = 0;
    if (failed(pipeRead(readBuffer_, sizeof readBuffer_, received)))
        return -1;
    if (received == 0)
        return 0;
    if (received > sizeof readBuffer_)
        received = sizeof readBuffer_;

    std::memcpy(buffer, readBuffer_, received);
    readLengthLine(received).print();
    byteDumpLine(readBuffer_, received).print();
    return static_cast<std::int32_t>(received);
}

Status Connection::pipeRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& received)
{
    received = 0;
    if (pipeIn_ == kInvalidHandle)
        return kStatusInvalidHandle;
    if (buffer == nullptr || size == 0)
        return kStatusNotInitialized;
    // Pipes without events are what an open that failed left behind: fail
    // before issuing anything, so nothing can stay outstanding.
    if (readOverlap_.hEvent == kNoEvent || writeOverlap_.hEvent == kNoEvent)
        return kStatusDriverError;

    const Issue issued = platform_.startRead(pipeIn_, readOverlap_.hEvent, buffer, size, received);
    if (issued == Issue::Done)
        return kStatusSuccess;
    if (issued == Issue::Failed) {
        received = 0;
        return kStatusIoError;
    }

    switch (platform_.waitRead(pipeIn_, readOverlap_.hEvent, receiveTimeoutMs_)) {
    case Wait::Signalled:
        switch (platform_.finishRead(pipeIn_, received)) {
        case Collect::Done: return kStatusSuccess;
        case Collect::Incomplete:
            // Still running: take it back so it cannot land later.
            withdrawRead(received);
            return kStatusSuccess;
        case Collect::Failed: received = 0; return kStatusIoError;
        }
        break;
    case Wait::TimedOut:
        // The answer may have come in just before the read was withdrawn.
        if (withdrawRead(received))
            return kStatusSuccess;
        receiveTimeoutLine().print();
        return kStatusReceiveTimeout;
    case Wait::Other: break;
    }
    withdrawRead(received);
    return kStatusSuccess;
}

// Takes back the pending read; true when it had finished with bytes first,
// which are then the answer (dropping them could lose an acknowledgement).
bool Connection::withdrawRead(std::uint32_t& received)
{
    received = 0;
    std::uint32_t moved = 0;
    if (platform_.withdrawRead(pipeIn_, moved) != Collect::Done || moved == 0)
        return false;
    received = moved;
    return true;
}

std::int32_t Connection::close()
{
    if (pipeIn_ != kInvalidHandle)
        platform_.closePipe(pipeIn_);
    if (pipeOut_ != kInvalidHandle)
        platform_.closePipe(pipeOut_);
    pipeIn_ = kInvalidHandle;
    pipeOut_ = kInvalidHandle;
    closeEvents();
    return 0;
}

void Connection::closeEvents()
{
    if (readOverlap_.hEvent != kNoEvent)
        platform_.closeEvent(readOverlap_.hEvent);
    if (writeOverlap_.hEvent != kNoEvent)
        platform_.closeEvent(writeOverlap_.hEvent);
    readOverlap_ = {};
    writeOverlap_ = {};
}

} // namespace fw::usb
