#include "echowatch/history/host_records.h"

#include <algorithm>

namespace history {

HostRecords::HostRecords(std::size_t capacityPerHost) : m_capacity(capacityPerHost)
{
    m_hosts.reserve(MaximumHosts);
}

std::optional<std::size_t> HostRecords::find(HostAddress address) const noexcept
{
    for (std::size_t host = 0; host < m_hosts.size(); ++host) {
        if (m_hosts[host].address == address)
            return host;
    }
    return std::nullopt;
}

std::size_t HostRecords::hostFor(HostAddress address)
{
    if (const auto known = find(address))
        return *known;
    if (m_hosts.size() < MaximumHosts) {
        m_hosts.push_back(Host{address, 0, std::make_unique<ProbeRecord>(m_capacity)});
        return m_hosts.size() - 1;
    }
    const auto oldest =
        std::min_element(m_hosts.begin(), m_hosts.end(), [](const Host &a, const Host &b) {
            return a.lastRecorded < b.lastRecorded;
        });
    // Started again in place, so that whoever shows its record is never
    // left with a freed one.
    oldest->address = address;
    *oldest->record = ProbeRecord(m_capacity);
    return static_cast<std::size_t>(oldest - m_hosts.begin());
}

ProbeRecord &HostRecords::recordFor(HostAddress address)
{
    m_latest = hostFor(address);
    Host &host = m_hosts[m_latest];
    host.lastRecorded = ++m_recorded;
    return *host.record;
}

void HostRecords::record(HostAddress address, const ProbeSample &sample)
{
    recordFor(address).record(sample);
}

void HostRecords::record(HostAddress address, const ProbeSample &sample,
                         Milliseconds monotonicAt)
{
    recordFor(address).record(sample, monotonicAt);
}

void HostRecords::recordWatchEnd(HostAddress address, Milliseconds at) noexcept
{
    if (const auto host = find(address))
        m_hosts[*host].record->recordWatchEnd(at);
}

std::size_t HostRecords::memoryBytes() const noexcept
{
    std::size_t bytes = m_hosts.capacity() * sizeof(Host);
    for (const Host &host : m_hosts)
        bytes += sizeof(ProbeRecord) + host.record->memoryBytes();
    return bytes;
}

} // namespace history
