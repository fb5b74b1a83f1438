// The serial channel on Windows: COMn through the communications functions.
// The port is opened for plain (not overlapped) I/O; its time-outs make each
// read either return at once or wait for the first byte, so polling the
// waiting count sleeps in the system instead of spinning.

#include "channels/serial_channel.h"

#include "channels/serial_port_names.h"
#include "base/windows_error_text.h"

#include <windows.h>

#include <algorithm>
#include <chrono>

namespace fw {

namespace {

// The port's stock buffers: 1024 bytes in, 512 out.
constexpr DWORD kInputBuffer = 1024;
constexpr DWORD kOutputBuffer = 512;
// A write hands the record to the port; it must leave within this time on
// top of what the line needs for its bytes.
constexpr DWORD kWriteTimeoutMs = 5000;

BYTE parityOf(char letter)
{
    switch (letter) {
    case 'E': return EVENPARITY;
    case 'O': return ODDPARITY;
    case 'M': return MARKPARITY;
    case 'S': return SPACEPARITY;
    default: return NOPARITY;
    }
}

Result<> fault(const char* what, const std::string& portName)
{
    const DWORD code = GetLastError();
    return Result<>::failure(std::string(what) + " on " + portName + ": " + windowsErrorText(code) +
                             ".");
}

} // namespace

struct SerialChannel::Port {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // A byte taken in while waiting for one; handed out first by read().
    std::vector<std::uint8_t> early;
    // The read time-outs now set: 0 for reads that return at once, else the
    // longest wait for a first byte.
    DWORD readWait = MAXDWORD;
    DWORD writeMsPerByte = 1;

    bool isOpen() const { return handle != INVALID_HANDLE_VALUE; }

    bool setTimeouts(DWORD wait)
    {
        if (wait == readWait)
            return true;
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        // MAXDWORD, MAXDWORD, n: return what is there, else wait up to n ms
        // for the first byte. MAXDWORD, 0, 0: return what is there at once.
        t.ReadTotalTimeoutMultiplier = wait ? MAXDWORD : 0;
        t.ReadTotalTimeoutConstant = wait;
        t.WriteTotalTimeoutMultiplier = writeMsPerByte;
        t.WriteTotalTimeoutConstant = kWriteTimeoutMs;
        if (!SetCommTimeouts(handle, &t))
            return false;
        readWait = wait;
        return true;
    }

    // Bytes the system holds for us, not counting `early`.
    bool queued(DWORD& count)
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(handle, &errors, &status))
            return false;
        count = status.cbInQue;
        return true;
    }
};

SerialChannel::SerialChannel(std::string programDir)
    : programDir_(std::move(programDir)), port_(std::make_unique<Port>())
{}

SerialChannel::~SerialChannel()
{
    close();
}

bool SerialChannel::isOpen() const
{
    return port_->isOpen();
}

void SerialChannel::close()
{
    if (port_->isOpen())
        CloseHandle(port_->handle);
    port_->handle = INVALID_HANDLE_VALUE;
    port_->early.clear();
    port_->readWait = MAXDWORD;
}

