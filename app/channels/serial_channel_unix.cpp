#include "channels/serial_channel.h"

#include "channels/serial_port_names.h"

#include <QFileInfo>
#include <QSerialPort>
#include <QSerialPortInfo>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <limits>
#include <poll.h>
#include <unistd.h>

namespace fw {

namespace {

// The port's stock input buffer, and what one read of the descriptor takes.
constexpr qint64 kReadBufferSize = 1024;
// A write hands the record to the port; it must leave within this time.
constexpr int kWriteTimeoutMs = 5000;

QSerialPort::Parity parityOf(char letter)
{
    switch (letter) {
    case 'E': return QSerialPort::EvenParity;
    case 'O': return QSerialPort::OddParity;
    case 'M': return QSerialPort::MarkParity;
    case 'S': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

QSerialPort::StopBits stopBitsOf(int stopBits)
{
    return stopBits == 2 ? QSerialPort::TwoStop : QSerialPort::OneStop;
}

Result portFault(QSerialPort& port, const char* what, const std::string& portName)
{
    const std::string reason = port.errorString().toStdString();
    port.clearError();
    return Result::failure(std::string(what) + " on " + portName + ": " + reason);
}

} // namespace

struct SerialChannel::Port : QSerialPort {
    std::vector<std::uint8_t> early; // read by waitingCount(), not yet by read()
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
        port_->close();
    port_->early.clear();
}

Result SerialChannel::open(const ChannelSettings& settings)
{
    close();
    if (const Result usable = prepareOpen(settings); !usable.ok())
        return usable;

    // Input mode binary: QSerialPort never translates bytes.
    port_->setPortName(QString::fromStdString(device_));
    const SerialLine& line = settings.line;
    port_->setBaudRate(line.baud);
    port_->setParity(parityOf(line.parity));
    port_->setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits));
    port_->setStopBits(stopBitsOf(line.stopBits));
    port_->setFlowControl(QSerialPort::NoFlowControl);
    port_->setReadBufferSize(kReadBufferSize);

    if (port_->open(QIODevice::ReadWrite))
        return Result::success();

    const auto error = port_->error();
    std::string reason = port_->errorString().toStdString();
    port_->clearError();
    std::string text = "Cannot open the serial port " + portName_;
    if (device_ != portName_)
        text += " (" + device_ + ")";
    text += ": " + reason + ".";
    if (error == QSerialPort::PermissionError) {
        if (::access(device_.c_str(), R_OK | W_OK) != 0)
            text += " Your user may not use serial ports: join the 'dialout' group "
                    "(sudo usermod -aG dialout $USER) and log in again.";
        else
            text += " The port is in use by another program.";
    }
    return Result::failure(text);
}

Result SerialChannel::write(std::span<const std::uint8_t> bytes)
{
    if (!port_->isOpen())
        return notOpen();
    if (bytes.empty())
        return Result::success();
    // Straight to the port's descriptor (non-blocking): QSerialPort::write()
    // would queue the record and arm a write notifier that the window's event
    // processing then services and disarms, for every record.
    const int fd = static_cast<int>(port_->handle());
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    const std::uint8_t* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, at, left);
        if (n > 0) {
            at += n;
            left -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return Result::failure("Write failed on " + portName_ + ": " + std::strerror(errno));
        // The line's output buffer is full: wait for room.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (wait.count() <= 0)
            return Result::failure("Write failed on " + portName_ + ": Operation timed out");
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR)
            return Result::failure("Write failed on " + portName_ + ": " + std::strerror(errno));
    }
    return Result::success();
}

// The port's descriptor is read directly, as it is written: QSerialPort's
// wait would take each acknowledgement through its ring buffer and a signal.
// Bytes it gathered itself while the window processed events come first.
Result SerialChannel::waitingCount(int& count, std::chrono::milliseconds slice)
{
    count = 0;
    if (!port_->isOpen())
        return notOpen();
    std::vector<std::uint8_t>& early = port_->early;
    if (early.empty() && port_->bytesAvailable() == 0) {
        // Sleeps in the system until a byte comes or the slice is over; what
        // came is kept for read().
        const int fd = static_cast<int>(port_->handle());
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1,
                                 static_cast<int>(std::min<std::int64_t>(
                                     slice.count(), std::numeric_limits<int>::max())));
        if (ready < 0 && errno != EINTR)
            return Result::failure("Read failed on " + portName_ + ": " + std::strerror(errno));
        if (ready > 0) {
            std::uint8_t buffer[kReadBufferSize];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                early.insert(early.end(), buffer, buffer + n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return Result::failure("Read failed on " + portName_ + ": " +
                                       (n == 0 ? "The device is gone" : std::strerror(errno)));
        }
    }
    const std::int64_t available =
        static_cast<std::int64_t>(early.size()) + std::max<qint64>(port_->bytesAvailable(), 0);
    count = available > 0x7fff ? 0x7fff : static_cast<int>(available);
    return Result::success();
}

Result SerialChannel::read(std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    if (!port_->isOpen())
        return notOpen();
    // What this channel read first, then what QSerialPort gathered after it;
    // the caller's buffer keeps its room from one acknowledgement to the next.
    bytes.swap(port_->early);
    port_->early.clear();
    const qint64 gathered = port_->bytesAvailable();
    if (gathered <= 0)
        return Result::success();
    const std::size_t before = bytes.size();
    bytes.resize(before + static_cast<std::size_t>(gathered));
    const qint64 got = port_->read(reinterpret_cast<char*>(bytes.data() + before), gathered);
    bytes.resize(before + static_cast<std::size_t>(std::max<qint64>(got, 0)));
    if (got < 0)
        return portFault(*port_, "Read failed", portName_);
    return Result::success();
}

void SerialChannel::discardInput()
{
    if (!port_->isOpen())
        return;
    port_->early.clear();
    if (const qint64 gathered = port_->bytesAvailable(); gathered > 0)
        port_->skip(gathered);
    // One read of the descriptor, which has nothing to give as a rule: a
    // tcflush per record would cost a quarter of the line's speed.
    std::uint8_t buffer[kReadBufferSize];
    while (::read(static_cast<int>(port_->handle()), buffer, sizeof buffer) > 0) {
    }
}

SerialPortDetails describeSerialPort(const std::string& device)
{
    SerialPortDetails d;
    const QString wanted = QFileInfo(QString::fromStdString(device)).canonicalFilePath();
    if (wanted.isEmpty())
        return d;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        if (QFileInfo(info.systemLocation()).canonicalFilePath() != wanted)
            continue;
        d.description = info.description().toStdString();
        d.manufacturer = info.manufacturer().toStdString();
        d.serialNumber = info.serialNumber().toStdString();
        break;
    }
    return d;
}

} // namespace fw
