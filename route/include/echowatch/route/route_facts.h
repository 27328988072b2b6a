#pragma once

#include <cstdint>
#include <optional>
#include <string>

// What the kernel says of the way to a host: the route it would take and
// the state of the link that route leaves by. Plain values, filled from
// rtnetlink answers (kernel_view.h) or by a test.
namespace route {

// How the kernel would send to a destination.
enum class RouteKind
{
    // Not asked, or the kernel could not be asked (RouteFacts::error says why).
    Unknown,
    // Through a router on the link: RouteFacts::gateway.
    Gateway,
    // Straight to the destination, on the link: no router between.
    OnLink,
    // The destination is an address of this machine.
    Local,
    // No route matches (sendto would fail with ENETUNREACH).
    NoRoute,
    // An `unreachable` route (EHOSTUNREACH).
    Unreachable,
    // A `prohibit` route (EACCES).
    Prohibited,
    // A `blackhole` route (EINVAL).
    Blackhole,
    // Broadcast, multicast and the like: no way to one host.
    Other,
};

// RFC 2863's operational states, as IFLA_OPERSTATE numbers them.
enum class OperState : std::uint8_t
{
    Unknown = 0,
    NotPresent = 1,
    Down = 2,
    LowerLayerDown = 3,
    Testing = 4,
    Dormant = 5,
    Up = 6,
};

// The interface a route leaves by, as RTM_GETLINK tells it.
struct LinkFacts
{
    int index = 0;
    std::string name;
    // IFF_UP: switched on (`ip link set ... up`).
    bool adminUp = false;
    // IFF_LOWER_UP: the cable, the radio or the peer is there.
    bool carrier = false;
    OperState operState = OperState::Unknown;

    bool operator==(const LinkFacts &) const = default;
};

// Why no packet can leave by that link, if none can: switched off, no
// carrier, or an operational state that passes nothing.
enum class LinkTrouble
{
    None,
    SwitchedOff,
    NoCarrier,
    Dormant,
};
LinkTrouble linkTrouble(const LinkFacts &link) noexcept;

struct RouteFacts
{
    RouteKind kind = RouteKind::Unknown;
    // Network order; for Gateway only.
    std::uint32_t gateway = 0;
    int outputInterface = 0;
    // The output interface, where it could be read.
    std::optional<LinkFacts> link;
    // For Unknown: the errno the look-up failed with, 0 when not asked.
    int error = 0;

    bool operator==(const RouteFacts &) const = default;
};

} // namespace route
