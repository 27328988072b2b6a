#pragma once

#include "echowatch/host/alert_rules.h"
#include "echowatch/host/host_events.h"
#include "echowatch/host/round_trip_window.h"

#include <deque>
#include <optional>
#include <utility>

namespace host {

// Whether a host is slow, by the slow rule: the percentile of the last
// minute's answers over the rule's round trip for a full minute makes it
// slow, and not over for a full minute normal again. A minute without an
// answer tells neither. What is usual for the host is the median of the
// minute medians of the hour before its round trips went over. Plain C++.
class Slowness
{
public:
    enum class Turn
    {
        None,
        Slow,
        Normal,
    };

    explicit Slowness(SlowRule rule);
    void setRule(SlowRule rule);

    // A probe at the time given: its round trip when answered. The turn it
    // made, if any.
    Turn take(Milliseconds at, std::optional<std::int64_t> roundTripMicroseconds);
    // Forgets every answer: a new watch starts with an empty window.
    void clear();

    bool slow() const noexcept { return m_slow; }
    // While slow, when its percentile went over; after the Normal turn, when
    // it came back under.
    Milliseconds since() const noexcept { return m_since; }
    RoundTripFigures figures() const;

private:
    void noteMinute(Milliseconds at);
    std::optional<std::int64_t> usualBefore(Milliseconds at) const;

    SlowRule m_rule;
    RoundTripWindow m_window;
    bool m_slow = false;
    // Since when the percentile has been on the other side of the rule's
    // round trip, without a break.
    std::optional<Milliseconds> m_otherSideSince;
    Milliseconds m_since = 0;
    std::optional<std::int64_t> m_usual;
    // The medians of the last hour's minutes, by the minute's end, and when
    // the next minute ends.
    std::deque<std::pair<Milliseconds, std::int64_t>> m_minuteMedians;
    std::optional<Milliseconds> m_nextMinute;
};

} // namespace host
