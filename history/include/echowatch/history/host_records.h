#pragma once

#include "echowatch/history/probe_record.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace history {

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

    // address: the probe's destination, IPv4 in network byte order, 0 for a
    // probe never sent, which is counted with the host probed last (or, before
    // any, a series of its own under 0).
    void record(std::uint32_t address, const ProbeSample &sample);
    // With the monotonic stamp ProbeRecord::record takes.
    void record(std::uint32_t address, const ProbeSample &sample, Milliseconds monotonicAt);

    std::size_t size() const noexcept { return m_hosts.size(); }
    bool empty() const noexcept { return m_hosts.empty(); }
    std::uint32_t address(std::size_t host) const noexcept { return m_hosts[host].address; }
    const ProbeRecord &at(std::size_t host) const noexcept { return *m_hosts[host].record; }
    std::optional<std::size_t> find(std::uint32_t address) const noexcept;
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
        std::uint32_t address = 0;
        std::uint64_t lastRecorded = 0;
        std::unique_ptr<ProbeRecord> record;
    };

    std::size_t hostFor(std::uint32_t address);
    ProbeRecord &recordFor(std::uint32_t address);

    std::size_t m_capacity;
    std::vector<Host> m_hosts;
    std::size_t m_latest = 0;
    std::uint64_t m_recorded = 0;
};

} // namespace history
