#pragma once

#include "echowatch/fleet/tick_schedule.h"

#include <chrono>

namespace fleet {

// The clocks a prober reads and waits on: the steady clock its ticks are
// kept by, the wall clock a probe's send time is told in, and the boot
// clock beside it. Tests script all three.
class ProberClock
{
public:
    virtual ~ProberClock() = default;
    virtual SteadyClock::time_point now() const noexcept = 0;
    virtual std::chrono::system_clock::time_point wallNow() const noexcept = 0;
    virtual std::chrono::nanoseconds sinceBoot() const noexcept = 0;
    // For a prober with nothing in flight to wait for.
    virtual void sleepUntil(SteadyClock::time_point at) const noexcept = 0;
};

class SystemProberClock final : public ProberClock
{
public:
    SteadyClock::time_point now() const noexcept override;
    std::chrono::system_clock::time_point wallNow() const noexcept override;
    std::chrono::nanoseconds sinceBoot() const noexcept override;
    void sleepUntil(SteadyClock::time_point at) const noexcept override;
};

} // namespace fleet
