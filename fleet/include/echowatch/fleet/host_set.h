#pragma once

#include "echowatch/fleet/tick_schedule.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace fleet {

// A host as it is watched: what the user calls it (the name or the address
// as written) and the IPv4 address its probes go to.
struct WatchedHost
{
    std::string label;
    std::uint32_t address = 0;

    bool operator==(const WatchedHost &) const = default;
};

// The hosts watched now, each under a key of its own. A host is one
// address: two texts that come to the same address are watched once, under
// the first; a name found at another address is another host, and ends the
// watch of the one before.
class HostSet
{
public:
    struct Change
    {
        std::vector<std::pair<HostKey, WatchedHost>> added;
        std::vector<std::pair<HostKey, WatchedHost>> removed;
        // Texts passed over: the host watched at the same address.
        std::vector<std::pair<std::string, std::string>> sameAddress;
    };

    // Makes the set the hosts wanted, in order; those watched already keep
    // their keys.
    Change replace(const std::vector<WatchedHost> &wanted);

    const std::map<HostKey, WatchedHost> &hosts() const noexcept { return m_hosts; }

private:
    std::map<HostKey, WatchedHost> m_hosts;
    HostKey m_lastKey = 0;
};

} // namespace fleet
