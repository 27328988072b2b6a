#pragma once

#include "echowatch/history/probe_sample.h"

#include <optional>
#include <vector>

namespace history {

// When a host was watched: from each watch's start to its end, the latest
// possibly going on. Time between watches (the program stopped, closed, or
// the machine asleep) is neither up nor down, and a share of downtime is
// taken of the watched time alone.
class WatchedTime
{
public:
    // A watch starts; one going on goes on.
    void start(Milliseconds at);
    // The watch going on ends.
    void end(Milliseconds at);
    // A watch read back from a file, ended or (going on) not; kept in time
    // order, and one that overlaps those known is merged with them.
    void add(Milliseconds from, std::optional<Milliseconds> to);

    bool empty() const noexcept { return m_ended.empty() && !m_since; }
    // How long the host was watched within the span; a watch going on
    // counts up to `now`.
    Milliseconds within(TimeSpan span, Milliseconds now) const noexcept;
    // The stretches of the span nobody watched, oldest first.
    std::vector<TimeSpan> gapsIn(TimeSpan span, Milliseconds now) const;
    // The watches, ended ones and the one going on up to `now`.
    std::vector<TimeSpan> watches(Milliseconds now) const;

private:
    std::vector<TimeSpan> m_ended;
    std::optional<Milliseconds> m_since;
};

} // namespace history
