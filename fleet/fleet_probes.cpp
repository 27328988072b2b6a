#include "echowatch/fleet/fleet_probes.h"

#include "echowatch/fleet/prober_clock.h"
#include "echowatch/probe/module1.h"

#include <algorithm>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace fleet {

namespace {

// A share of EchoFlight::MaxInFlight that leaves room for a trace's
// requests and for outcomes not yet collected.
constexpr std::size_t InFlightTarget = 192;
// Ticks within one span leave together: a hundred wake-ups a second per
// shard however many hosts it has, where one for each tick cost more than
// the probes themselves.
constexpr std::chrono::milliseconds BatchSpan{10};

} // namespace

// One prober on its thread. Hosts to add and remove wait under a lock
// until the thread's next turn; a turn waits LongestWait at most.
class FleetProbes::Shard
{
public:
    Shard(EchoLibraryFactory factory, const ProberClock &clock,
          std::chrono::milliseconds interval, ProbeDelivery deliver)
        : m_factory(std::move(factory)), m_clock(clock), m_interval(interval),
          m_deliver(std::move(deliver))
    {}

    ~Shard() { stop(); }

    void start() { m_thread = std::jthread([this](std::stop_token stop) { run(stop); }); }

    // Hosts added together are placed together, so that they share the
    // interval out evenly.
    void add(const std::vector<HostAddress> &hosts)
    {
        const std::lock_guard lock(m_mutex);
        m_adding.insert(m_adding.end(), hosts.begin(), hosts.end());
    }

    void remove(HostKey host)
    {
        --assigned;
        const std::lock_guard lock(m_mutex);
        const auto before = m_adding.size();
        std::erase_if(m_adding, [host](const HostAddress &added) { return added.host == host; });
        if (m_adding.size() == before)
            m_removing.push_back(host);
    }

    void stop()
    {
        if (m_thread.joinable()) {
            m_thread.request_stop();
            m_thread.join();
        }
    }

    // Hosts given to this shard and not taken away: the owner's count, on
    // the owner's thread.
    std::size_t assigned = 0;

private:
    void run(const std::stop_token &stop)
    {
        const std::unique_ptr<net::IcmpEchoLibrary> library = m_factory();
        FleetProber prober(*library, m_clock, m_interval, std::min(BatchSpan, m_interval));
        std::vector<FleetProbe> done;
        while (!stop.stop_requested()) {
            takeChanges(prober);
            prober.turn(m_clock.now() + LongestWait, done);
            if (!done.empty())
                m_deliver(std::exchange(done, {}));
        }
    }

    void takeChanges(FleetProber &prober)
    {
        std::vector<HostAddress> adding;
        std::vector<HostKey> removing;
        {
            const std::lock_guard lock(m_mutex);
            adding.swap(m_adding);
            removing.swap(m_removing);
        }
        for (const HostKey host : removing)
            prober.remove(host);
        if (!adding.empty())
            prober.add(adding);
    }

    EchoLibraryFactory m_factory;
    const ProberClock &m_clock;
    std::chrono::milliseconds m_interval;
    ProbeDelivery m_deliver;
    mutable std::mutex m_mutex;
    std::vector<HostAddress> m_adding;
    std::vector<HostKey> m_removing;
    std::jthread m_thread;
};

FleetProbes::FleetProbes(EchoLibraryFactory factory, const ProberClock &clock,
                         std::chrono::milliseconds interval, ProbeDelivery deliver)
    : m_factory(std::move(factory)), m_clock(clock), m_interval(interval),
      m_deliver(std::move(deliver)), m_perShard(hostsPerShard(interval))
{}

FleetProbes::~FleetProbes()
{
    stop();
}

// A silent host keeps a request out for the whole timeout, so a shard holds
// interval / timeout of them per request it may have out.
std::size_t FleetProbes::hostsPerShard(std::chrono::milliseconds interval)
{
    const auto timeout = std::chrono::milliseconds(EchoTimeout);
    const auto perShard =
        static_cast<std::size_t>(std::max<std::int64_t>(1, InFlightTarget * interval / timeout));
    return std::max<std::size_t>(1, std::min(perShard, 4 * InFlightTarget));
}

FleetProbes::Shard *FleetProbes::shardWithRoom()
{
    const auto least = std::min_element(m_shards.begin(), m_shards.end(),
                                        [](const auto &left, const auto &right) {
                                            return left->assigned < right->assigned;
                                        });
    if (least != m_shards.end() && (*least)->assigned < m_perShard)
        return least->get();
    auto shard = std::make_unique<Shard>(m_factory, m_clock, m_interval, m_deliver);
    try {
        shard->start();
    } catch (const std::system_error &) {
        // No thread to be had: the fullest shard takes more than its share.
        return least != m_shards.end() ? least->get() : nullptr;
    }
    m_shards.push_back(std::move(shard));
    return m_shards.back().get();
}

bool FleetProbes::add(std::span<const HostAddress> hosts)
{
    std::map<Shard *, std::vector<HostAddress>> batches;
    bool placedAll = true;
    for (const HostAddress &host : hosts) {
        if (m_placed.contains(host.host))
            continue;
        Shard *shard = shardWithRoom();
        if (shard == nullptr) {
            placedAll = false;
            break;
        }
        ++shard->assigned;
        batches[shard].push_back(host);
        m_placed[host.host] = shard;
    }
    for (const auto &[shard, batch] : batches)
        shard->add(batch);
    return placedAll;
}

void FleetProbes::remove(HostKey host)
{
    const auto placed = m_placed.find(host);
    if (placed == m_placed.end())
        return;
    placed->second->remove(host);
    m_placed.erase(placed);
}

void FleetProbes::stop()
{
    for (const auto &shard : m_shards)
        shard->stop();
}

} // namespace fleet
