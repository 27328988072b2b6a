#pragma once

#include "echowatch/probe/probe_details.h"

#include <chrono>
#include <cstdint>
#include <optional>

// The host's going down and coming back, decided from the probes the window
// shows. Plain C++, so that the decision is tested without a window.
struct Outage
{
    enum class Change
    {
        Down,
        Up,
    };
    Change change = Change::Down;
    // The first failed probe of the run, and its status line's cause.
    probe::ProbeEvent firstFailure;
    // Down: the probe that crossed the threshold. Up: the first answer.
    probe::ProbeEvent latest;
    int probesLost = 0;
};

class OutageTracker
{
public:
    // How many failed probes in a row make the host down, at least one.
    explicit OutageTracker(int downAfter) noexcept;

    // A change to report, at most one per probe: down once the run of
    // failures reaches the threshold, up at the first answer after it.
    std::optional<Outage> observe(const probe::ProbeEvent &event) noexcept;
    // A different host, or none: what was seen no longer says anything.
    void forget() noexcept;

private:
    int m_downAfter;
    int m_failures = 0;
    bool m_down = false;
    probe::ProbeEvent m_firstFailure;
};
