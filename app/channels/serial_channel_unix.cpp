// The serial channel on Linux: the tty device through termios. The port is
// opened non-blocking, so neither a missing carrier nor a full line can hold
// the program; polling the waiting count sleeps in poll().

#include "channels/serial_channel.h"

#include "channels/serial_port_names.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <csignal>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

// The kernel's line settings with a free baud rate; the C library's termios.h
// has no declaration of its own for it.
struct termios2 {
    tcflag_t c_iflag;
    tcflag_t c_oflag;
    tcflag_t c_cflag;
    tcflag_t c_lflag;
    cc_t c_line;
    cc_t c_cc[19];
    speed_t c_ispeed;
    speed_t c_ospeed;
};
#ifndef BOTHER
#define BOTHER 0010000
#endif

namespace fw {

namespace {

// What one read of the descriptor takes: the port's stock input buffer.
constexpr std::size_t kReadBufferSize = 1024;
// A write hands the record to the port; it must leave within this time.
constexpr auto kWriteTimeout = std::chrono::milliseconds(5000);
// With the DTR/DSR hand-shake the other end may stop the line between pieces
// of this size.
constexpr std::size_t kHandshakePiece = 64;
// Closing waits at most this long for the last record to leave the port.
constexpr auto kDrainLimit = std::chrono::milliseconds(1000);
// Reads of stale input per discard; a printer that never stops talking
// cannot hold the session there.
constexpr int kDiscardReads = 8;

const char* const kLockFolders[] = {"/run/lock", "/var/lock"};

speed_t standardSpeed(int baud)
{
    switch (baud) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
    }
}

tcflag_t characterSize(int dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

tcflag_t parityFlags(char letter)
{
    switch (letter) {
    case 'E': return PARENB;
    case 'O': return PARENB | PARODD;
    // Stick parity: the parity bit is always the odd flag's value.
    case 'M': return PARENB | CMSPAR | PARODD;
    case 'S': return PARENB | CMSPAR;
    default: return 0;
    }
}

// The raw line the session needs: every byte passes unchanged both ways.
termios rawLine(termios t, const SerialLine& line)
{
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | HUPCL | characterSize(line.dataBits) | parityFlags(line.parity);
    if (line.stopBits == 2)
        t.c_cflag |= CSTOPB;
    if (line.handshake == Handshake::RtsCts)
        t.c_cflag |= CRTSCTS;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (const speed_t s = standardSpeed(line.baud); s != B0) {
        ::cfsetispeed(&t, s);
        ::cfsetospeed(&t, s);
    }
    return t;
}

// A rate the standard table lacks goes to the driver as a number.
bool setOtherSpeed(int fd, int baud)
{
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0)
        return false;
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << 16));
    t.c_cflag |= BOTHER | (BOTHER << 16);
    t.c_ispeed = static_cast<speed_t>(baud);
    t.c_ospeed = static_cast<speed_t>(baud);
    return ::ioctl(fd, TCSETS2, &t) == 0;
}

std::string reasonOf(int error)
{
    return std::strerror(error);
}

// A UUCP-style lock file, LCK..<device name>, held with flock() for as long
// as the port is open: programs that look for the file and programs that
// lock it both see the port taken. Debian 12 has no lockdev library, so the
// file is handled here.
class PortLock {
public:
    enum class Outcome { Held, Taken, Unavailable };

    Outcome take(const std::string& device)
    {
        release();
        char real[PATH_MAX];
        std::string name = ::realpath(device.c_str(), real) ? real : device;
        if (name.rfind("/dev/", 0) == 0)
            name.erase(0, 5);
        std::replace(name.begin(), name.end(), '/', '_');
        for (const char* folder : kLockFolders) {
            const std::string path = std::string(folder) + "/LCK.." + name;
            const Outcome o = takeAt(path);
            if (o != Outcome::Unavailable)
                return o;
        }
        return Outcome::Unavailable;
    }

    void release()
    {
        if (fd_ < 0)
            return;
        ::unlink(path_.c_str());
        ::close(fd_);
        fd_ = -1;
        path_.clear();
    }

