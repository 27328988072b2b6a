#include "echowatch/fleet/prober_clock.h"

#include "echowatch/probe/probe_details.h"

#include <thread>

namespace fleet {

SteadyClock::time_point SystemProberClock::now() const noexcept
{
    return SteadyClock::now();
}

std::chrono::system_clock::time_point SystemProberClock::wallNow() const noexcept
{
    return std::chrono::system_clock::now();
}

std::chrono::nanoseconds SystemProberClock::sinceBoot() const noexcept
{
    return probe::bootClockNow();
}

void SystemProberClock::sleepUntil(SteadyClock::time_point at) const noexcept
{
    std::this_thread::sleep_until(at);
}

} // namespace fleet
