#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace path {

// TTLs are tried from 1 up to this, as traceroute and mtr do by default.
inline constexpr int MaxHops = 30;

// What the probes limited to one TTL came to over the rounds.
struct HopStats
{
    using Duration = std::chrono::nanoseconds;

    // Who answered last: the router the request ran out at, the host, or a
    // router that refused it; network byte order, 0 while none has.
    std::uint32_t responder = 0;
    int sent = 0;
    int lost = 0;
    Duration last{};
    Duration best{};
    Duration worst{};
    Duration total{}; // of the answered probes, for the average
    // The host itself answered at this TTL.
    bool isHost = false;
    // A router here refused the request (unreachable, prohibited): the path
    // ends here, whatever TTL is asked for.
    bool refused = false;

    int answered() const noexcept { return sent - lost; }
    Duration average() const noexcept;
    // Lost share of sent, 0 to 100.
    double lossPercent() const noexcept;
    void noteAnswer(std::uint32_t from, Duration roundTrip) noexcept;
    void noteLoss() noexcept { ++sent, ++lost; }
};

// One row per TTL, from 1; a path never grows past MaxHops rows, and its
// room is taken once, so recording a probe allocates nothing.
struct PathTable
{
    PathTable() { hops.reserve(MaxHops); }

    std::vector<HopStats> hops;
    int rounds = 0;

    // The TTL the host answered at, 0 while it has not.
    int hostHop() const noexcept;
    // The highest TTL anything answered at, 0 when nothing did.
    int lastAnsweringHop() const noexcept;
};

} // namespace path
