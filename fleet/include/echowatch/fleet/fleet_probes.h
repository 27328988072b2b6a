#pragma once

#include "echowatch/fleet/fleet_prober.h"

#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace fleet {

class ProberClock;

// Makes the echo service a shard sends through; called on the shard's
// thread, which alone then uses it.
using EchoLibraryFactory = std::function<std::unique_ptr<net::IcmpEchoLibrary>()>;
// Takes a shard's probes, on the shard's thread, each host's in order.
using ProbeDelivery = std::function<void(std::vector<FleetProbe> &&probes)>;

// The hosts of a process shared out over shards, each a FleetProber on a
// thread of its own over an echo service of its own (a ping socket, or a
// probe helper), so that the network is never waited for on the caller's
// thread. An echo service keeps at most EchoFlight::MaxInFlight requests
// out; a shard takes as many hosts as keep it well under that with every
// host silent (each request out for its whole timeout), and a new shard is
// started when all are full.
class FleetProbes
{
public:
    // clock must outlive the probes.
    FleetProbes(EchoLibraryFactory factory, const ProberClock &clock,
                std::chrono::milliseconds interval, ProbeDelivery deliver);
    // Stops every shard: what is in flight is dropped.
    ~FleetProbes();
    FleetProbes(const FleetProbes &) = delete;
    FleetProbes &operator=(const FleetProbes &) = delete;

    // Each host probed from its first tick on, within one interval.
    // False when no shard could be started for them (no thread to be had).
    bool add(std::span<const HostAddress> hosts);
    void remove(HostKey host);
    // Ends every shard, each within a turn's longest wait.
    void stop();

    std::size_t shards() const noexcept { return m_shards.size(); }
    static std::size_t hostsPerShard(std::chrono::milliseconds interval);

    // The longest a shard waits before it looks at hosts added or removed.
    static constexpr std::chrono::milliseconds LongestWait{50};

private:
    class Shard;

    Shard *shardWithRoom();

    EchoLibraryFactory m_factory;
    const ProberClock &m_clock;
    std::chrono::milliseconds m_interval;
    ProbeDelivery m_deliver;
    std::size_t m_perShard;
    std::vector<std::unique_ptr<Shard>> m_shards;
    std::map<HostKey, Shard *> m_placed;
};

} // namespace fleet
