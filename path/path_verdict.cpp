#include "echowatch/path/path_verdict.h"

#include "echowatch/net/ipv4_text.h"

namespace path {
namespace {

std::string hopText(const PathVerdict &verdict)
{
    return "hop " + std::to_string(verdict.hop) + " (" + net::ipv4Text(verdict.address) + ")";
}

} // namespace

PathVerdict judgeTrace(const PathTable &trace, int hostHop) noexcept
{
    using Kind = PathVerdict::Kind;
    const int last = trace.lastAnsweringHop();
    if (last == 0)
        return {Kind::NothingAnswered, 0, 0};
    const HopStats &hop = trace.hops[static_cast<std::size_t>(last) - 1];
    if (hop.isHost)
        return {Kind::HostAnswered, last, hop.responder};
    if (hop.refused)
        return {Kind::Refused, last, hop.responder};
    if (hostHop > 0 && last == hostHop - 1)
        return {Kind::HostSilent, last, hop.responder};
    return {Kind::StopsAfter, last, hop.responder};
}

std::string verdictText(const PathVerdict &verdict)
{
    switch (verdict.kind) {
    case PathVerdict::Kind::HostAnswered:
        return "the host answered at hop " + std::to_string(verdict.hop);
    case PathVerdict::Kind::NothingAnswered:
        return "nothing answered from hop 1";
    case PathVerdict::Kind::HostSilent:
        return "every hop answered up to the host; the host did not";
    case PathVerdict::Kind::StopsAfter:
        return "stops after " + hopText(verdict);
    case PathVerdict::Kind::Refused:
        return "refused at " + hopText(verdict);
    }
    return {};
}

int hostHopFromReplyTtl(std::uint8_t ttl) noexcept
{
    if (ttl == 0)
        return 0;
    const int initial = ttl <= 64 ? 64 : ttl <= 128 ? 128 : 255;
    return initial - ttl + 1;
}

} // namespace path
