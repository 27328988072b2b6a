#pragma once

#include <chrono>
#include <stop_token>

namespace path {

// The clock the prober keeps its pace by, and its waits. Tests give it one
// that moves only when told, so a round's timing is checked without waiting.
class PaceClock
{
public:
    using Clock = std::chrono::steady_clock;

    virtual ~PaceClock() = default;
    virtual Clock::time_point now() noexcept = 0;
    // Returns false, at once, when a stop is asked for before when.
    virtual bool sleepUntil(Clock::time_point when, std::stop_token stop) noexcept = 0;
};

class SteadyPaceClock final : public PaceClock
{
public:
    Clock::time_point now() noexcept override;
    bool sleepUntil(Clock::time_point when, std::stop_token stop) noexcept override;
};

} // namespace path
