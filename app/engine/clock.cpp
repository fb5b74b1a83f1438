#include "engine/clock.h"

#include <thread>

namespace fw {

Clock::duration SteadyClock::now()
{
    return std::chrono::duration_cast<duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

void SteadyClock::sleep(std::chrono::milliseconds d)
{
    std::this_thread::sleep_for(d);
}

} // namespace fw
