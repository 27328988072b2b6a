#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <set>
#include <optional>
#include <span>
#include <vector>

namespace fleet {

// Names a watched host inside the prober; never 0.
using HostKey = std::uint64_t;
using SteadyClock = std::chrono::steady_clock;

// When each host's probes are due: every interval, each host at a phase of
// its own, so that the probes of many hosts spread over the interval rather
// than leaving together. A host's ticks stay on its grid (origin + phase +
// k intervals) however late one of them is taken: a late tick never pushes
// the next ones back, and after a stall only the latest tick due is taken:
// those missed whole are skipped, never bunched.
class TickSchedule
{
public:
    struct Tick
    {
        HostKey host = 0;
        SteadyClock::time_point at;
    };

    TickSchedule(std::chrono::nanoseconds interval, SteadyClock::time_point origin);

    // Hosts added to an empty schedule share the interval out evenly; each
    // one added later takes the middle of the widest gap between the phases
    // there are. A host's first tick comes after now, never at once. A host
    // already there keeps its phase.
    void add(std::span<const HostKey> hosts, SteadyClock::time_point now);
    void remove(HostKey host);

    bool contains(HostKey host) const { return m_hosts.contains(host); }
    std::size_t size() const noexcept { return m_hosts.size(); }
    std::chrono::nanoseconds interval() const noexcept { return m_interval; }
    std::optional<SteadyClock::time_point> nextDue();

    // Appends the ticks due by now, earliest first, and schedules each
    // host's next one.
    void takeDue(SteadyClock::time_point now, std::vector<Tick> &due);
    // Ticks skipped because a later one of the same host was due by the
    // time they were taken (the process stalled a whole interval or more).
    std::uint64_t skipped() const noexcept { return m_skipped; }

private:
    struct Host
    {
        std::chrono::nanoseconds phase;
        std::uint64_t generation;
    };
    struct Entry
    {
        SteadyClock::time_point at;
        HostKey host;
        std::uint64_t generation;
    };

    std::chrono::nanoseconds widestGapMiddle() const;
    void place(HostKey host, std::chrono::nanoseconds phase, SteadyClock::time_point now);
    void push(const Entry &entry);
    bool current(const Entry &entry) const;
    void dropStale();

    std::chrono::nanoseconds m_interval;
    SteadyClock::time_point m_origin;
    std::map<HostKey, Host> m_hosts;
    // Every phase in use, sorted, for finding the widest gap.
    std::multiset<std::chrono::nanoseconds> m_phases;
    // A heap on the earliest tick; entries of removed hosts are dropped as
    // they come up.
    std::vector<Entry> m_heap;
    std::uint64_t m_nextGeneration = 0;
    std::uint64_t m_skipped = 0;
};

} // namespace fleet
