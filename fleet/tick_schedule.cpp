#include "echowatch/fleet/tick_schedule.h"

#include <algorithm>
#include <iterator>

namespace fleet {

namespace {

// Earliest first at the front of a std heap, which keeps the largest there.
bool later(const auto &left, const auto &right)
{
    return left.at > right.at;
}

} // namespace

TickSchedule::TickSchedule(std::chrono::nanoseconds interval, SteadyClock::time_point origin)
    : m_interval(std::max(interval, std::chrono::nanoseconds{1})), m_origin(origin)
{}

void TickSchedule::add(std::span<const HostKey> hosts, SteadyClock::time_point now)
{
    std::vector<HostKey> fresh;
    for (const HostKey host : hosts) {
        if (!m_hosts.contains(host) &&
            std::find(fresh.begin(), fresh.end(), host) == fresh.end())
            fresh.push_back(host);
    }
    if (m_hosts.empty()) {
        const auto count = static_cast<std::int64_t>(fresh.size());
        for (std::int64_t index = 0; index < count; ++index)
            place(fresh[static_cast<std::size_t>(index)], m_interval * index / count, now);
        return;
    }
    for (const HostKey host : fresh)
        place(host, widestGapMiddle(), now);
}

// The gap that wraps from the last phase round to the first counts too.
std::chrono::nanoseconds TickSchedule::widestGapMiddle() const
{
    const std::chrono::nanoseconds first = *m_phases.begin();
    std::chrono::nanoseconds widest = first + m_interval - *m_phases.rbegin();
    std::chrono::nanoseconds middle = (*m_phases.rbegin() + widest / 2) % m_interval;
    for (auto phase = m_phases.begin(); std::next(phase) != m_phases.end(); ++phase) {
        const std::chrono::nanoseconds gap = *std::next(phase) - *phase;
        if (gap > widest) {
            widest = gap;
            middle = *phase + gap / 2;
        }
    }
    return middle;
}

void TickSchedule::place(HostKey host, std::chrono::nanoseconds phase,
                         SteadyClock::time_point now)
{
    const std::uint64_t generation = ++m_nextGeneration;
    m_hosts[host] = Host{phase, generation};
    m_phases.insert(phase);
    const SteadyClock::time_point first = m_origin + phase;
    SteadyClock::time_point at = first;
    if (now >= first)
        at = first + ((now - first) / m_interval + 1) * m_interval;
    push({at, host, generation});
}

void TickSchedule::remove(HostKey host)
{
    const auto found = m_hosts.find(host);
    if (found == m_hosts.end())
        return;
    m_phases.erase(m_phases.find(found->second.phase));
    m_hosts.erase(found);
}

void TickSchedule::push(const Entry &entry)
{
    m_heap.push_back(entry);
    std::push_heap(m_heap.begin(), m_heap.end(), later<Entry, Entry>);
}

bool TickSchedule::current(const Entry &entry) const
{
    const auto found = m_hosts.find(entry.host);
    return found != m_hosts.end() && found->second.generation == entry.generation;
}

void TickSchedule::dropStale()
{
    while (!m_heap.empty() && !current(m_heap.front())) {
        std::pop_heap(m_heap.begin(), m_heap.end(), later<Entry, Entry>);
        m_heap.pop_back();
    }
}

std::optional<SteadyClock::time_point> TickSchedule::nextDue()
{
    dropStale();
    if (m_heap.empty())
        return std::nullopt;
    return m_heap.front().at;
}

void TickSchedule::takeDue(SteadyClock::time_point now, std::vector<Tick> &due)
{
    for (dropStale(); !m_heap.empty() && m_heap.front().at <= now; dropStale()) {
        std::pop_heap(m_heap.begin(), m_heap.end(), later<Entry, Entry>);
        Entry entry = m_heap.back();
        m_heap.pop_back();
        // After a stall, the latest tick due is the one taken.
        const auto missed = (now - entry.at) / m_interval;
        m_skipped += static_cast<std::uint64_t>(missed);
        entry.at += missed * m_interval;
        due.push_back({entry.host, entry.at});
        entry.at += m_interval;
        push(entry);
    }
}

} // namespace fleet
