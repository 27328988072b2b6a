#pragma once

#include "echowatch/history/probe_record.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace history {

// The host a probe is counted with: its IPv4 address in network byte order
// (0.0.0.0 being one), or none for probes never sent before any host was.
using HostAddress = std::optional<std::uint32_t>;

// The run's probes, one record per host: a changed address starts a series
// of its own, and a host probed again goes on with its own. Each record
// keeps its probes in its 16-byte samples; the host's address is kept once,
// in a small table beside them.
class HostRecords
{
public:
    // Beyond this many hosts, the one probed longest ago gives way.
    static constexpr std::size_t MaximumHosts = 64;

    explicit HostRecords(std::size_t capacityPerHost = ProbeRecord::DefaultCapacity);

    // address: the host the probe is counted with, as the host monitor
    // said (a probe never sent goes with the host probed before it).
    void record(HostAddress address, const ProbeSample &sample);
    // With the monotonic stamp ProbeRecord::record takes.
    void record(HostAddress address, const ProbeSample &sample, Milliseconds monotonicAt);
    // The host's watch ended then: its outage going on ends there.
    void recordWatchEnd(HostAddress address, Milliseconds at) noexcept;

    std::size_t size() const noexcept { return m_hosts.size(); }
    bool empty() const noexcept { return m_hosts.empty(); }
    HostAddress address(std::size_t host) const noexcept { return m_hosts[host].address; }
    const ProbeRecord &at(std::size_t host) const noexcept { return *m_hosts[host].record; }
    std::optional<std::size_t> find(HostAddress address) const noexcept;
    // The host the latest probe went to.
    std::size_t latest() const noexcept { return m_latest; }

    std::size_t capacityPerHost() const noexcept { return m_capacity; }
    // Puts another record in a host's place, as earlier runs read back from
    // a file are merged into it; whoever shows that host keeps its object.
    void replace(std::size_t host, ProbeRecord record)
    {
        *m_hosts[host].record = std::move(record);
    }

    std::size_t memoryBytes() const noexcept;

private:
    struct Host
    {
        HostAddress address;
        std::uint64_t lastRecorded = 0;
        std::unique_ptr<ProbeRecord> record;
    };

    std::size_t hostFor(HostAddress address);
    ProbeRecord &recordFor(HostAddress address);

    std::size_t m_capacity;
    std::vector<Host> m_hosts;
    std::size_t m_latest = 0;
    std::uint64_t m_recorded = 0;
};

} // namespace history
