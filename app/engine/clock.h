#pragma once
// Time as the session sees it. The product uses a monotonic clock so a change
// of the wall clock cannot stretch or cut a time-out; tests inject a fake.

#include <chrono>

namespace fw {

class Clock {
public:
    using duration = std::chrono::nanoseconds;
    virtual ~Clock() = default;
    virtual duration now() = 0; // monotonic
    virtual void sleep(std::chrono::milliseconds d) = 0;
};

class SteadyClock final : public Clock {
public:
    duration now() override;
    void sleep(std::chrono::milliseconds d) override;
};

} // namespace fw
