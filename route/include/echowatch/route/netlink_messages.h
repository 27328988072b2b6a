#pragma once

#include "echowatch/route/route_facts.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// The rtnetlink messages asked and read to learn the kernel's way to a
// host: building a request apart from reading an answer, every length
// checked before it is read. Pure functions over bytes, so that tables of
// byte fixtures (truncated, oversized, hostile) exercise them.
namespace route {

// RTM_GETROUTE for the route the kernel would send by to destination
// (network order), as `ip route get` asks.
std::vector<std::byte> routeRequest(std::uint32_t destination, std::uint32_t sequence);

// RTM_GETLINK for one interface, without its statistics.
std::vector<std::byte> linkRequest(int interfaceIndex, std::uint32_t sequence);

// What one datagram from the kernel said of the request numbered sequence.
enum class Reading
{
    // Nothing about it (an answer to some earlier request): read on.
    NotYet,
    Done,
    // A length or a field that cannot be: the answer is not to be trusted.
    Malformed,
};

struct RouteReading
{
    Reading reading = Reading::NotYet;
    // Done: the route, or why there is none (NoRoute, Unreachable, ...);
    // the link is not in it yet.
    RouteFacts facts;
};
RouteReading readRouteReply(std::span<const std::byte> datagram, std::uint32_t sequence);

struct LinkReading
{
    Reading reading = Reading::NotYet;
    // Done: the link, or none with the errno the kernel refused with.
    std::optional<LinkFacts> link;
    int error = 0;
};
LinkReading readLinkReply(std::span<const std::byte> datagram, std::uint32_t sequence,
                          int interfaceIndex);

} // namespace route
