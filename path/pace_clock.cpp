#include "echowatch/path/pace_clock.h"

#include <condition_variable>
#include <mutex>

namespace path {

PaceClock::Clock::time_point SteadyPaceClock::now() noexcept
{
    return Clock::now();
}

// A stop wakes the wait at once: closing the window that asked for a path
// never waits out a second between rounds.
bool SteadyPaceClock::sleepUntil(Clock::time_point when, std::stop_token stop) noexcept
{
    std::mutex mutex;
    std::condition_variable_any woken;
    std::unique_lock lock(mutex);
    woken.wait_until(lock, stop, when, [] { return false; });
    return !stop.stop_requested();
}

} // namespace path
