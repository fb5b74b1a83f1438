#include "cli/usb_watch.h"

#include <libudev.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace fw {

struct UsbWatch::State {
    udev* context = nullptr;
    udev_monitor* monitor = nullptr;
    int wake[2] = {-1, -1}; // a byte here ends the thread
    Changed changed;
    std::thread thread;

    ~State()
    {
        if (thread.joinable()) {
            (void)!::write(wake[1], "x", 1);
            thread.join();
        }
        for (const int fd : wake)
            if (fd >= 0)
                ::close(fd);
        if (monitor)
            udev_monitor_unref(monitor);
        if (context)
            udev_unref(context);
    }

    void run()
    {
        pollfd fds[2] = {{udev_monitor_get_fd(monitor), POLLIN, 0}, {wake[0], POLLIN, 0}};
        for (;;) {
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return;
            if (fds[1].revents != 0)
                return;
            if (!(fds[0].revents & POLLIN))
                continue;
            udev_device* device = udev_monitor_receive_device(monitor);
            if (!device)
                continue;
            const char* action = udev_device_get_action(device);
            const char* subsystem = udev_device_get_subsystem(device);
            const char* node = udev_device_get_devnode(device);
            const bool added = action && std::strcmp(action, "remove") != 0;
            // The USB device and its interface come and go with the node;
            // only usblp's node says which printer it is.
            const bool printerNode = subsystem && std::strcmp(subsystem, "usbmisc") == 0 && node;
            changed(printerNode ? node : "", added);
            udev_device_unref(device);
        }
    }
};

Result<std::unique_ptr<UsbWatch>> UsbWatch::start(Changed changed)
{
    auto state = std::make_unique<State>();
    state->changed = std::move(changed);
    state->context = udev_new();
    if (state->context)
        state->monitor = udev_monitor_new_from_netlink(state->context, "udev");
    if (!state->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(state->monitor, "usbmisc", nullptr) < 0 ||
        udev_monitor_filter_add_match_subsystem_devtype(state->monitor, "usb", nullptr) < 0 ||
        udev_monitor_enable_receiving(state->monitor) < 0)
        return Result<std::unique_ptr<UsbWatch>>::failure("udev's events cannot be watched (" +
                                                          std::string(std::strerror(errno)) + ")");
    if (::pipe2(state->wake, O_CLOEXEC) != 0)
        return Result<std::unique_ptr<UsbWatch>>::failure(std::string("no pipe: ") +
                                                          std::strerror(errno));
    State* s = state.get();
    state->thread = std::thread([s] { s->run(); });
    return std::unique_ptr<UsbWatch>(new UsbWatch(std::move(state)));
}

UsbWatch::UsbWatch(std::unique_ptr<State> state) : state_(std::move(state)) {}

UsbWatch::~UsbWatch() = default;

} // namespace fw