    ~PortLock() { release(); }

private:
    Outcome takeAt(const std::string& path)
    {
        // A file unlinked by its last owner between our open and our flock is
        // not the lock any more: take the one under the name now.
        for (int attempt = 0; attempt < 3; ++attempt) {
            const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
            if (fd < 0)
                return Outcome::Unavailable;
            if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
                ::close(fd);
                return errno == EWOULDBLOCK ? Outcome::Taken : Outcome::Unavailable;
            }
            struct stat held {};
            struct stat named {};
            if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
                held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
                ::close(fd);
                continue;
            }
            if (ownedByAnotherLivingProcess(fd)) {
                ::close(fd);
                return Outcome::Taken;
            }
            char pid[16];
            const int n = std::snprintf(pid, sizeof pid, "%10ld\n", static_cast<long>(::getpid()));
            if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, pid, static_cast<std::size_t>(n), 0) != n) {
                ::close(fd);
                return Outcome::Unavailable;
            }
            fd_ = fd;
            path_ = path;
            return Outcome::Held;
        }
        return Outcome::Unavailable;
    }

    // A program that marks the port with its process number alone, without
    // flock().
    static bool ownedByAnotherLivingProcess(int fd)
    {
        char text[32] = {};
        const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
        if (n <= 0)
            return false;
        char* end = nullptr;
        const long pid = std::strtol(text, &end, 10);
        if (end == text || pid <= 0 || pid == static_cast<long>(::getpid()))
            return false;
        return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
    }

    int fd_ = -1;
    std::string path_;
};

} // namespace

struct SerialChannel::Port {
    int fd = -1;
    termios original{};
    Handshake handshake = Handshake::None;
    PortLock lock;
    // Read by waitingCount(), not yet by read(); it keeps its room from one
    // record to the next, so the per-record path allocates nothing here.
    std::vector<std::uint8_t> early;

    bool isOpen() const { return fd >= 0; }

