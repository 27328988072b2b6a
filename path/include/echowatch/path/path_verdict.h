#pragma once

#include "echowatch/path/hop_stats.h"

#include <cstdint>
#include <string>

namespace path {

// Where a trace says the way to the host ends.
struct PathVerdict
{
    enum class Kind
    {
        HostAnswered,    // the host answered at hop
        NothingAnswered, // not even the first hop: this machine's link or its router
        HostSilent,      // every hop up to the host answered, the host did not
        StopsAfter,      // hop answered, nothing after it did
        Refused,         // the router at hop refused the request
    };

    Kind kind;
    int hop;               // 0 for NothingAnswered
    std::uint32_t address; // hop's responder, network order; 0 where none
};

// Judges a trace. Silence past the last hop that answered reads the same
// whether the host or the way to it stopped answering; hostHop, the TTL the
// host was last known at (0 when unknown), tells them apart. A hop that
// answered none of its probes while later hops did is a router rationing
// its answers, never where the path broke: only the last answer counts.
PathVerdict judgeTrace(const PathTable &trace, int hostHop) noexcept;

std::string verdictText(const PathVerdict &verdict);

// The hop a host is at, guessed from the TTL its echo replies arrive with:
// hosts start their replies at 64, 128 or 255, and each router on the way
// back takes one off. 0 when ttl is 0 (not known).
int hostHopFromReplyTtl(std::uint8_t ttl) noexcept;

} // namespace path
