#include "platform_linux.h"

#include "system_platform.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

namespace fw::usb {

namespace {

constexpr unsigned kPrinterClass = 0x07;

class PrinterList final : public DeviceList {
public:
    PrinterList(LinuxPlatform& platform, std::vector<LinuxPlatform::Printer> printers)
        : platform_(platform), printers_(std::move(printers))
    {}

    Member device(int i) override
    {
        if (i < 0 || static_cast<std::size_t>(i) >= printers_.size())
            return Member::End;
        current_ = static_cast<std::size_t>(i);
        return Member::Found;
    }

    bool instanceId(char* id, std::size_t size) override
    {
        const std::string& text = printers_[current_].instanceId;
        if (text.size() + 1 > size) {
            platform_.setLastError(ENOBUFS);
            return false;
        }
        std::memcpy(id, text.c_str(), text.size() + 1);
        return true;
    }

    bool interfacePath(int i, std::string& path) override
    {
        if (i < 0 || static_cast<std::size_t>(i) >= printers_.size()) {
            platform_.setLastError(ENODEV);
            return false;
        }
        path = printers_[static_cast<std::size_t>(i)].path;
        return true;
    }

private:
    LinuxPlatform& platform_;
    std::vector<LinuxPlatform::Printer> printers_;
    std::size_t current_ = 0;
};

unsigned hexAttribute(udev_device* device, const char* name)
{
    const char* text = udev_device_get_sysattr_value(device, name);
    return text ? static_cast<unsigned>(std::strtoul(text, nullptr, 16)) : 0;
}

// The pipe suffixes name directions of the one node.
std::string nodeOf(const char* path)
{
    std::string node(path);
    for (const char* suffix : {"\\PIPE00", "\\PIPE01"}) {
        const std::size_t n = std::strlen(suffix);
        if (node.size() >= n && node.compare(node.size() - n, n, suffix) == 0) {
            node.resize(node.size() - n);
            break;
        }
    }
    return node;
}

// Opens the node without letting a terminal-backed node become our
// controlling terminal, and claims it: a second opener is refused even where
// the node is not usblp's own.
int openNode(const char* node, std::uint32_t& error)
{
    const int fd = ::open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error = static_cast<std::uint32_t>(errno);
        return -1;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? EBUSY : static_cast<std::uint32_t>(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

constexpr short kHangUp = POLLERR | POLLHUP | POLLNVAL;

// udev objects released however the scan ends.
struct Unref {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, Unref>;

} // namespace

LinuxPlatform::~LinuxPlatform()
{
    for (const OpenNode& open : open_)
        ::close(open.fd);
}

bool LinuxPlatform::scan(std::vector<Printer>& printers)
{
    printers.clear();
    try {
        if (scanPrinters(printers))
            return true;
    } catch (const std::bad_alloc&) {
        lastError_ = ENOMEM;
    }
    printers.clear();
    return false;
}

bool LinuxPlatform::scanPrinters(std::vector<Printer>& printers)
{
    const UdevPtr<udev> context(udev_new());
    const UdevPtr<udev_enumerate> enumerate(context ? udev_enumerate_new(context.get()) : nullptr);
    if (!enumerate || udev_enumerate_add_match_subsystem(enumerate.get(), "usbmisc") < 0 ||
        udev_enumerate_add_match_sysname(enumerate.get(), "lp*") < 0 ||
        udev_enumerate_scan_devices(enumerate.get()) < 0) {
        lastError_ = static_cast<std::uint32_t>(errno ? errno : ENOMEM);
        return false;
    }

    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate.get()))
    {
        const UdevPtr<udev_device> lp(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!lp)
            continue;
        udev_device* interface =
            udev_device_get_parent_with_subsystem_devtype(lp.get(), "usb", "usb_interface");
        udev_device* usb =
            udev_device_get_parent_with_subsystem_devtype(lp.get(), "usb", "usb_device");
        const char* node = udev_device_get_devnode(lp.get());
        unsigned number = 0;
        if (interface && usb && node &&
            hexAttribute(interface, "bInterfaceClass") == kPrinterClass &&
            std::sscanf(udev_device_get_sysname(lp.get()), "lp%u", &number) == 1) {
            const char* serial = udev_device_get_sysattr_value(usb, "serial");
            if (!serial)
                serial = udev_device_get_sysname(usb); // the port, as Windows does without a serial
            char id[260];
            std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X\\%s",
                          hexAttribute(usb, "idVendor"), hexAttribute(usb, "idProduct"),
                          serial ? serial : "");
            printers.push_back({number, id, node});
        }
    }

