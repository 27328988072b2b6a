#pragma once

#include "echowatch/icmp/icmp_packet.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace path {

// TTLs are tried from 1 up to this, as traceroute and mtr do by default.
inline constexpr int MaxHops = 30;

// One address that answered requests limited to a TTL, and how often: a
// path balanced over several routers shows each of them.
struct HopResponder
{
    std::uint32_t address = 0; // network order
    // Time-exceeded from a router, or echo replies from the host.
    int answers = 0;
    // Any other ICMP error (unreachable, prohibited, ...): the way ends here.
    int errors = 0;
    icmp::MessageKind lastError; // the type and code of its last error
    int lastHeard = 0;           // the hop's request count when it last answered

    int count() const noexcept { return answers + errors; }
};

// What the probes limited to one TTL came to over the rounds. An ICMP error
// that ends the way is no round trip: its time is kept apart.
struct HopStats
{
    using Duration = std::chrono::nanoseconds;

    // Every address that answered at this TTL, in the order first heard.
    std::vector<HopResponder> responders;
    int sent = 0;
    int lost = 0;
    // Round trips of the answers (time-exceeded, echo replies) alone.
    int roundTrips = 0;
    Duration last{};
    Duration best{};
    Duration worst{};
    Duration total{};
    // ICMP errors about the requests, and how long after its request each came.
    int errors = 0;
    Duration lastErrorAfter{};
    Duration bestErrorAfter{};
    Duration worstErrorAfter{};
    // The last answer at this TTL came from the host itself.
    bool isHost = false;
    // The last answer at this TTL was an ICMP error: the way ends here,
    // whatever TTL is asked for. Its sender:
    bool endedByError = false;
    std::uint32_t lastErrorFrom = 0;

    // The address that answered most often (of equals, the one heard
    // last); 0 when none has.
    std::uint32_t responder() const noexcept;
    const HopResponder *find(std::uint32_t address) const noexcept;
    // Who sent the error the way ended with here; none when it did not.
    const HopResponder *lastErrorSender() const noexcept;

    int answered() const noexcept { return sent - lost; }
    Duration average() const noexcept;
    // Lost share of sent, 0 to 100.
    double lossPercent() const noexcept;
    void noteAnswer(std::uint32_t from, Duration roundTrip, bool fromHost);
    void noteError(std::uint32_t from, icmp::MessageKind kind, Duration after);
    void noteLoss() noexcept { ++sent, ++lost; }

private:
    HopResponder &heardFrom(std::uint32_t address);
};

// One row per TTL, from 1; a path never grows past MaxHops rows.
struct PathTable
{
    PathTable() { hops.reserve(MaxHops); }

    std::uint32_t destination = 0; // network order; 0 until probed
    std::vector<HopStats> hops;
    int rounds = 0;

    // The TTL the host answered at, 0 while it has not.
    int hostHop() const noexcept;
    // The highest TTL anything answered at, 0 when nothing did.
    int lastAnsweringHop() const noexcept;
    // The first TTL at which address answered time-exceeded or the host's
    // echo reply, 0 when it never did.
    int hopAnsweredBy(std::uint32_t address) const noexcept;
};

} // namespace path