Result<> SerialChannel::open(const ChannelSettings& settings)
{
    close();
    if (const Result<> usable = prepareOpen(settings); !usable.ok())
        return usable;
    const SerialLine& line = settings.line;

    // The device namespace reaches COM10 and above as well.
    const std::wstring name = L"\\\\.\\" + wideFromUtf8(device_);
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        std::string text =
            "Cannot open the serial port " + portName_ + ": " + windowsErrorText(code) + ".";
        if (code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION)
            text += " The port is in use by another program.";
        return Result<>::failure(text);
    }
    port_->handle = h;

    // Input mode binary, the hand-shake asked for (none as a rule), the stock
    // buffers; the rest of the line as the system has it.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    bool ok = SetupComm(h, kInputBuffer, kOutputBuffer) && GetCommState(h, &dcb);
    if (ok) {
        dcb.BaudRate = static_cast<DWORD>(line.baud);
        dcb.ByteSize = static_cast<BYTE>(line.dataBits);
        dcb.Parity = parityOf(line.parity);
        dcb.StopBits = line.stopBits == 2 ? TWOSTOPBITS : ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = dcb.Parity != NOPARITY;
        // A byte with a parity error reads as '?'.
        dcb.fErrorChar = dcb.Parity != NOPARITY;
        dcb.ErrorChar = '?';
        const Handshake hs = line.handshake;
        dcb.fOutxCtsFlow = hs == Handshake::RtsCts;
        dcb.fOutxDsrFlow = hs == Handshake::DtrDsr;
        dcb.fDtrControl = hs == Handshake::DtrDsr ? DTR_CONTROL_HANDSHAKE : DTR_CONTROL_ENABLE;
        dcb.fRtsControl = hs == Handshake::RtsCts ? RTS_CONTROL_HANDSHAKE : RTS_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        ok = SetCommState(h, &dcb);
    }
    // Time enough for each byte at this speed (ten bits a byte), twice over.
    port_->writeMsPerByte = static_cast<DWORD>(std::max(1, 20000 / line.baud + 1));
    ok = ok && port_->setTimeouts(0) && PurgeComm(h, PURGE_RXCLEAR | PURGE_TXCLEAR);
    if (!ok) {
        const DWORD code = GetLastError();
        close();
        return Result<>::failure(
            "Cannot set up the serial port " + portName_ + " as " + std::to_string(line.baud) +
            "," + line.parity + "," + std::to_string(line.dataBits) + "," +
            std::to_string(line.stopBits) + ": " + windowsErrorText(code) + ".");
    }
    return Result<>::success();
}

Result<> SerialChannel::write(std::span<const std::uint8_t> bytes)
{
    if (!port_->isOpen())
        return notOpen();
    std::size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk =
            static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(port_->handle, bytes.data() + done, chunk, &written, nullptr))
            return fault("Write failed", portName_);
        if (written == 0) {
            SetLastError(ERROR_TIMEOUT);
            return fault("Write failed", portName_);
        }
        done += written;
    }
    return Result<>::success();
}

Result<> SerialChannel::waitingCount(int& count, std::chrono::milliseconds slice)
{
    count = 0;
    if (!port_->isOpen())
        return notOpen();
    DWORD queued = 0;
    if (!port_->queued(queued))
        return fault("Read failed", portName_);
    if (queued == 0 && port_->early.empty() && slice.count() > 0) {
        // Sleeps in the system until a byte comes or the slice is over; the
        // byte is kept for read().
        const auto wait = static_cast<DWORD>(
            std::min<std::chrono::milliseconds::rep>(slice.count(), MAXDWORD - 1));
        std::uint8_t byte = 0;
        DWORD got = 0;
        if (!port_->setTimeouts(wait) || !ReadFile(port_->handle, &byte, 1, &got, nullptr))
            return fault("Read failed", portName_);
        if (got == 1)
            port_->early.push_back(byte);
        if (!port_->queued(queued))
            return fault("Read failed", portName_);
    }
    const std::size_t total = port_->early.size() + queued;
    count = total > 0x7fff ? 0x7fff : static_cast<int>(total);
    return Result<>::success();
}

Result<> SerialChannel::read(std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    if (!port_->isOpen())
        return notOpen();
    bytes.swap(port_->early);
    DWORD queued = 0;
    if (!port_->queued(queued))
        return fault("Read failed", portName_);
    if (queued == 0)
        return Result<>::success();
    if (!port_->setTimeouts(0))
        return fault("Read failed", portName_);
    const std::size_t before = bytes.size();
    bytes.resize(before + queued);
    DWORD got = 0;
    if (!ReadFile(port_->handle, bytes.data() + before, queued, &got, nullptr)) {
        bytes.resize(before);
        return fault("Read failed", portName_);
    }
    bytes.resize(before + got);
    return Result<>::success();
}

void SerialChannel::discardInput()
{
    if (!port_->isOpen())
        return;
    port_->early.clear();
    PurgeComm(port_->handle, PURGE_RXCLEAR);
}

} // namespace fw
