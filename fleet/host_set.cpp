#include "echowatch/fleet/host_set.h"

#include <algorithm>

namespace fleet {

namespace {

std::vector<WatchedHost> oncePerAddress(const std::vector<WatchedHost> &wanted,
                                        HostSet::Change &change)
{
    std::map<std::uint32_t, const WatchedHost *> first;
    std::vector<WatchedHost> hosts;
    for (const WatchedHost &host : wanted) {
        const auto [known, inserted] = first.emplace(host.address, &host);
        if (inserted)
            hosts.push_back(host);
        else if (known->second->label != host.label)
            change.sameAddress.emplace_back(host.label, known->second->label);
    }
    return hosts;
}

} // namespace

HostSet::Change HostSet::replace(const std::vector<WatchedHost> &wanted)
{
    Change change;
    const std::vector<WatchedHost> hosts = oncePerAddress(wanted, change);
    for (auto watched = m_hosts.begin(); watched != m_hosts.end();) {
        if (std::find(hosts.begin(), hosts.end(), watched->second) == hosts.end()) {
            change.removed.emplace_back(*watched);
            watched = m_hosts.erase(watched);
        } else {
            ++watched;
        }
    }
    for (const WatchedHost &host : hosts) {
        const bool known = std::any_of(m_hosts.begin(), m_hosts.end(), [&host](const auto &entry) {
            return entry.second == host;
        });
        if (known)
            continue;
        m_hosts.emplace(++m_lastKey, host);
        change.added.emplace_back(m_lastKey, host);
    }
    return change;
}

} // namespace fleet
