#pragma once

#include "echowatch/fleet/host_set.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fleet {

// Looks a name up for IPv4: its address in network byte order, or nothing
// with the resolver's words in error. Blocks as long as the resolver takes.
using NameResolver =
    std::function<std::optional<std::uint32_t>(const std::string &name, std::string &error)>;

// The hosts given on the command line and listed in the hosts file, each
// text made an address: digits and dots as the address box reads them,
// anything else looked up as a name.
struct HostsReading
{
    // In the order given, the command line's first.
    std::vector<WatchedHost> hosts;
    // One line each, as said on standard error: "FILE:LINE: why",
    // "HOST: why".
    std::vector<std::string> problems;
    // Names that did not resolve, each also among the problems.
    std::vector<std::string> unresolved;
};

HostsReading readHosts(const std::vector<std::string> &given,
                       const std::optional<std::string> &hostsFile, const NameResolver &resolve);

} // namespace fleet