    std::sort(printers.begin(), printers.end(),
              [](const Printer& a, const Printer& b) { return a.number < b.number; });
    return true;
}

std::unique_ptr<DeviceList> LinuxPlatform::devices()
{
    std::vector<Printer> printers;
    if (!scan(printers))
        return nullptr;
    try {
        return std::make_unique<PrinterList>(*this, std::move(printers));
    } catch (const std::bad_alloc&) {
        lastError_ = ENOMEM;
        return nullptr;
    }
}

bool LinuxPlatform::testOpen(const char* path)
{
    const int fd = openNode(path, lastError_);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::uint32_t LinuxPlatform::nameTooLongError() const
{
    return ENAMETOOLONG;
}

Handle LinuxPlatform::openPipe(const char* path, Direction)
{
    // Room for the record first: once the node is open, keeping it cannot fail.
    OpenNode record{-1, {}};
    try {
        record.node = nodeOf(path);
        open_.reserve(open_.size() + 1);
    } catch (const std::bad_alloc&) {
        lastError_ = ENOMEM;
        return kInvalidHandle;
    }
    const auto shared = std::find_if(
        open_.begin(), open_.end(), [&](const OpenNode& open) { return open.node == record.node; });
    if (shared != open_.end()) {
        record.fd = ::fcntl(shared->fd, F_DUPFD_CLOEXEC, 0);
        if (record.fd < 0)
            lastError_ = static_cast<std::uint32_t>(errno);
    } else {
        record.fd = openNode(record.node.c_str(), lastError_);
    }
    if (record.fd < 0)
        return kInvalidHandle;
    open_.push_back(std::move(record));
    return open_.back().fd;
}

void LinuxPlatform::closePipe(Handle pipe)
{
    const auto it = std::find_if(open_.begin(), open_.end(),
                                 [pipe](const OpenNode& open) { return open.fd == pipe; });
    if (it == open_.end())
        return;
    ::close(it->fd);
    open_.erase(it);
}

// poll() on the node plays the part of completion events; an event is a
// token that tells the logic the connection is complete.
Event LinuxPlatform::createEvent()
{
    if (++lastEvent_ == kNoEvent)
        ++lastEvent_;
    return lastEvent_;
}

void LinuxPlatform::closeEvent(Event) {}

Issue LinuxPlatform::startWrite(Handle pipe, Event, const std::uint8_t* data, std::uint32_t count,
                                std::uint32_t& moved)
{
    moved = 0;
    const ssize_t n = ::write(static_cast<int>(pipe), data, count);
    if (n >= 0) {
        moved = static_cast<std::uint32_t>(n);
        return Issue::Done;
    }
    if (errno == EAGAIN || errno == EINTR) {
        writeData_ = data;
        writeCount_ = count;
        return Issue::Pending;
    }
    lastError_ = static_cast<std::uint32_t>(errno);
    return Issue::Failed;
}

Collect LinuxPlatform::finishWrite(Handle pipe, std::uint32_t& moved)
{
    moved = 0;
    pollfd p{static_cast<int>(pipe), POLLOUT, 0};
    const int ready = ::poll(&p, 1, writeTimeoutMs_);
    if (ready == 0) {
        lastError_ = ETIMEDOUT;
        return Collect::Failed;
    }
    if (ready < 0)
        return errno == EINTR ? Collect::Incomplete : Collect::Failed;
    if (!(p.revents & POLLOUT)) {
        lastError_ = ENODEV;
        return Collect::Failed;
    }
    const ssize_t n = ::write(static_cast<int>(pipe), writeData_, writeCount_);
    if (n >= 0) {
        moved = static_cast<std::uint32_t>(n);
        return Collect::Done;
    }
    if (errno == EAGAIN || errno == EINTR)
        return Collect::Incomplete;
    lastError_ = static_cast<std::uint32_t>(errno);
    return Collect::Failed;
}

Issue LinuxPlatform::startRead(Handle pipe, Event, std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t& moved)
{
    moved = 0;
    const ssize_t n = ::read(static_cast<int>(pipe), buffer, size);
    if (n >= 0) {
        moved = static_cast<std::uint32_t>(n);
        return Issue::Done;
    }
    if (errno == EAGAIN || errno == EINTR) {
        readBuffer_ = buffer;
        readSize_ = size;
        readEvents_ = 0;
        return Issue::Pending;
    }
    lastError_ = static_cast<std::uint32_t>(errno);
    return Issue::Failed;
}

Wait LinuxPlatform::waitRead(Handle pipe, Event, int timeoutMs)
{
    pollfd p{static_cast<int>(pipe), POLLIN, 0};
    const int ready = ::poll(&p, 1, timeoutMs);
    if (ready == 0)
        return Wait::TimedOut;
    if (ready < 0)
        return Wait::Other;
    readEvents_ = p.revents;
    return Wait::Signalled;
}

Collect LinuxPlatform::finishRead(Handle pipe, std::uint32_t& moved)
{
    moved = 0;
    const bool hungUp = (readEvents_ & kHangUp) != 0;
    const ssize_t n = ::read(static_cast<int>(pipe), readBuffer_, readSize_);
    if (n > 0) {
        moved = static_cast<std::uint32_t>(n);
        return Collect::Done;
    }
    // A hang-up with nothing to read is a printer that is gone.
    if (hungUp || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        lastError_ = n < 0 ? static_cast<std::uint32_t>(errno) : ENODEV;
        return Collect::Failed;
    }
    return n == 0 ? Collect::Done : Collect::Incomplete;
}

void LinuxPlatform::discardReceived(Handle pipe, Event)
{
    const int fd = static_cast<int>(pipe);
    std::uint8_t buffer[256];
    for (std::uint32_t dropped = 0; dropped < kMaxDiscarded;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            dropped += static_cast<std::uint32_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            return;
        // usblp asks the printer for bytes only once a read is pending.
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kQuietMs) <= 0 || !(p.revents & POLLIN))
            return;
    }
}

// Nothing was queued with the driver: a read on Linux happens only inside
// read(), so withdrawing forgets the caller's buffer and has received nothing.
Collect LinuxPlatform::withdrawRead(Handle, std::uint32_t& moved)
{
    readBuffer_ = nullptr;
    readSize_ = 0;
    moved = 0;
    return Collect::Failed;
}

Platform& systemPlatform()
{
    static LinuxPlatform platform;
    return platform;
}

} // namespace fw::usb
