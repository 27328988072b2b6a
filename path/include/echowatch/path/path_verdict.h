#pragma once

#include "echowatch/icmp/icmp_packet.h"
#include "echowatch/path/hop_stats.h"

#include <cstdint>
#include <string>

namespace path {

// Where a trace says the way to the host ends, who said so, and the words a
// person reads. Everything a later judgement needs (whose side the break
// is on) is here: the responder, its hop, the TTL its answer came for and,
// for an ICMP error, the message's type and code.
struct PathVerdict
{
    enum class Kind
    {
        HostAnswered,    // the host answered at hop
        NothingAnswered, // not even the first hop: this machine's link or its router
        HostSilent,      // every hop up to the host answered, the host did not
        StopsAfter,      // hop answered, nothing after it did
        ErrorFrom,       // an ICMP error ended the way: the router at hop (or the host) sent it
    };

    Kind kind = Kind::NothingAnswered;
    // The responder's hop: where it answered time-exceeded (or, for the
    // host, its echo reply or its error); 0 for NothingAnswered.
    int hop = 0;
    std::uint32_t responder = 0; // network order; 0 where none
    bool responderIsHost = false;
    // The TTL of the requests whose answer decided: for an error from a
    // router, past its hop.
    int ttl = 0;
    icmp::MessageKind message; // ErrorFrom: the error's type and code
    std::string words;         // verdictText(*this)
};

// Judges a trace. Silence past the last hop that answered reads the same
// whether the host or the way to it stopped answering; hostHop, the TTL the
// host was last known at (0 when unknown), tells them apart. A hop that
// answered none of its probes while later hops did is a router rationing
// its answers, never where the path broke: only the last answer counts.
// An ICMP error is put at its sender's hop, not at the TTL it answered.
PathVerdict judgeTrace(const PathTable &trace, int hostHop);

std::string verdictText(const PathVerdict &verdict);

// The hop a host is at, guessed from the TTL its echo replies arrive with:
// hosts start their replies at 64, 128 or 255, and each router on the way
// back takes one off. 0 when ttl is 0 (not known).
int hostHopFromReplyTtl(std::uint8_t ttl) noexcept;

// The hop of the router (or host) that sent an ICMP error about requests
// limited to errorTtl: where that address answered time-exceeded; the host
// at the TTL its error came for; otherwise, unknown, the hop before that
// TTL, unless another router answered there (then it lies one further).
int errorSenderHop(const PathTable &trace, std::uint32_t sender, int errorTtl) noexcept;

} // namespace path
