#include "usb_testbed.h"

#include <umockdev.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace fw::test {

namespace {

// Transfers on an unplugged printer's node answer ENODEV, as usblp does.
gboolean failWhenUnplugged(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer data)
{
    const auto* unplugged = static_cast<std::atomic<bool>*>(data);
    if (!unplugged->load())
        return FALSE; // the node behaves as its pseudo-terminal
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return TRUE;
}

} // namespace

struct Printer {
    std::string usbDevice; // syspath
    std::string interface; // syspath
    std::string leaf;      // syspath
    std::string node;      // /dev/usb/lpN
    int fd = -1;           // printer's end
    std::atomic<bool> unplugged{false};
    UMockdevIoctlBase* handler = nullptr;
};

struct UsbTestbed::Impl {
    UMockdevTestbed* bed = nullptr;
    std::vector<std::unique_ptr<Printer>> printers;
};

UsbTestbed::UsbTestbed() : impl_(std::make_unique<Impl>())
{
    impl_->bed = umockdev_testbed_new();
}

UsbTestbed::~UsbTestbed()
{
    for (auto& printer : impl_->printers) {
        if (printer->handler) {
            umockdev_testbed_detach_ioctl(impl_->bed, printer->node.c_str(), nullptr);
            g_object_unref(printer->handler);
        }
    }
    g_object_unref(impl_->bed);
}

bool UsbTestbed::available() const
{
    return umockdev_in_mock_environment();
}

int UsbTestbed::addPrinter(const UsbPrinterInfo& info)
{
    const int number = static_cast<int>(impl_->printers.size());
    auto printer = std::make_unique<Printer>();
    UMockdevTestbed* bed = impl_->bed;

    const std::string port = "1-" + std::to_string(number + 1);
    char vendor[8], product[8], interfaceClass[4];
    std::snprintf(vendor, sizeof vendor, "%04x", info.vendor);
    std::snprintf(product, sizeof product, "%04x", info.product);
    std::snprintf(interfaceClass, sizeof interfaceClass, "%02x", info.interfaceClass);

    gchar* usb = umockdev_testbed_add_device(bed, "usb", port.c_str(), nullptr, "idVendor", vendor,
                                             "idProduct", product, "serial", info.serial.c_str(),
                                             nullptr, "DEVTYPE", "usb_device", nullptr);
    gchar* interface =
        umockdev_testbed_add_device(bed, "usb", (port + ":1.0").c_str(), usb, "bInterfaceClass",
                                    interfaceClass, nullptr, "DEVTYPE", "usb_interface", nullptr);
    if (!usb || !interface)
        throw std::runtime_error("umockdev could not add the USB device");
    printer->usbDevice = usb;
    printer->interface = interface;
    g_free(usb);
    g_free(interface);

    const std::string name = "lp" + std::to_string(number);
    printer->leaf = printer->interface + "/usbmisc/" + name;
    printer->node = "/dev/usb/" + name;
    const std::string description = "P: " + printer->leaf.substr(4) + "\nN: usb/" + name +
                                    "\nE: SUBSYSTEM=usbmisc\nE: DEVNAME=" + printer->node + "\n";
    GError* error = nullptr;
    if (!umockdev_testbed_add_from_string(bed, description.c_str(), &error)) {
        std::string message = error ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("umockdev could not add " + name + ": " + message);
    }

    printer->fd = umockdev_testbed_get_dev_fd(bed, printer->node.c_str());
    if (printer->fd < 0)
        throw std::runtime_error("no printer end for " + printer->node);
    // usblp moves bytes unchanged; the pseudo-terminal must not translate them.
    termios raw{};
    if (tcgetattr(printer->fd, &raw) == 0) {
        cfmakeraw(&raw);
        tcsetattr(printer->fd, TCSANOW, &raw);
    }

    printer->handler = umockdev_ioctl_base_new();
    g_signal_connect(printer->handler, "handle-read", G_CALLBACK(failWhenUnplugged),
                     &printer->unplugged);
    g_signal_connect(printer->handler, "handle-write", G_CALLBACK(failWhenUnplugged),
                     &printer->unplugged);
    if (!umockdev_testbed_attach_ioctl(bed, printer->node.c_str(), printer->handler, &error)) {
        std::string message = error ? error->message : "unknown";
        g_clear_error(&error);
        throw std::runtime_error("umockdev could not watch " + name + ": " + message);
    }

    impl_->printers.push_back(std::move(printer));
    return number;
}

std::string UsbTestbed::devicePath(int printer) const
{
    return impl_->printers.at(static_cast<std::size_t>(printer))->node;
}

int UsbTestbed::printerFd(int printer) const
{
    return impl_->printers.at(static_cast<std::size_t>(printer))->fd;
}

std::vector<std::uint8_t> UsbTestbed::receive(int printer, std::size_t count, int timeoutMs) const
{
    const int fd = printerFd(printer);
    std::vector<std::uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (bytes.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        std::uint8_t chunk[512];
        const std::size_t want = std::min(sizeof chunk, count - bytes.size());
        const ssize_t n = ::read(fd, chunk, want);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

void UsbTestbed::send(int printer, const std::vector<std::uint8_t>& bytes) const
{
    const int fd = printerFd(printer);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            throw std::runtime_error("the printer end refused the answer");
        }
        done += static_cast<std::size_t>(n);
    }
}

void UsbTestbed::announce(int printer)
{
    umockdev_testbed_uevent(
        impl_->bed, impl_->printers.at(static_cast<std::size_t>(printer))->leaf.c_str(), "add");
}

void UsbTestbed::unplug(int printer)
{
    Printer& p = *impl_->printers.at(static_cast<std::size_t>(printer));
    if (p.unplugged.exchange(true))
        return;
    UMockdevTestbed* bed = impl_->bed;
    umockdev_testbed_uevent(bed, p.leaf.c_str(), "remove");
    umockdev_testbed_remove_device(bed, p.leaf.c_str());
    umockdev_testbed_remove_device(bed, p.interface.c_str());
    umockdev_testbed_remove_device(bed, p.usbDevice.c_str());
    // Hang up the line so a waiting poll() wakes as it does for a gone device.
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        ::dup2(null, p.fd);
        ::close(null);
    }
}

} // namespace fw::test
