#pragma once
// Tells a station when USB printers come and go, from a thread of its own.
//  Linux:   udev's events for usblp's nodes (usbmisc) and their USB devices.
//  Windows: a look at the USB library's list once a second.

#include "base/result.h"

#include <functional>
#include <memory>
#include <string>

namespace fw {

class UsbWatch {
public:
    // `devnode`: the node that came (`added`) or went; empty when only a
    // new look at the library's list can tell what changed.
    using Changed = std::function<void(const std::string& devnode, bool added)>;

    // Starts watching; a failure says why there is nothing to watch with.
    static Result<std::unique_ptr<UsbWatch>> start(Changed changed);
    // Stops the thread before it goes.
    ~UsbWatch();
    UsbWatch(const UsbWatch&) = delete;
    UsbWatch& operator=(const UsbWatch&) = delete;

    struct State;

private:
    explicit UsbWatch(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace fw
