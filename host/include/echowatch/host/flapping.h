#pragma once

#include "echowatch/host/alert_rules.h"
#include "echowatch/host/host_events.h"

#include <cstdint>
#include <deque>

namespace host {

// Whether a host flaps, by the flap rule: one down more than the limit
// within the window makes it flap; staying up (or down) for the window
// settles it. Only the downs of one window are kept, at most the limit and
// one. Plain C++.
class Flapping
{
public:
    explicit Flapping(FlapRule rule) : m_rule(rule) {}
    void setRule(FlapRule rule) noexcept { m_rule = rule; }

    // A down at the time given; true when it makes the host flap.
    bool down(Milliseconds at);
    void up(Milliseconds at) noexcept { m_lastTurn = at; }
    // Whether the host, flapping, is settled by the time given: still for
    // the window, or the rule switched off.
    bool settledBy(Milliseconds at) const noexcept;
    // The flapping is over: the count starts again.
    void settle() noexcept;
    void clear() noexcept;

    bool flapping() const noexcept { return m_flapping; }
    Milliseconds since() const noexcept { return m_since; }
    std::uint32_t downs() const noexcept { return m_count; }

private:
    FlapRule m_rule;
    std::deque<Milliseconds> m_downs;
    bool m_flapping = false;
    Milliseconds m_since = 0;
    std::uint32_t m_count = 0;
    Milliseconds m_lastTurn = 0;
};

} // namespace host
