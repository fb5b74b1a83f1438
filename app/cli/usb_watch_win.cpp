#include "cli/usb_watch.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace fw {

struct UsbWatch::State {
    Changed changed;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;

    ~State()
    {
        {
            const std::lock_guard lock(mutex);
            stopping = true;
        }
        wake.notify_all();
        if (thread.joinable())
            thread.join();
    }

    void run()
    {
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, std::chrono::seconds(1), [this] { return stopping; })) {
            lock.unlock();
            changed({}, true);
            lock.lock();
        }
    }
};

Result<std::unique_ptr<UsbWatch>> UsbWatch::start(Changed changed)
{
    auto state = std::make_unique<State>();
    state->changed = std::move(changed);
    State* s = state.get();
    state->thread = std::thread([s] { s->run(); });
    return std::unique_ptr<UsbWatch>(new UsbWatch(std::move(state)));
}

UsbWatch::UsbWatch(std::unique_ptr<State> state) : state_(std::move(state)) {}

UsbWatch::~UsbWatch() = default;

} // namespace fw