    // The last record leaves the port, or the wait ends; what is left then is
    // dropped, so that close() cannot wait on a stopped line. Only then: on a
    // pseudo-terminal a flush would take back what the other end has not
    // read yet.
    void drain() const
    {
        const auto until = std::chrono::steady_clock::now() + kDrainLimit;
        int queued = 0;
        while (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) {
            if (std::chrono::steady_clock::now() >= until) {
                ::tcflush(fd, TCOFLUSH);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }

    void shut()
    {
        if (fd >= 0) {
            drain();
            ::tcsetattr(fd, TCSANOW, &original);
            ::close(fd);
        }
        fd = -1;
        lock.release();
        early.clear();
    }
};

SerialChannel::SerialChannel(std::string programDir)
    : programDir_(std::move(programDir)), port_(std::make_unique<Port>())
{}

SerialChannel::~SerialChannel()
{
    close();
}

void SerialChannel::close()
{
    port_->shut();
}

bool SerialChannel::isOpen() const
{
    return port_->isOpen();
}

Result<> SerialChannel::open(const ChannelSettings& settings)
{
    close();
    if (const Result<> usable = prepareOpen(settings); !usable.ok())
        return usable;
    const SerialLine& line = settings.line;

    std::string text = "Cannot open the serial port " + portName_;
    if (device_ != portName_)
        text += " (" + device_ + ")";
    text += ": ";
    const auto inUse = [&](const std::string& reason) {
        return Result<>::failure(text + reason + ". The port is in use by another program.");
    };

    const int fd = ::open(device_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == EBUSY)
            return inUse(reasonOf(error));
        text += reasonOf(error) + ".";
        if (error == EACCES || error == EPERM) {
            if (::access(device_.c_str(), R_OK | W_OK) != 0)
                text += " Your user may not use serial ports: join the 'dialout' group "
                        "(sudo usermod -aG dialout $USER) and log in again.";
            else
                text += " The port is in use by another program.";
        }
        return Result<>::failure(text);
    }
    Port& p = *port_;
    p.fd = fd;
    if (p.lock.take(device_) == PortLock::Outcome::Taken) {
        p.shut();
        return inUse("Permission error while locking the device");
    }
    termios original{};
    if (::tcgetattr(fd, &original) != 0) {
        const int error = errno;
        ::close(fd);
        p.fd = -1;
        p.lock.release();
        return Result<>::failure(text + reasonOf(error) + ".");
    }
    p.original = original;
    // Other users of the port are refused from now on (root excepted, which
    // the lock file stops).
    ::ioctl(fd, TIOCEXCL);
    const termios wanted = rawLine(original, line);
    bool set = ::tcsetattr(fd, TCSANOW, &wanted) == 0;
    if (set && standardSpeed(line.baud) == B0)
        set = setOtherSpeed(fd, line.baud);
    if (!set) {
        const int error = errno;
        p.shut();
        return Result<>::failure(text + reasonOf(error) + ".");
    }
    p.handshake = line.handshake;
    p.early.reserve(kReadBufferSize);
    return Result<>::success();
}

Result<> SerialChannel::write(std::span<const std::uint8_t> bytes)
{
    if (!port_->isOpen())
        return notOpen();
    const int fd = port_->fd;
    const bool dsrGated = port_->handshake == Handshake::DtrDsr;
    const auto deadline = std::chrono::steady_clock::now() + kWriteTimeout;
    const auto timedOut = [&] {
        return Result<>::failure("Write failed on " + portName_ + ": Operation timed out");
    };
    const std::uint8_t* at = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        std::size_t piece = left;
        if (dsrGated) {
            // The other end says with DSR whether it takes more.
            piece = std::min(left, kHandshakePiece);
            for (;;) {
                int lines = 0;
                if (::ioctl(fd, TIOCMGET, &lines) != 0)
                    return Result<>::failure("Write failed on " + portName_ + ": " +
                                             reasonOf(errno));
                if (lines & TIOCM_DSR)
                    break;
                if (std::chrono::steady_clock::now() >= deadline)
                    return timedOut();
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        const ssize_t n = ::write(fd, at, piece);
        if (n > 0) {
            at += n;
            left -= static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN)
            return Result<>::failure("Write failed on " + portName_ + ": " + reasonOf(errno));
        // The line's output buffer is full: wait for room.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (wait.count() <= 0)
            return timedOut();
        pollfd w{fd, POLLOUT, 0};
        if (::poll(&w, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR)
            return Result<>::failure("Write failed on " + portName_ + ": " + reasonOf(errno));
    }
    return Result<>::success();
}

// Sleeps in the system until a byte comes or the slice is over; what came is
// kept for read().
Result<> SerialChannel::waitingCount(int& count, std::chrono::milliseconds slice)
{
    count = 0;
    if (!port_->isOpen())
        return notOpen();
    std::vector<std::uint8_t>& early = port_->early;
    if (early.empty()) {
        const int fd = port_->fd;
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1,
                                 static_cast<int>(std::min<std::int64_t>(
                                     slice.count(), std::numeric_limits<int>::max())));
        if (ready < 0 && errno != EINTR)
            return Result<>::failure("Read failed on " + portName_ + ": " + reasonOf(errno));
        if (ready > 0) {
            std::uint8_t buffer[kReadBufferSize];
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0)
                early.insert(early.end(), buffer, buffer + n);
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return Result<>::failure("Read failed on " + portName_ + ": " +
                                         (n == 0 ? "The device is gone" : reasonOf(errno)));
        }
    }
    count = early.size() > 0x7fff ? 0x7fff : static_cast<int>(early.size());
    return Result<>::success();
}

// What waitingCount() took in. The line itself is not looked at: a session
// reads after each poll, and a line that is gone is reported once, by the poll.
Result<> SerialChannel::read(std::vector<std::uint8_t>& bytes)
{
    bytes.clear();
    if (!port_->isOpen())
        return notOpen();
    // Copied, not swapped: the channel's buffer keeps its room, whatever the
    // caller's buffer has.
    std::vector<std::uint8_t>& early = port_->early;
    bytes.assign(early.begin(), early.end());
    early.clear();
    return Result<>::success();
}

// One read of the descriptor, which has nothing to give as a rule: a tcflush
// per record would cost a quarter of the line's speed.
void SerialChannel::discardInput()
{
    if (!port_->isOpen())
        return;
    port_->early.clear();
    std::uint8_t buffer[kReadBufferSize];
    for (int i = 0; i < kDiscardReads; ++i)
        if (::read(port_->fd, buffer, sizeof buffer) < static_cast<ssize_t>(sizeof buffer))
            break;
}

} // namespace fw
