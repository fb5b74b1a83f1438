#include "connection.h"

#include <cstdio>
#include <cstring>

namespace fw::usb {

namespace {

// A failing status printed as the 32-bit value it widens to (0x8010 shows as ffff8010).
unsigned widened(Status status)
{
    return static_cast<unsigned>(static_cast<std::int32_t>(status));
}

// GetOverlappedResult with a wait should never answer "incomplete"; should a
// platform keep doing so, the transfer ends instead of spinning.
constexpr int kMaxIncompleteAnswers = 100;

} // namespace

std::int32_t Connection::open(const char* path)
{
    // A second open without usb_close would strand the first pipes (and with
    // a single-opener driver, make this open fail): release them first.
    close();

    Status status = FC_SUCCESS;
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

        hPipeIn_ = platform_.openPipe(readName, Direction::Read);
        if (hPipeIn_ == kInvalidHandle)
            error = platform_.lastError();
        hPipeOut_ = platform_.openPipe(writeName, Direction::Write);
        if (hPipeOut_ == kInvalidHandle)
            error = platform_.lastError();
    }

    if (hPipeIn_ != kInvalidHandle && hPipeOut_ != kInvalidHandle) {
        osRead_ = {};
        osWrite_ = {};
        osRead_.hEvent = platform_.createEvent();
        if (osRead_.hEvent != kNoEvent)
            osWrite_.hEvent = platform_.createEvent();
        if (osRead_.hEvent == kNoEvent || osWrite_.hEvent == kNoEvent) {
            status = FC_DRIVER_ERROR;
        } else {
            std::printf("m_osRead.hEvent  = (%x) \n", static_cast<unsigned>(osRead_.hEvent));
            std::printf("m_osWrite.hEvent = (%x) \n", static_cast<unsigned>(osWrite_.hEvent));
        }
    } else {
        // Whichever pipe did open is released, with any event.
        close();
        std::printf("GetLastError() Err = %d \n", static_cast<int>(error));
        status = static_cast<Status>(error & 0xFFFFu);
        if (status == FC_SUCCESS)
            status = FC_IO_ERROR; // a pipe did not open, whatever the code says
    }

    if (status != FC_SUCCESS) {
        std::printf("usb_Open() ERR = 0x%02x \n", widened(status));
        return -1;
    }
    // What the printer sent before this open (acknowledgements an earlier
    // session never read, or that came after it gave up) answers nothing
    // written after it.
    platform_.discardReceived(hPipeIn_, osRead_.hEvent);
    nTotalWritten_ = 0;
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
        std::printf("-E- Write operation to device failed (Err = 0x%02x) \n", widened(status));
        return -1;
    }
    if (written != length) {
        std::printf("-E- Write operation to device failed\n");
        return -1;
    }

    nTotalWritten_ += length;
    std::printf("write length = %d (%d) \n", length, nTotalWritten_);
    for (std::int32_t i = 0; i < length; ++i)
        std::printf("[0x%02X]", writeBuffer_[i]);
    std::printf("\n");
    return 0;
}

Status Connection::pipeWrite(const std::uint8_t* buffer, std::int32_t count, std::int32_t& written)
{
    if (hPipeOut_ == kInvalidHandle) {
        std::printf("m_hPipeOut Invalid Handle \n");
        return FC_INVALID_HANDLE;
    }
    if (buffer == nullptr) {
        std::printf("FC_NOT_INITIALIZED \n");
        return FC_NOT_INITIALIZED;
    }
    if (osWrite_.hEvent == kNoEvent) {
        std::printf("FC_DRIVER_ERROR (hEvent = Null) \n");
        return FC_DRIVER_ERROR;
    }
    if (count <= 0) {
        written = count;
        return FC_SUCCESS;
    }

    // A failed attempt is not retried: the write ends with what was sent, so
    // a device that keeps failing cannot hold the caller.
    written = 0;
    while (written < count) {
        std::uint32_t moved = 0;
        bool attemptFailed = false;
        const Issue issued =
            platform_.startWrite(hPipeOut_, osWrite_.hEvent, buffer + written,
                                 static_cast<std::uint32_t>(count - written), moved);
        if (issued == Issue::Pending) {
            Collect collected = Collect::Incomplete;
            for (int i = 0; i < kMaxIncompleteAnswers && collected == Collect::Incomplete; ++i)
                collected = platform_.finishWrite(hPipeOut_, moved);
            if (collected != Collect::Done) {
                std::printf("IO ERROR_IO_INCOMPLETE...\n");
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
    return FC_SUCCESS;
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
    std::printf("read length = %d \n", static_cast<int>(received));
    for (std::uint32_t i = 0; i < received; ++i)
        std::printf("[0x%02X]", readBuffer_[i]);
    std::printf("\n");
    return static_cast<std::int32_t>(received);
}

Status Connection::pipeRead(std::uint8_t* buffer, std::uint32_t size, std::uint32_t& received)
{
    received = 0;
    if (hPipeIn_ == kInvalidHandle)
        return FC_INVALID_HANDLE;
    if (buffer == nullptr || size == 0)
        return FC_NOT_INITIALIZED;
    // Pipes without events are what an open that failed left behind: fail
    // before issuing anything, so nothing can stay outstanding.
    if (osRead_.hEvent == kNoEvent || osWrite_.hEvent == kNoEvent)
        return FC_DRIVER_ERROR;

    const Issue issued = platform_.startRead(hPipeIn_, osRead_.hEvent, buffer, size, received);
    if (issued == Issue::Done)
        return FC_SUCCESS;
    if (issued == Issue::Failed) {
        received = 0;
        return FC_IO_ERROR;
    }

    switch (platform_.waitRead(hPipeIn_, osRead_.hEvent, receiveTimeoutMs_)) {
    case Wait::Signalled:
        switch (platform_.finishRead(hPipeIn_, received)) {
        case Collect::Done: return FC_SUCCESS;
        case Collect::Incomplete:
            // Still running: take it back so it cannot land later.
            withdrawRead(received);
            return FC_SUCCESS;
        case Collect::Failed: received = 0; return FC_IO_ERROR;
        }
        break;
    case Wait::TimedOut:
        // The answer may have come in just before the read was withdrawn.
        if (withdrawRead(received))
            return FC_SUCCESS;
        std::printf("receive time over \n");
        return FC_RECEIVE_TIMEOUT;
    case Wait::Other: break;
    }
    withdrawRead(received);
    return FC_SUCCESS;
}

// Takes back the pending read; true when it had finished with bytes first,
// which are then the answer (dropping them could lose an acknowledgement).
bool Connection::withdrawRead(std::uint32_t& received)
{
    received = 0;
    std::uint32_t moved = 0;
    if (platform_.withdrawRead(hPipeIn_, moved) != Collect::Done || moved == 0)
        return false;
    received = moved;
    return true;
}

std::int32_t Connection::close()
{
    if (hPipeIn_ != kInvalidHandle)
        platform_.closePipe(hPipeIn_);
    if (hPipeOut_ != kInvalidHandle)
        platform_.closePipe(hPipeOut_);
    hPipeIn_ = kInvalidHandle;
    hPipeOut_ = kInvalidHandle;
    closeEvents();
    return 0;
}

void Connection::closeEvents()
{
    if (osRead_.hEvent != kNoEvent)
        platform_.closeEvent(osRead_.hEvent);
    if (osWrite_.hEvent != kNoEvent)
        platform_.closeEvent(osWrite_.hEvent);
    osRead_ = {};
    osWrite_ = {};
}

} // namespace fw::usb
