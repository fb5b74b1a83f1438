#include "library.h"

#include "discovery.h"

#include <utility>

namespace fw::usb {

namespace {

// Runs `call` under the lock; should it throw, `recover` runs (still under
// the lock) and the result is `failure`.
template <typename Call, typename Recover>
std::int32_t guarded(std::mutex& lock, std::int32_t failure, Call&& call,
                     Recover&& recover) noexcept
{
    try {
        const std::lock_guard<std::mutex> hold(lock);
        try {
            return call();
        } catch (...) {
            recover();
            return failure;
        }
    } catch (...) {
        return failure;
    }
}

template <typename Call>
std::int32_t guarded(std::mutex& lock, std::int32_t failure, Call&& call) noexcept
{
    return guarded(lock, failure, std::forward<Call>(call), [] {});
}

} // namespace

std::int32_t Library::findDevices() noexcept
{
    return guarded(lock_, -1, [&] { return findUsbDevice(platform_); });
}

std::int32_t Library::deviceName(std::int32_t index, char* name) noexcept
{
    return guarded(lock_, 0, [&] { return findDeviceName(platform_, index, name); });
}

std::int32_t Library::open(const char* path) noexcept
{
    // An open cut short may hold one pipe: a failed open leaves nothing open.
    return guarded(
        lock_, -1, [&] { return connection_.open(path); }, [&] { connection_.close(); });
}

std::int32_t Library::write(const std::uint8_t* data, std::int32_t length) noexcept
{
    return guarded(lock_, -1, [&] { return connection_.write(data, length); });
}

std::int32_t Library::read(std::uint8_t* buffer) noexcept
{
    return guarded(lock_, -1, [&] { return connection_.read(buffer); });
}

std::int32_t Library::close() noexcept
{
    return guarded(lock_, 0, [&] { return connection_.close(); });
}

} // namespace fw::usb
