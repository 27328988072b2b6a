#pragma once

#include "echowatch/history/outage_list.h"
#include "echowatch/probe/probe_details.h"

#include <optional>

namespace alerts {

// A change worth telling: the host went down (its outage so far) or came
// back (the outage ended by the probe that answered).
struct HostChange
{
    enum class Kind
    {
        Down,
        Up,
    };
    Kind kind = Kind::Down;
    history::Outage outage;
    // Down: the probe that crossed the threshold. Up: the first answer.
    probe::ProbeEvent latest;
};

// The host's going down and coming back, decided from the probes the window
// shows. Plain C++, so that the decision is tested without a window.
class HostState
{
public:
    // How many failed probes in a row make the host down, at least one.
    explicit HostState(int downAfter) noexcept;

    // A change to report, at most one per probe: down once the run of
    // failures reaches the threshold, up at the first answer after it.
    std::optional<HostChange> observe(const probe::ProbeEvent &event) noexcept;
    // A different host, or none: what was seen no longer says anything.
    void forget() noexcept;

private:
    int m_downAfter;
    bool m_down = false;
    history::Outage m_outage;
};

} // namespace alerts
